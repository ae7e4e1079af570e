#pragma once
// Another X client may destroy a window outright (XDestroyWindow). Qt does not
// report that to the widget, so the watch looks for the window's own
// DestroyNotify and tells the owner, which can then end as if it were closed.
// X only: on Windows no program can destroy another's window; the system
// closes it with messages that Qt reports as a close.

#include <QAbstractNativeEventFilter>
#include <QWidget>

#include <functional>

namespace zeph::ui {

class DestroyWatch : public QAbstractNativeEventFilter {
public:
    // Installs itself on the application; gone() runs once, queued.
    DestroyWatch(QWidget* window, std::function<void()> gone);
    ~DestroyWatch() override;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

private:
    QWidget* m_window;
    std::function<void()> m_gone;
    bool m_fired = false;
};

} // namespace zeph::ui
