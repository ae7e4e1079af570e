#include "core/securerandom.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

namespace zeph::securerandom {

bool fill(void* data, std::size_t size)
{
    return BCryptGenRandom(nullptr, static_cast<PUCHAR>(data), static_cast<ULONG>(size),
                           BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0; // STATUS_SUCCESS
}

} // namespace zeph::securerandom
