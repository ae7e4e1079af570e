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

protected:
    bool event(QEvent* event) override;

private:
    // The client size that makes the outer size, frame included, the definition's.
    void fitOuterSize();
};

} // namespace zeph::ui
