// The queue between the reader thread and the UI thread: bounded in bytes, in
// order, nothing lost, and a reader waiting on a full queue can be stopped.

#include "messaging/datagramqueue.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

using zeph::DatagramQueue;

class TestDatagramQueue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aFullQueueHoldsTheReaderBackAndLosesNothing()
    {
        constexpr qsizetype kLimit = 1000;
        constexpr int kCount = 20000;
        DatagramQueue queue(kLimit);
        std::jthread reader([&queue](std::stop_token stop) {
            for (int i = 0; i < kCount; ++i) {
                if (!queue.waitForRoom(stop))
                    return;
                queue.push(QByteArray::number(i));
            }
        });
        // Room for at most this many short datagrams, plus the one that crossed the line.
        const qsizetype most = kLimit / (DatagramQueue::kOverheadPerDatagram + 1) + 1;
        qsizetype deepest = 0;
        int next = 0;
        while (next < kCount) {
            deepest = std::max(deepest, queue.size());
            if (std::optional<QByteArray> d = queue.take()) {
                QCOMPARE(*d, QByteArray::number(next));
                ++next;
            } else {
                std::this_thread::yield();
            }
        }
        QVERIFY2(deepest <= most, qPrintable(QString::number(deepest)));
        QVERIFY(deepest > 1); // it did fill up
        QCOMPARE(queue.take(), std::nullopt);
    }

    void onlyTheFirstArrivalAfterAnEmptyTakeAsksForAWakeUp()
    {
        DatagramQueue queue(1 << 20);
        QVERIFY(queue.push("a"));  // the taker has not looked yet
        QVERIFY(!queue.push("b")); // already told
        QCOMPARE(queue.take(), QByteArray("a"));
        QVERIFY(!queue.push("c")); // not idle yet: it has not found the queue empty
        QCOMPARE(queue.take(), QByteArray("b"));
        QCOMPARE(queue.take(), QByteArray("c"));
        QCOMPARE(queue.take(), std::nullopt);
        QVERIFY(queue.push("d"));
    }

    void aReaderWaitingOnAFullQueueStops()
    {
        DatagramQueue queue(10);
        queue.push(QByteArray(100, 'x'));
        std::atomic<int> result = -1;
        std::jthread reader([&](std::stop_token stop) { result = queue.waitForRoom(stop); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QCOMPARE(result.load(), -1); // still waiting
        reader.request_stop();
        reader.join();
        QCOMPARE(result.load(), 0);
        QCOMPARE(queue.size(), 1); // what it held stays
    }
};

QTEST_GUILESS_MAIN(TestDatagramQueue)
#include "test_datagramqueue.moc"
