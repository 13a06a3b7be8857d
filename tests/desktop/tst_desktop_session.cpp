#include "DesktopSession.h"

#include <QtTest>

// The test desktop itself: if this fails, every end-to-end test would fail for the same reason.
class TestDesktopSession : public QObject {
    Q_OBJECT

private slots:
    void startsXWindowManagerTrayAndAudio() {
        DesktopSession::Options o;
        o.trayHost = true;
        o.audio = true;
        DesktopSession s(o);
        QString why;
        QVERIFY2(s.start(&why), qPrintable(why));
        QVERIFY(s.run("xdpyinfo", {}).contains("1280x800 pixels"));

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
};

QTEST_GUILESS_MAIN(TestDesktopSession)
#include "tst_desktop_session.moc"
