#include "platform/session/foreground.h"

#include <windows.h>

namespace zeph::platform {

std::optional<Foreground> foreground()
{
    HWND front = GetForegroundWindow();
    if (front == nullptr)
        return Foreground::Nobody;
    DWORD pid = 0;
    GetWindowThreadProcessId(front, &pid);
    return pid == GetCurrentProcessId() ? Foreground::ThisProcess : Foreground::AnotherProcess;
}

} // namespace zeph::platform
