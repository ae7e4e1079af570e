#pragma once
// The zeph-probe helper's side of its line protocol (probeprotocol.h): what
// comes in is cut into lines and read as requests, what goes out is written
// whole. Plain C++, for the helper.

#include "platform/icmp/outbox.h"

#include <optional>
#include <string>
#include <string_view>

namespace zeph::probe {

// Cuts what arrives into lines, however it is split into reads. A line
// longer than kMaxLine is not ours: it comes out as nothing, once, so that
// it is still answered.
class LineReader {
public:
    // Calls line(text) for each line that bytes completes, its newline cut
    // off; line(std::nullopt) for one that was too long.
    template <typename Line> void feed(std::string_view bytes, Line&& line)
    {
        for (const char c : bytes) {
            if (c != '\n') {
                if (m_line.size() < kMaxLine)
                    m_line.push_back(c);
                else
                    m_tooLong = true;
                continue;
            }
            line(m_tooLong ? std::nullopt : std::optional<std::string_view>(m_line));
            m_line.clear();
            m_tooLong = false;
        }
    }

private:
    std::string m_line;
    bool m_tooLong = false;
};

// The request a line asks for: an echo request to a dotted quad that may be
// probed, or, where the helper sends ARP (arp), an ARP request line; nothing
// for anything else.
std::optional<Request> requestOf(std::string_view line, bool arp);

// Writes all of text to fd (a pipe or socket); false when it cannot.
bool writeAll(int fd, std::string_view text);

} // namespace zeph::probe
