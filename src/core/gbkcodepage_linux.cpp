#include "core/gbkcodepage.h"

#include <iconv.h>

namespace zeph::gbk::detail {
namespace {

iconv_t cd(void* handle)
{
    return static_cast<iconv_t>(handle);
}

} // namespace

CodePage936::CodePage936()
{
    iconv_t c = iconv_open("UTF-16LE", "CP936");
    // iconv_open reports failure as (iconv_t)-1, an integer cast by its contract.
    if (c != reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
        m_handle = c;
}

CodePage936::~CodePage936()
{
    if (m_handle)
        iconv_close(cd(m_handle));
}

bool CodePage936::available() const
{
    return m_handle != nullptr;
}

char16_t CodePage936::decode(const char* in, std::size_t length) const
{
    char16_t out[4] = {};
    char* inPtr = const_cast<char*>(in);
    char* outPtr = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof out;
    iconv(cd(m_handle), nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd(m_handle), &inPtr, &length, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        length != 0)
        return 0;
    if (sizeof out - outLeft != 2) // one BMP character, nothing else
        return 0;
    return out[0];
}

} // namespace zeph::gbk::detail
