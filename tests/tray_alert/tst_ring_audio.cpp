#include "DesktopSession.h"
#include "ScriptedMessagePort.h"
#include "TrayPorts.h"
#include "platform/Platform.h"
#include "platform/posix/AlsaSoundPlayer.h"
#include "ring/RingRoutine.h"

#include <QtTest>
#include <cmath>
#include <thread>

// The ring against a real audio server: a headless PulseAudio with a null sink, reached through
// ALSA's `default` device as on a desktop, recorded from the sink's monitor.
class TestRingAudio : public QObject {
    Q_OBJECT

    std::unique_ptr<DesktopSession> m_session;
    QTemporaryDir m_out;
    double m_expectedPeak = 0;
    double m_soundSeconds = 0;

    // Left and right volume as the audio server reports them.
    QList<int> channelVolumes() {
        const QString out = m_session->run("pactl", {"get-sink-volume", "test_sink"});
        QList<int> v;
        auto it = QRegularExpression(QStringLiteral("front-(?:left|right):\\s*(\\d+)")).globalMatch(out);
        while (it.hasNext())
            v << it.next().captured(1).toInt();
        return v;
    }

    void setChannels(int left, int right) {
        int rc = -1;
        m_session->run("pactl", {"set-sink-volume", "test_sink", QString::number(left), QString::number(right)}, &rc);
        QCOMPARE(rc, 0);
    }

    static double seconds(const QString& wav) {
        QProcess p;
        p.start("soxi", {"-D", wav});
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed().toDouble();
    }

    // The part of a recording louder than 20 dB below its peak.
    static bool soundOnly(const QString& wav, double peak, const QString& out) {
        const QString level = QString::number(peak - 20, 'f', 1) + "d";
        QProcess p;
        p.start("sox",
                {wav, out, "silence", "1", "0.005", level, "reverse", "silence", "1", "0.005", level, "reverse"});
        return p.waitForFinished(30000) && p.exitCode() == 0;
    }

    // Records a quiet second, the ring, and another quiet second; checks that the ring arrived at
    // the floor's level and that nothing arrived before or after it.
    void ringAndCheckRecording(hv::RingPort& ring, const QString& name) {
        const QString wav = m_out.filePath(name + ".wav");
        QVERIFY(m_session->startRecording(wav));
        QTest::qWait(700);
        ring.ring();
        QTest::qWait(1000);
        m_session->stopRecording();
        const double length = seconds(wav);
        QVERIFY2(length > 2.5, qPrintable(QString("recording of %1 s").arg(length)));

        const double peak = DesktopSession::peakDb(wav);
        QVERIFY2(std::abs(peak - m_expectedPeak) < 2.5,
                 qPrintable(QString("ring peak %1 dB, expected about %2 dB").arg(peak).arg(m_expectedPeak)));
        const double before = DesktopSession::peakDb(wav, 0, 0.4);
        const double after = DesktopSession::peakDb(wav, length - 0.6, 0.6);
        QVERIFY2(before < -80, qPrintable(QString("%1 dB before the ring").arg(before)));
        QVERIFY2(after < -80, qPrintable(QString("%1 dB after the ring").arg(after)));

        // Drained to the end: the sound lasts as long as the file's own.
        const QString trimmed = m_out.filePath(name + "-sound.wav");
        QVERIFY(soundOnly(wav, peak, trimmed));
        const double heard = seconds(trimmed);
        QVERIFY2(heard > m_soundSeconds - 0.01 && heard < m_soundSeconds + 0.1,
                 qPrintable(QString("ring heard for %1 s of %2 s").arg(heard).arg(m_soundSeconds)));
    }

private slots:
    void initTestCase() {
        QVERIFY2(m_out.isValid(), "no temporary folder");
        for (const char* tool : {"sox", "soxi", "parecord", "pactl"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                     qPrintable(QString("%1 is not installed (run scripts/setup)").arg(tool)));
        QVERIFY2(!QFileInfo::exists("/proc/asound/cards") || QString::fromLatin1([] {
                                                                 QFile f("/proc/asound/cards");
                                                                 f.open(QIODevice::ReadOnly);
                                                                 return f.readAll();
                                                             }())
                                                                 .contains("no soundcards"),
                 "this machine has a sound card of its own: ALSA's default would not be the test's audio server");
        const QString ringFile = hv::RingRoutine::desktopSounds().first();
        QVERIFY2(QFileInfo::exists(ringFile), "sound-theme-freedesktop is not installed (run scripts/setup)");
        // 60·log10(15000/65536) below the file's own peak.
        const double filePeak = DesktopSession::peakDb(ringFile);
        m_expectedPeak = 60 * std::log10(15000.0 / 65536.0) + filePeak;
        QVERIFY(soundOnly(ringFile, filePeak, m_out.filePath("file-sound.wav")));
        m_soundSeconds = seconds(m_out.filePath("file-sound.wav"));
        QVERIFY2(m_soundSeconds > 1, "the ring file could not be measured");

        DesktopSession::Options o;
        o.windowManager = false;
        o.audio = true;
        m_session = std::make_unique<DesktopSession>(o);
        // ALSA and the audio server's client library read these from this process.
        const QProcessEnvironment env = m_session->environment();
        for (const char* key : {"PULSE_SERVER", "PULSE_RUNTIME_PATH", "XDG_RUNTIME_DIR"})
            qputenv(key, env.value(key).toLocal8Bit());
    }

    void audioServerStartedLateIsFoundOnTheNextRing() {
        // Before the audio server runs there is no mixer: told once, at creation.
        ScriptedMessagePort msg;
        auto ring = hv::makeDesktopRing(msg);
        QCOMPARE(msg.boxes.size(), 1);
        QCOMPARE(msg.boxes[0].title, QString("Morvik"));
        QCOMPARE(msg.boxes[0].text, QString("No mixer found!"));
        QCOMPARE(msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(msg.boxes[0].icon, hv::Icon::None);

        QString why;
        QVERIFY2(m_session->start(&why), qPrintable(why));
        QVERIFY(m_session->setSinkVolume(5000));
        QVERIFY(m_session->setSinkMuted(true));

        ringAndCheckRecording(*ring, "late-server");
        QCOMPARE(m_session->sinkVolume(), 5000);
        QVERIFY(m_session->sinkMuted());
        QCOMPARE(msg.boxes.size(), 1);
    }

    void mutedQuietOutputRingsAtTheFloorAndIsPutBack() {
        ScriptedMessagePort msg;
        auto ring = hv::makeDesktopRing(msg);
        QVERIFY2(msg.boxes.isEmpty(), "the audio server is up: the mixer must be found");
        setChannels(5000, 5000);
        QVERIFY(m_session->setSinkMuted(true));
        ringAndCheckRecording(*ring, "muted");
        QCOMPARE(channelVolumes(), (QList<int>{5000, 5000}));
        QVERIFY(m_session->sinkMuted());
    }

    void balanceAndOutsideChangesSurviveTheRing() {
        ScriptedMessagePort msg;
        auto ring = hv::makeDesktopRing(msg);
        setChannels(5000, 7000);
        QVERIFY(m_session->setSinkMuted(false));
        ringAndCheckRecording(*ring, "balance");
        QCOMPARE(channelVolumes(), (QList<int>{5000, 7000}));
        QVERIFY(!m_session->sinkMuted());

        // Changed by the user while the tray client's mixer stays open: the next ring restores
        // the new values, not the ones the mixer saw first.
        setChannels(8000, 6000);
        QVERIFY(m_session->setSinkMuted(true));
        ringAndCheckRecording(*ring, "changed-outside");
        QCOMPARE(channelVolumes(), (QList<int>{8000, 6000}));
        QVERIFY(m_session->sinkMuted());
    }

    void hungAudioServerCannotHangTheRing() {
        // A server that accepts the connection and then never answers: the play is given up.
        hv::AlsaSoundPlayer player;
        QVERIFY(m_session->pauseAudioServer(true));
        const bool played = player.play(hv::AlsaSoundPlayer::tone());
        QVERIFY(m_session->pauseAudioServer(false));
        QVERIFY2(!played, "a play on a frozen audio server must be abandoned");

        // Once the server answers again the abandoned play ends on its own and rings are heard.
        QTRY_VERIFY_WITH_TIMEOUT(hv::AlsaSoundPlayer::idle(), 20000);
        ScriptedMessagePort msg;
        auto ring = hv::makeDesktopRing(msg);
        setChannels(5000, 5000);
        QVERIFY(m_session->setSinkMuted(true));
        ringAndCheckRecording(*ring, "after-hang");
        QCOMPARE(channelVolumes(), (QList<int>{5000, 5000}));
        QVERIFY(m_session->sinkMuted());
    }

    void ringCutShortAtTheEndPutsVolumeAndMuteBack() {
        // The program ends while a ring plays: the sound stops at once and the output is left as
        // the user had it.
        ScriptedMessagePort msg;
        auto ring = hv::makeDesktopRing(msg);
        setChannels(5000, 5000);
        QVERIFY(m_session->setSinkMuted(true));
        const QString wav = m_out.filePath("cut-short.wav");
        QVERIFY(m_session->startRecording(wav));
        QTest::qWait(500);
        std::thread playing([&] { ring->ring(); });
        const bool lifted = QTest::qWaitFor([&] { return !m_session->sinkMuted(); }, 10000);
        // Into the sound, well before its end.
        QTest::qWait(400);
        ring->interrupt();
        playing.join();
        QTest::qWait(500);
        m_session->stopRecording();
        QVERIFY2(lifted, "the ring did not lift the mute");
        QCOMPARE(channelVolumes(), (QList<int>{5000, 5000}));
        QVERIFY(m_session->sinkMuted());

        const double peak = DesktopSession::peakDb(wav);
        QVERIFY2(peak > -80, "nothing of the ring was heard");
        const QString trimmed = m_out.filePath("cut-short-sound.wav");
        QVERIFY(soundOnly(wav, peak, trimmed));
        const double heard = seconds(trimmed);
        QVERIFY2(heard < m_soundSeconds - 0.5,
                 qPrintable(QString("ring heard for %1 s of %2 s: not cut short").arg(heard).arg(m_soundSeconds)));
    }

    void cleanupTestCase() { m_session.reset(); }
};

QTEST_GUILESS_MAIN(TestRingAudio)
#include "tst_ring_audio.moc"
