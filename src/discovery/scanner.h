#pragma once
// The subnet scan that fills the computer list. It probes host numbers 1 to the
// highest host number of the local /24 one at a time, names every address that
// answers through the reverse lookup and lists the names in host-number order.
// It runs inside the handler that started it and keeps the window alive through
// ScanView::processPendingEvents(), twice per address; the cancel request is
// looked at once per address, after that address is fully handled.
//
// The prober and the resolver are injected so that the scan does not depend on
// the platform: the real ones are zeph::platform::echoProbe and
// zeph::platform::reverseLookup.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>

#include <functional>

namespace zeph {

class History;
class ScanView;

class Scanner : public QObject {
    Q_OBJECT
public:
    // Round-trip milliseconds of an echo reply, or -1.
    using EchoProbe = std::function<int(QByteArrayView address, int timeoutMs)>;
    // Host name of a dotted address, or empty.
    using ReverseLookup = std::function<QByteArray(QByteArrayView dotted)>;

    static constexpr int kHighestHostNumber = 255;
    static constexpr int kEchoTimeoutMs = 50;

    Scanner(History& history, ScanView& view, EchoProbe probe, ReverseLookup lookup,
            QObject* parent = nullptr);

    // Start-up: prefix from the local dotted address, highest host number 255,
    // progress maximum, both flags false. An address without three numbers
    // leaves the prefix empty and every later scan probes nothing.
    void startUp(QByteArrayView localAddress);

    // Runs one whole scan and returns when it has completed or was cancelled.
    // Does nothing if a scan is already running (a nested call).
    void run();

    // Cancel button and Esc: takes effect after the address in progress.
    // Does nothing while no scan runs.
    void requestCancel();

    bool running() const { return m_running; }
    QByteArray addressPrefix() const { return m_prefix; }
    int highestHostNumber() const { return m_highest; }

    // The names the last scan listed, in list order (the same entries as the
    // window's list); computerAt() is empty for an index out of range.
    const QList<QByteArray>& computers() const { return m_computers; }
    QByteArray computerAt(qsizetype index) const;

    // Test hook: scan a shorter range (1..n, clamped to 1..255). Also moves the
    // progress maximum, as start-up does.
    void setHighestHostNumber(int n);

    // First three dot-separated numbers of a dotted IPv4 address, each followed
    // by "."; empty if the text is not such an address.
    static QByteArray prefixOf(QByteArrayView dotted);

    // The history texts of the scan, GBK.
    static QByteArray startText();
    static QByteArray cancelledText();
    static QByteArray completedText();
    static QByteArray noAddressText();

Q_SIGNALS:
    void started();
    void finished(bool cancelled);

private:
    void cleanUp();

    History& m_history;
    ScanView& m_view;
    EchoProbe m_probe;
    ReverseLookup m_lookup;

    QByteArray m_prefix;
    int m_highest = kHighestHostNumber;
    bool m_cancelRequest = false;
    bool m_running = false;
    QList<QByteArray> m_computers;
};

} // namespace zeph
