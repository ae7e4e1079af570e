#pragma once
// What a screen reader is told of a window built from its definition: each
// control's name, description, role and label, applied in one place from the
// definition's Access column, and the interfaces of the widgets Qt does not
// know (the program's own labels, the picture box, the window itself).

#include "ui/windowbuilder.h"

namespace zeph::ui {

// The interfaces of the program's own widgets; before the first of them is
// made, since Qt keeps the interface it made first for each.
void installAccessibleInterfaces();

// Names, descriptions, roles and buddies of the built controls; a window
// without a title is named by its title-bar label.
void applyAccessibility(const WindowDef& def, QWidget& window, const WindowBuilder& built);

} // namespace zeph::ui
