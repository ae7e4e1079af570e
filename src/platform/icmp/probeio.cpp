#include "platform/icmp/probeio.h"

#include "platform/icmp/icmpecho.h"

#include <cerrno>
#include <unistd.h>

namespace zeph::probe {

std::optional<Request> requestOf(std::string_view line, bool arp)
{
    if (const std::optional<Ipv4Address> dest = parseLine(line); dest && icmp::isProbeable(*dest))
        return Request{*dest, false};
    if (const std::optional<Ipv4Address> dest = arp ? parseArpRequestLine(line) : std::nullopt)
        return Request{*dest, true};
    return std::nullopt;
}

bool writeAll(int fd, std::string_view text)
{
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

} // namespace zeph::probe
