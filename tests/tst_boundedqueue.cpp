// The hand-over queue between the export's threads: order, the bound, and
// how close and abort end waiting producers and consumers.

#include "BoundedQueue.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

class TestBoundedQueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keepsOrderAndBound_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
        QTest::newRow("zero acts as one") << 0;
    }
    void keepsOrderAndBound()
    {
        QFETCH(int, capacity);
        BoundedQueue<int> queue{size_t(capacity)};
        const int bound = std::max(1, capacity);
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            for (int i = 0; i < 200; ++i) {
                if (!queue.push(i))
                    return;
                ++pushed;
            }
            queue.close();
        });
        // Nobody takes: the producer stops at the bound.
        QTRY_COMPARE(pushed.load(), bound);
        std::this_thread::sleep_for(30ms);
        QCOMPARE(pushed.load(), bound);
        std::vector<int> taken;
        while (std::optional<int> item = queue.pop()) {
            taken.push_back(*item);
            QVERIFY(pushed.load() - int(taken.size()) <= bound);
        }
        producer.join();
        QCOMPARE(taken.size(), size_t(200));
        for (int i = 0; i < 200; ++i)
            QCOMPARE(taken[size_t(i)], i);
    }

    void closeDrainsThenEnds()
    {
        BoundedQueue<int> queue(4);
        QVERIFY(queue.push(1));
        QVERIFY(queue.push(2));
        queue.close();
        QVERIFY(!queue.push(3));
        QCOMPARE(queue.pop(), std::optional<int>(1));
        QCOMPARE(queue.pop(), std::optional<int>(2));
        QCOMPARE(queue.pop(), std::optional<int>());

        // A consumer waiting on an empty queue ends when it is closed.
        BoundedQueue<int> empty(2);
        std::atomic<bool> ended{false};
        std::thread consumer([&] {
            ended = !empty.pop().has_value();
        });
        std::this_thread::sleep_for(20ms);
        QVERIFY(!ended);
        empty.close();
        consumer.join();
        QVERIFY(ended);
    }

    void abortDropsAndWakes()
    {
        // A producer waiting on a full queue gives up, and what was queued is gone.
        BoundedQueue<int> queue(1);
        QVERIFY(queue.push(1));
        std::atomic<int> result{-1};
        std::thread producer([&] { result = queue.push(2) ? 1 : 0; });
        std::this_thread::sleep_for(20ms);
        QCOMPARE(result.load(), -1);
        queue.abort();
        producer.join();
        QCOMPARE(result.load(), 0);
        QCOMPARE(queue.pop(), std::optional<int>());
    }
};

QTEST_GUILESS_MAIN(TestBoundedQueue)
#include "tst_boundedqueue.moc"
