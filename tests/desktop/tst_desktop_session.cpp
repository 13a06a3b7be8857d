#include "DesktopSession.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

bool alive(qint64 pid) {
    return ::kill(pid_t(pid), 0) == 0;
}

// Run as a child of the test: starts every part of the desktop, prints their process ids and
// waits to be killed.
int holdDesktop() {
    DesktopSession::Options o;
    o.trayHost = true;
    o.audio = true;
    o.printServer = true;
    DesktopSession s(o);
    QString why;
    if (!s.start(&why)) {
        fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    QStringList pids;
    for (qint64 pid : s.serverPids())
        pids << QString::number(pid);
    printf("%s\n", qPrintable(pids.join(u' ')));
    fflush(stdout);
    for (;;)
        QThread::sleep(1);
}

// Run as a child on a desktop: the screens as Qt sees them, one per line.
int printScreens(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (const QScreen* screen : app.screens()) {
        const QRect g = screen->geometry();
        printf("%d,%d %dx%d\n", g.x(), g.y(), g.width(), g.height());
    }
    return 0;
}

} // namespace

// The test desktop itself: if this fails, every end-to-end test would fail for the same reason.
class TestDesktopSession : public QObject {
    Q_OBJECT

private slots:
    void startsXWindowManagerTrayAudioAndPrinter() {
        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        o.printServer = true;
        DesktopSession s(o);
        QString why;
        QVERIFY2(s.start(&why), qPrintable(why));
        QVERIFY(s.run("xdpyinfo", {}).contains("1280x800 pixels"));
        QVERIFY(s.run("lpstat", {"-d"}).contains(DesktopSession::printQueue()));

        QTemporaryDir out;
        QVERIFY(s.screenshot(out.filePath("root.png")));

        // A full-scale tone at 50 % volume arrives about 18 dB down (60·log10 of the volume).
        QVERIFY(s.setSinkMuted(false));
        QVERIFY(s.setSinkVolume(32768));
        QCOMPARE(s.sinkVolume(), 32768);
        const QString wav = out.filePath("rec.wav");
        QVERIFY(s.startRecording(wav));
        const QString tone = out.filePath("tone.wav");
        int rc = -1;
        s.run("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.5", "sine", "440"}, &rc);
        QCOMPARE(rc, 0);
        s.run("paplay", {"--device=test_sink", tone}, &rc);
        QCOMPARE(rc, 0);
        QTest::qWait(500);
        s.stopRecording();
        const double peak = DesktopSession::peakDb(wav);
        QVERIFY2(peak > -30 && peak < -10, qPrintable(QString("peak %1 dB").arg(peak)));
    }

    // A test killed outright leaves nothing behind, and its output pipe closes at once, so that
    // CTest goes on with the next test.
    void killedTestLeavesNoServerBehind() {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HALVANE_HOLD_DESKTOP", "1");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::SeparateChannels);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QVERIFY2(QTest::qWaitFor([&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 60000),
                 "the desktop in the child did not start");
        const QStringList pids = QString::fromLocal8Bit(child.readLine()).trimmed().split(u' ', Qt::SkipEmptyParts);
        QVERIFY2(pids.size() == 5, qPrintable("servers: " + pids.join(u',') + " " + child.readAllStandardError()));
        for (const QString& pid : pids)
            QVERIFY(alive(pid.toLongLong()));

        ::kill(pid_t(child.processId()), SIGKILL);
        // Every server dies with it; nothing holds the child's output open.
        QVERIFY(child.waitForFinished(5000));
        for (const QString& pid : pids)
            QVERIFY2(QTest::qWaitFor([&] { return !alive(pid.toLongLong()); }, 5000),
                     qPrintable("server " + pid + " outlived the killed test"));
    }

    // Two monitors, side by side and one above the other, as separate screens for Qt.
    void twoMonitorsAreTwoScreens_data() {
        QTest::addColumn<QRect>("second");
        QTest::newRow("side by side") << QRect(1280, 0, 1024, 768);
        QTest::newRow("one above the other") << QRect(0, 800, 1280, 800);
    }
    void twoMonitorsAreTwoScreens() {
        QFETCH(QRect, second);
        DesktopSession::Options o;
        o.monitors = {QRect(0, 0, 1280, 800), second};
        DesktopSession s(o);
        QString why;
        QVERIFY2(s.start(&why), qPrintable(why));
        QProcessEnvironment env = s.environment();
        env.insert("HALVANE_PRINT_SCREENS", "1");
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(20000));
        const QString expected = QStringLiteral("0,0 1280x800\n%1,%2 %3x%4")
                                     .arg(second.x())
                                     .arg(second.y())
                                     .arg(second.width())
                                     .arg(second.height());
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed(), expected);
    }

    void unknownServerProgramFailsClearly() {
        DesktopSession::Options o;
        o.windowManager = false;
        DesktopSession s(o);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        QString why;
        const bool started = s.start(&why);
        qputenv("PATH", path);
        QVERIFY(!started);
        QCOMPARE(why, QStringLiteral("the test desktop could not start: Xvfb is not installed (run scripts/setup)"));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet("HALVANE_HOLD_DESKTOP")) return holdDesktop();
    if (qEnvironmentVariableIsSet("HALVANE_PRINT_SCREENS")) return printScreens(argc, argv);
    QCoreApplication app(argc, argv);
    TestDesktopSession t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_desktop_session.moc"
