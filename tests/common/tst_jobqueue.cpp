// The job queue behind every program's database thread: jobs in order on a thread of their own,
// typed answers on the home thread to a receiver that still lives, failures as answers, a wait
// that keeps timers going and hands a failure back, and a stop that never waits past its deadline.
#include "Failure.h"
#include "JobQueue.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <stdexcept>

class TestJobQueue : public QObject {
    Q_OBJECT

private slots:
    void jobsRunInOrderAndAnswerOnTheHomeThread() {
        hv::JobQueue queue(QStringLiteral("test"));
        QObject receiver;
        QThread* ranOn = nullptr;
        QList<int> values;
        QList<QThread*> answeredOn;
        for (int i = 1; i <= 5; ++i) {
            queue.post<int>(
                &receiver,
                [i, &ranOn] {
                    ranOn = QThread::currentThread();
                    return i * 10;
                },
                [&](const hv::JobResult<int>& r) {
                    if (!r.failure) values << r.value;
                    answeredOn << QThread::currentThread();
                });
        }
        QTRY_COMPARE(values.size(), 5);
        QCOMPARE(values, QList<int>({10, 20, 30, 40, 50}));
        QVERIFY(ranOn && ranOn != QThread::currentThread());
        QCOMPARE(answeredOn, QList<QThread*>(5, QThread::currentThread()));
    }

    void aFailureIsTheAnswer() {
        hv::JobQueue queue(QStringLiteral("test"));
        QObject receiver;
        QStringList answers;
        const auto note = [&](const std::optional<hv::Failure>& f) {
            answers << (f ? QStringLiteral("%1/%2 %3").arg(f->number()).arg(f->nativeCode()).arg(f->description())
                          : QStringLiteral("done"));
        };
        queue.post<int>(
            &receiver, []() -> int { throw hv::Failure(hv::code::CannotOpen, QStringLiteral("gone"), 2013); },
            [&](const hv::JobResult<int>& r) { note(r.failure); });
        queue.post(
            &receiver, [] { throw std::runtime_error("broken"); }, note);
        queue.post(
            &receiver, [] {}, note);
        QTRY_COMPARE(answers.size(), 3);
        QCOMPARE(answers, QStringList({QStringLiteral("%1/2013 gone").arg(hv::code::CannotOpen),
                                       QStringLiteral("%1/0 broken").arg(hv::code::Unexpected), "done"}));
    }

    void anAnswerIsDroppedWhenItsReceiverHasGone() {
        hv::JobQueue queue(QStringLiteral("test"));
        QSemaphore go;
        auto* gone = new QObject;
        QObject stays;
        QStringList answered;
        queue.post<int>(
            gone,
            [&go] {
                go.acquire();
                return 1;
            },
            [&](const hv::JobResult<int>&) { answered << "gone"; });
        queue.post<int>(
            &stays, [] { return 2; }, [&](const hv::JobResult<int>&) { answered << "stays"; });
        delete gone;
        go.release();
        // Answers arrive in order: once the second is there, the first has been dropped.
        QTRY_COMPARE(answered, QStringList{"stays"});
    }

    void aWaitKeepsTimersGoingAndThrowsTheJobsFailure() {
        hv::JobQueue queue(QStringLiteral("test"));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(20);
        QStringList waited;
        hv::JobWait wait;
        wait.showAfterMs = 100;
        wait.begin = [&waited] { waited << "begin"; };
        wait.end = [&waited] { waited << "end"; };
        QThread* ranOn = nullptr;
        queue.runAndWait(
            [&ranOn] {
                ranOn = QThread::currentThread();
                QThread::msleep(400);
            },
            wait);
        QVERIFY(ranOn && ranOn != QThread::currentThread());
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        QCOMPARE(waited, QStringList({"begin", "end"}));
        // A quick job shows nothing.
        waited.clear();
        queue.runAndWait([] {}, wait);
        QCOMPARE(waited, QStringList());

        try {
            queue.runAndWait([] { throw hv::Failure(1205, QStringLiteral("lock"), 1205); });
            QFAIL("the failure should have come back");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), qint64(1205));
            QCOMPARE(f.nativeCode(), 1205);
        }
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, queue.runAndWait([] { throw std::runtime_error("broken"); }));

        QVERIFY(queue.stop(QDeadlineTimer(5000)));
        QVERIFY_THROWS_EXCEPTION(hv::Failure, queue.runAndWait([] {}));
    }

    // A job that never returns in time: the stop gives up at its deadline, drops what waits, and
    // the thread tidies itself away once the job returns, long after the queue has gone; its
    // answer then has nowhere to go and is dropped.
    void aStopLeavesAHungJobBehind() {
        QSemaphore started;
        QSemaphore go;
        std::atomic<QThread*> jobThread{nullptr};
        QObject receiver;
        bool answered = false;
        bool laterRan = false;
        auto queue = std::make_unique<hv::JobQueue>(QStringLiteral("hung"));
        queue->post<int>(
            &receiver,
            [&] {
                jobThread = QThread::currentThread();
                started.release();
                go.acquire();
                return 1;
            },
            [&answered](const hv::JobResult<int>&) { answered = true; });
        queue->post([&laterRan] { laterRan = true; });
        started.acquire();
        const QPointer<QThread> leftBehind(jobThread.load());

        QElapsedTimer t;
        t.start();
        QVERIFY(!queue->stop(QDeadlineTimer(300)));
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(queue->stopped());
        queue->post([&laterRan] { laterRan = true; });
        queue.reset();

        go.release();
        QTRY_VERIFY(!leftBehind);
        QCoreApplication::processEvents();
        QVERIFY(!answered);
        QVERIFY(!laterRan);
    }
};

QTEST_GUILESS_MAIN(TestJobQueue)
#include "tst_jobqueue.moc"
