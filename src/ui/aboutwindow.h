#pragma once
// The small about window: one at a time, not modal, Esc closes it, the link
// opens the web address.

#include "ui/definedwindow.h"

namespace zeph::ui {

class AboutWindow : public DefinedWindow {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* owner);

    // The three lines of the about text, CR LF between them.
    static QString aboutText();
    QString shownText() const;
};

} // namespace zeph::ui
