#pragma once
// Who has the keyboard, and giving it to the main window when the user asked
// for it from outside the program (by choosing its notice). Asked of the
// operating system where it knows (Windows' foreground window), else of the
// display server: X11 through Qt's connection.

#include <QString>

class QWidget;

namespace zeph::ui {

enum class KeyboardOwner {
    ThisProgram,    // one of the program's windows is active
    Nobody,         // no window has the keyboard (a bare X server, headless)
    AnotherProgram, // the user works elsewhere; also always under Wayland,
                    // where a program cannot see the others
};

KeyboardOwner keyboardOwner();

// Before the window is activated on the user's request: under Wayland the
// notice's activation token is what lets the compositor hand over the keyboard.
void useActivationToken(const QString& token);
// After it: under X11 the request is repeated as a pager's, which the window
// manager's focus-stealing prevention grants; choosing the notice was the
// user's own act, which the program's last input time does not show.
void confirmUserActivation(QWidget* window);

} // namespace zeph::ui
