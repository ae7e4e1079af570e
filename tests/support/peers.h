#pragma once
// What only the tests look at inside the scanner and the history's spill file.

#include "discovery/scanner.h"
#include "discovery/scanview.h"
#include "history/historyspill.h"

#include <QtGlobal>

#include <optional>

namespace zeph::test {

struct ScannerPeer {
    // Reverse lookups of the scan in progress still running.
    static int lookupsRunning(const Scanner& s)
    {
        return s.m_sweep ? s.m_sweep->lookupsRunning() : 0;
    }
    // The address just below the first one swept; none without a subnet.
    static std::optional<Ipv4Address> network(const Scanner& s)
    {
        if (s.m_subnets.empty())
            return std::nullopt;
        return Ipv4Address(s.m_subnets.front().range.first.toHostOrder() - 1);
    }
    // How many addresses a scan sweeps (the progress maximum).
    static int highestHostNumber(const Scanner& s) { return s.m_highest; }
    // Scan only the first n addresses of what start-up found, and say so in
    // the progress maximum as start-up does.
    static void sweepAtMost(Scanner& s, int n)
    {
        s.m_highest = qBound(1, n, s.m_rangeSize);
        s.m_view.setProgressMaximum(s.m_highest);
    }
};

struct SpillPeer {
#ifndef Q_OS_WIN
    // The file's descriptor while it is open, else -1.
    static int descriptor(const HistorySpill& spill)
    {
        return spill.m_file.descriptor();
    }
#endif
};

} // namespace zeph::test
