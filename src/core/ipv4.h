#pragma once
// The one parser of dotted IPv4 texts. Plain C++ without Qt, so that the small
// privileged probe helper can use it too.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace zeph::ipv4 {

using Address = std::array<std::uint8_t, 4>; // network order: a.b.c.d

// Exactly four decimal numbers 0..255 separated by dots, 1 to 3 digits each,
// no leading zeros (as inet_pton), nothing before or after.
constexpr std::optional<Address> parse(std::string_view text)
{
    Address out{};
    std::size_t part = 0;
    std::size_t i = 0;
    for (;;) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        unsigned value = 0;
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + unsigned(text[i] - '0');
            if (i - start >= 3 || value > 255)
                return std::nullopt;
            ++i;
        }
        if (i - start > 1 && text[start] == '0')
            return std::nullopt;
        out[part++] = std::uint8_t(value);
        if (part == 4)
            return i == text.size() ? std::optional(out) : std::nullopt;
        if (i >= text.size() || text[i] != '.')
            return std::nullopt;
        ++i;
    }
}

// Any byte container with data() and size(), such as QByteArrayView.
template <class Bytes>
requires(!std::is_convertible_v<const Bytes&, std::string_view>) constexpr std::optional<
    Address> parse(const Bytes& bytes)
{
    return parse(std::string_view(bytes.data(), std::size_t(bytes.size())));
}

inline std::string format(const Address& a)
{
    std::string s;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (k)
            s += '.';
        s += std::to_string(a[k]);
    }
    return s;
}

} // namespace zeph::ipv4
