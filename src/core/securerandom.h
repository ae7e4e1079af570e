#pragma once
// Numbers from the operating system's cryptographic generator, for every
// identifier a host on the LAN could otherwise predict (echo identifiers and
// sequence numbers, the ids of LAN questions): a predictable id lets a host
// forge the answer. Plain C++, so that the privileged helper can use it too.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#ifndef _WIN32
#include <cerrno>
#include <sys/random.h>
#endif

namespace zeph::securerandom {

// Fills size bytes at data; false when the system gives none.
#ifdef _WIN32
bool fill(void* data, std::size_t size); // securerandom_windows.cpp
#else
inline bool fill(void* data, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::getrandom(bytes + got, size - got, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += std::size_t(n);
    }
    return true;
}
#endif

// 16-bit numbers fetched a batch at a time, so that a sweep makes a system
// call per 256 of them. Not shared between threads.
class Words {
public:
    // Nothing when the system gives no random bytes.
    std::optional<std::uint16_t> next()
    {
        if (m_next >= m_words.size()) {
            if (!fill(m_words.data(), sizeof m_words))
                return std::nullopt;
            m_next = 0;
        }
        return m_words[m_next++];
    }

private:
    std::array<std::uint16_t, 256> m_words{};
    std::size_t m_next = m_words.size();
};

} // namespace zeph::securerandom
