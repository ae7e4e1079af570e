#include "ui/destroywatch.h"

#include "core/logging.h"

#include <QCoreApplication>
#include <QTimer>

#include <xcb/xcb.h>

namespace zeph::ui {

DestroyWatch::DestroyWatch(QWidget* window, std::function<void()> gone)
    : m_window(window), m_gone(std::move(gone))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

DestroyWatch::~DestroyWatch()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

bool DestroyWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*)
{
    if (m_fired || type != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY)
        return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    const WId id = m_window->internalWinId();
    if (id == 0 || destroyed->window != id)
        return false;
    m_fired = true;
    qCInfo(lcUi) << "the main window was destroyed by another program";
    // Not from inside the native event dispatch.
    QTimer::singleShot(0, m_window, m_gone);
    return false;
}

} // namespace zeph::ui
