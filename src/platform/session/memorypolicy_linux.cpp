#include "platform/session/memorypolicy.h"

#include <malloc.h>

namespace zeph::platform {

void keepFreedMemoryForReuse()
{
    // 32 MiB is the largest threshold glibc accepts; fixing it also stops the
    // threshold from moving with each freed buffer. The heap's top is handed
    // back only when more than 256 MiB of it is free.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

} // namespace zeph::platform
