#pragma once
// Who holds the keyboard, as far as the operating system itself can tell.
// Windows knows its foreground window; on Linux it is the display server's
// business, which the window layer asks through the toolkit's connection.

#include <optional>

namespace zeph::platform {

enum class Foreground { Nobody, ThisProcess, AnotherProcess };

// Nothing where the operating system cannot tell (Linux).
std::optional<Foreground> foreground();

} // namespace zeph::platform
