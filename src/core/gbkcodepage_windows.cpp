#include "core/gbkcodepage.h"

#include <windows.h>

namespace zeph::gbk::detail {
namespace {

constexpr UINT kCodePage = 936;

} // namespace

CodePage936::CodePage936()
{
    if (IsValidCodePage(kCodePage))
        m_handle = this; // nothing to open: the flag is all that is needed
}

CodePage936::~CodePage936() = default;

bool CodePage936::available() const
{
    return m_handle != nullptr;
}

char16_t CodePage936::decode(const char* in, std::size_t length) const
{
    wchar_t out[4] = {};
    // Invalid sequences fail instead of turning into a default character.
    const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, in, int(length), out, 4);
    if (n != 1)
        return 0;
    // Windows maps some unassigned codes onto private-use characters that it
    // cannot turn back exactly; only a code that comes back the same is kept.
    char back[4] = {};
    BOOL lossy = FALSE;
    const int m = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, out, 1, back, sizeof back,
                                      nullptr, &lossy);
    if (lossy || m != int(length))
        return 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (back[i] != in[i])
            return 0;
    }
    return static_cast<char16_t>(out[0]);
}

} // namespace zeph::gbk::detail
