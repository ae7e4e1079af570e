#include "platform/session/memorypolicy.h"

namespace zeph::platform {

void keepFreedMemoryForReuse()
{
    // The Windows heap keeps freed blocks for reuse on its own.
}

} // namespace zeph::platform
