#pragma once
// The small about window: one at a time, not modal, Esc closes it.

#include <QWidget>

namespace zeph::ui {

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* owner);

    // The three lines of the about text, CR LF between them.
    static QString aboutText();
    QString shownText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_link;
};

} // namespace zeph::ui
