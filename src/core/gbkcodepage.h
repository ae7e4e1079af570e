#pragma once
// Code page 936 one character at a time, as the operating system knows it.
// gbk.cpp builds its tables from this; nothing else calls it.

#include <cstddef>

namespace zeph::gbk::detail {

// A converter opened once for a whole table build.
class CodePage936 {
public:
    CodePage936();
    ~CodePage936(); // NOLINT(performance-trivially-destructible): Linux closes its converter
    CodePage936(const CodePage936&) = delete;
    CodePage936& operator=(const CodePage936&) = delete;

    bool available() const;

    // The one BMP character that the 1 or 2 bytes at in stand for; 0 when
    // they are not exactly one character of the code page.
    char16_t decode(const char* in, std::size_t length) const;

private:
    void* m_handle = nullptr;
};

} // namespace zeph::gbk::detail
