#pragma once
// Which Qt platform plug-in the program asks for when the user named none.
//
// The main window is frameless and places and drags itself; that needs X11.
// In a Wayland session with XWayland (DISPLAY set beside WAYLAND_DISPLAY) it
// therefore runs on xcb, where Qt itself would pick wayland. Without XWayland
// it runs natively on wayland: the compositor places the window and the title
// bar drags through the compositor's move.

#include <QByteArray>

namespace zeph {

// Empty: leave the choice to Qt (QT_QPA_PLATFORM is set, or no display is).
QByteArray preferredPlatform(const QByteArray& qpaPlatform, const QByteArray& display,
                             const QByteArray& waylandDisplay);

// Puts the preference into QT_QPA_PLATFORM for the application about to be
// built, and takes it out again when released (or destroyed), so that programs
// started later (a web browser, smbclient) choose for themselves. A -platform
// option on the command line still wins: Qt reads it first.
class PlatformPreference {
public:
    PlatformPreference();
    ~PlatformPreference();
    PlatformPreference(const PlatformPreference&) = delete;
    PlatformPreference& operator=(const PlatformPreference&) = delete;

    void release();

private:
    bool m_set = false;
};

} // namespace zeph
