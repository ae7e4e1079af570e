#include "platform/echo/neighbourwatch.h"

namespace zeph::platform {

// Windows keeps no small fixed cap on its neighbour cache that sends could run
// into; the Linux default keeps the sweep's pace the same on both.
int neighbourTableLimit()
{
    return 1024;
}

} // namespace zeph::platform
