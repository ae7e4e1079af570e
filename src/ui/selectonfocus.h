#pragma once
// Selects the whole text of the single-line boxes that ask for it whenever
// they take the focus or a left click, so that typing replaces the text.

#include "ui/windowbuilder.h"

#include <QObject>

namespace zeph::ui {

class SelectOnFocus : public QObject {
    Q_OBJECT
public:
    explicit SelectOnFocus(const QList<BuiltControl>& controls);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace zeph::ui
