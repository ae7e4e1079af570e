#include "ui/desktopfocus.h"

#include "core/logging.h"

#include <QGuiApplication>
#include <QWidget>

#include "platform/session/foreground.h"

#ifndef Q_OS_WIN
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace zeph::ui {
namespace {

#ifndef Q_OS_WIN
bool onPlatform(const char* name)
{
    return QGuiApplication::platformName() == QLatin1String(name);
}

xcb_connection_t* x11()
{
    const auto* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x ? x->connection() : nullptr;
}

template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_window_t rootWindow(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

KeyboardOwner x11KeyboardOwner(xcb_connection_t* c)
{
    const Reply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr), &std::free);
    if (!reply)
        return KeyboardOwner::Nobody;
    // Without a window manager the keyboard follows the pointer, or reverts to
    // the root window once the window that had it is gone.
    const xcb_window_t focus = reply->focus;
    if (focus == XCB_NONE || focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus == rootWindow(c))
        return KeyboardOwner::Nobody;
    return KeyboardOwner::AnotherProgram;
}
#endif

} // namespace

KeyboardOwner keyboardOwner()
{
    if (QGuiApplication::applicationState() == Qt::ApplicationActive)
        return KeyboardOwner::ThisProgram;
    if (const std::optional<platform::Foreground> front = platform::foreground()) {
        switch (*front) {
        case platform::Foreground::Nobody:
            return KeyboardOwner::Nobody;
        case platform::Foreground::ThisProcess:
            return KeyboardOwner::ThisProgram;
        case platform::Foreground::AnotherProcess:
            return KeyboardOwner::AnotherProgram;
        }
    }
#ifdef Q_OS_WIN
    return KeyboardOwner::Nobody;
#else
    if (onPlatform("wayland"))
        return KeyboardOwner::AnotherProgram;
    xcb_connection_t* c = onPlatform("xcb") ? x11() : nullptr;
    return c ? x11KeyboardOwner(c) : KeyboardOwner::Nobody;
#endif
}

void useActivationToken(const QString& token)
{
#ifndef Q_OS_WIN
    if (!token.isEmpty() && onPlatform("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8()); // read once by the next activation
#else
    Q_UNUSED(token);
#endif
}

void confirmUserActivation(QWidget* window)
{
#ifndef Q_OS_WIN
    xcb_connection_t* c = onPlatform("xcb") ? x11() : nullptr;
    if (!c || window->internalWinId() == 0)
        return;
    static const char kAtom[] = "_NET_ACTIVE_WINDOW";
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kAtom - 1, kAtom), nullptr),
        &std::free);
    if (!atom)
        return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window->internalWinId());
    event.type = atom->atom;
    event.data.data32[0] = 2; // source: a pager, acting for the user
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, rootWindow(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    qCDebug(lcUi) << "activation asked for as the user's";
#else
    Q_UNUSED(window);
#endif
}

} // namespace zeph::ui
