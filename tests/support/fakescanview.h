#pragma once
// ScanViews for tests and benchmarks: one that keeps what the scan did to it,
// and a quiet one that only counts the names listed.

#include "discovery/scanview.h"

#include <QByteArray>
#include <QList>

namespace zeph::test {

struct FakeScanView : ScanView {
    QByteArray status = "idle";
    bool cursorWaiting = false;
    int cursorOnCalls = 0;
    int cursorRestoreCalls = 0;
    bool progressVisible = false;
    int progressMaximum = 0;
    int progressPosition = 0;
    QList<int> positions;
    QList<QByteArray> computers;
    QList<Ipv4Address> addresses; // of the hosts that answered for them
    int clearCalls = 0;
    bool scanning = false; // last setScanButtons()
    QList<QByteArray> log; // every call in order

    void setStatus(const QByteArray& text) override
    {
        status = text;
        log << "status:" + text;
    }
    void waitCursorOn() override
    {
        cursorWaiting = true;
        ++cursorOnCalls;
        log << "cursor:wait";
    }
    void restoreCursor() override
    {
        cursorWaiting = false;
        ++cursorRestoreCalls;
        log << "cursor:restore";
    }
    void setProgressVisible(bool visible) override
    {
        progressVisible = visible;
        log << QByteArray("progress:") + (visible ? "shown" : "hidden");
    }
    void setProgressMaximum(int maximum) override
    {
        progressMaximum = maximum;
        log << "maximum:" + QByteArray::number(maximum);
    }
    void setProgressPosition(int position) override
    {
        progressPosition = position;
        positions << position;
        log << "position:" + QByteArray::number(position);
    }
    void clearComputers() override
    {
        computers.clear();
        addresses.clear();
        ++clearCalls;
        log << "clear";
    }
    void addComputer(const QByteArray& name, Ipv4Address address) override
    {
        computers << name;
        addresses << address;
        log << "add:" + name;
    }
    void setScanButtons(bool s) override
    {
        scanning = s;
        log << QByteArray("buttons:") + (s ? "scanning" : "idle");
    }
};

struct QuietScanView : ScanView {
    int listed = 0;

    void setStatus(const QByteArray&) override {}
    void waitCursorOn() override {}
    void restoreCursor() override {}
    void setProgressVisible(bool) override {}
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void clearComputers() override { listed = 0; }
    void addComputer(const QByteArray&, Ipv4Address) override { ++listed; }
    void setScanButtons(bool) override {}
};

} // namespace zeph::test
