#include "platform/session/foreground.h"

namespace zeph::platform {

std::optional<Foreground> foreground()
{
    return std::nullopt; // the X server or the compositor knows, not the kernel
}

} // namespace zeph::platform
