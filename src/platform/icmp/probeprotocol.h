#pragma once
// The line protocol between the program and its zeph-probe helper, spoken over
// the helper's standard input and output. Plain C++: both sides include it.
//
//   at start the helper writes   "ok datagram" | "ok raw" | "ok raw arp" | "fail"
//   request                      "<dotted IPv4 address>\n": send one echo request there
//   reply                        "<dotted IPv4 address>\n": that address answered one
//                                of our requests (each request at most once)
//   ARP request ("ok raw arp")   "arp <dotted>\n": one ARP request for that address,
//                                out of the interface whose subnet holds it
//   ARP reply                    "arp <dotted> <card>\n": a card (aa:bb:cc:dd:ee:ff)
//                                answered for it (each request at most once)
//   done                         "done\n" for every request line, once it has left
//                                (or was refused): the program keeps one request
//                                waiting there at most, so that the answer
//                                windows it times start when the request leaves
//   slowed                       "slow\n" once, when the helper could not have the
//                                machine's turn (its lock missing, not the
//                                package's, or held past the deadline) and paces
//                                itself at kSlowFloor instead
//
// Requests stream in while replies stream out. The helper ignores lines that
// are not a dotted quad, keeps at least kFloor between two requests of any
// helper on the machine (kSlowFloor between two of its own when slowed), and
// ends when its input closes.

#include "core/ipv4.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zeph::probe {

inline constexpr std::string_view kHelloDatagram = "ok datagram";
inline constexpr std::string_view kHelloRaw = "ok raw";
inline constexpr std::string_view kHelloRawArp = "ok raw arp";
inline constexpr std::string_view kArpPrefix = "arp ";
inline constexpr std::string_view kDone = "done";
inline constexpr std::string_view kHelloFail = "fail";
inline constexpr std::string_view kSlowed = "slow";

// The least time between two requests: the floor fping sets for unprivileged
// users, since any local user can run the helper.
inline constexpr std::chrono::milliseconds kFloor{1};
// A helper's own floor when it cannot share the machine's turn: however many
// run, each sends at most a hundred requests a second.
inline constexpr std::chrono::milliseconds kSlowFloor{10};

// No line of the protocol is longer; a longer one is not ours and is dropped.
inline constexpr std::size_t kMaxLine = 64;

// A request or reply line for address, newline included.
inline std::string line(Ipv4Address address)
{
    return address.toString() + '\n';
}

// The address of a request or reply line (without its newline); nothing when
// the line is not exactly a dotted quad.
constexpr std::optional<Ipv4Address> parseLine(std::string_view text)
{
    return ipv4::parse(text);
}

inline std::string arpRequestLine(Ipv4Address address)
{
    return std::string(kArpPrefix) + line(address);
}

inline std::string arpReplyLine(Ipv4Address address, const LinkAddress& card)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = std::string(kArpPrefix) + address.toString() + ' ';
    for (std::size_t k = 0; k < card.size(); ++k) {
        if (k)
            out += ':';
        out += kHex[card[k] >> 4];
        out += kHex[card[k] & 15];
    }
    return out + '\n';
}

// The address of an ARP request line (without its newline).
constexpr std::optional<Ipv4Address> parseArpRequestLine(std::string_view text)
{
    if (text.substr(0, kArpPrefix.size()) != kArpPrefix)
        return std::nullopt;
    return ipv4::parse(text.substr(kArpPrefix.size()));
}

struct ArpReply {
    Ipv4Address address;
    LinkAddress card{};
};

// An ARP reply line (without its newline); nothing when it is not exactly one.
constexpr std::optional<ArpReply> parseArpReplyLine(std::string_view text)
{
    if (text.substr(0, kArpPrefix.size()) != kArpPrefix)
        return std::nullopt;
    text.remove_prefix(kArpPrefix.size());
    const std::size_t space = text.find(' ');
    constexpr std::size_t kCardText = 17; // aa:bb:cc:dd:ee:ff
    if (space == std::string_view::npos || text.size() - space - 1 != kCardText)
        return std::nullopt;
    const std::optional<Ipv4Address> address = ipv4::parse(text.substr(0, space));
    if (!address)
        return std::nullopt;
    ArpReply reply{*address, {}};
    const auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t k = 0; k < reply.card.size(); ++k) {
        const std::size_t at = space + 1 + 3 * k;
        const int hi = digit(text[at]), lo = digit(text[at + 1]);
        if (hi < 0 || lo < 0 || (k + 1 < reply.card.size() && text[at + 2] != ':'))
            return std::nullopt;
        reply.card[k] = std::uint8_t(hi << 4 | lo);
    }
    return reply;
}

} // namespace zeph::probe
