#pragma once
// The line protocol between the program and its zeph-probe helper, spoken over
// the helper's standard input and output. Plain C++: both sides include it.
//
//   at start the helper writes   "ok datagram" | "ok raw" | "fail"
//   request                      "<dotted IPv4 address>\n": send one echo request there
//   reply                        "<dotted IPv4 address>\n": that address answered one
//                                of our requests (each request at most once)
//
// Requests stream in while replies stream out. The helper ignores lines that
// are not a dotted quad, keeps at least kFloor between two requests, and ends
// when its input closes.

#include "core/ipv4.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zeph::probe {

inline constexpr std::string_view kHelloDatagram = "ok datagram";
inline constexpr std::string_view kHelloRaw = "ok raw";
inline constexpr std::string_view kHelloFail = "fail";

// The least time between two requests: the floor fping sets for unprivileged
// users, since any local user can run the helper.
inline constexpr std::chrono::milliseconds kFloor{1};

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

} // namespace zeph::probe
