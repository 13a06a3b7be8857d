#include "ScriptedMessagePort.h"
#include "platform/posix/AlsaSoundPlayer.h"
#include "ring/Mixer.h"
#include "ring/RingRoutine.h"
#include "ring/SoundPlayer.h"
#include "ring/clsVolume.h"

#include <QtTest>
#include <functional>

namespace {

// A master output with a settable range. Like ALSA it ignores values outside its range, so that
// only the class's own clamping can make such a write count.
class FakeMixer : public hv::Mixer {
public:
    bool openable = true;
    bool hasElement = true;
    bool hasSwitch = true;
    long min = 0, max = 65536;
    std::vector<long> vol{5000, 5000};
    std::vector<bool> muted{false, false};
    int writes = 0;
    bool closed = false;
    int muteReads = 0;
    std::function<void(int)> onMuteRead; // lets the "outside world" change things between reads

    bool open() override { return openable; }
    void close() override { closed = true; }
    bool volumeRange(long* mn, long* mx) override {
        if (!hasElement) return false;
        *mn = min;
        *mx = max;
        return true;
    }
    std::vector<long> volumes() override { return hasElement ? vol : std::vector<long>{}; }
    bool setVolumes(const std::vector<long>& v) override {
        ++writes;
        if (!hasElement) return false;
        for (size_t i = 0; i < vol.size(); ++i) {
            const long x = v.size() == 1 ? v[0] : v[i];
            if (x >= min && x <= max) vol[i] = x;
        }
        return true;
    }
    std::vector<bool> mutes() override {
        ++muteReads;
        if (onMuteRead) onMuteRead(muteReads);
        return hasElement && hasSwitch ? muted : std::vector<bool>{};
    }
    bool setMutes(const std::vector<bool>& m) override {
        ++writes;
        if (!hasElement || !hasSwitch) return false;
        for (size_t i = 0; i < muted.size(); ++i)
            muted[i] = m.size() == 1 ? m[0] : m[i];
        return true;
    }
};

// Records what was played and how the output stood while it played.
class FakePlayer : public hv::SoundPlayer {
public:
    explicit FakePlayer(FakeMixer& m) : mixer(m) {}
    FakeMixer& mixer;
    QStringList played;
    std::vector<long> volDuring;
    std::vector<bool> mutedDuring;
    QStringList undecodable;
    // What the device said of the last play.
    Outcome outcome;

    Outcome lastOutcome() const override { return outcome; }
    bool playFile(const QString& path) override {
        if (undecodable.contains(path)) return false;
        record(path);
        return true;
    }
    void playTone() override { record("tone"); }

private:
    void record(const QString& what) {
        played << what;
        volDuring = mixer.vol;
        mutedDuring = mixer.muted;
    }
};

} // namespace

// The ring routine and clsVolume over a fake mixer and player.
class TestRing : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ringFile, m_bellFile;

    QString makeFile(const QString& name) {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write("x");
        return f.fileName();
    }

private slots:
    void initTestCase() {
        m_ringFile = makeFile("ring.oga");
        m_bellFile = makeFile("bell.oga");
    }

    // Volume raised to the floor (or the maximum below it) for the ring, each channel put back.
    void volumeDuringAndAfterTheRing_data() {
        QTest::addColumn<long>("max");
        QTest::addColumn<std::vector<long>>("before");
        QTest::addColumn<std::vector<long>>("during");
        QTest::addRow("quiet, with a balance")
            << 65536L << std::vector<long>{5000, 3000} << std::vector<long>{15000, 15000};
        QTest::addRow("loud") << 65536L << std::vector<long>{40000, 40000} << std::vector<long>{40000, 40000};
        QTest::addRow("maximum below the floor")
            << 10000L << std::vector<long>{2000, 2000} << std::vector<long>{10000, 10000};
    }
    void volumeDuringAndAfterTheRing() {
        QFETCH(long, max);
        QFETCH(std::vector<long>, before);
        QFETCH(std::vector<long>, during);
        FakeMixer mixer;
        mixer.max = max;
        mixer.vol = before;
        FakePlayer player(mixer);
        ScriptedMessagePort msg;
        {
            hv::clsVolume volume(mixer, msg, "Morvik");
            hv::RingRoutine(volume, player, {m_ringFile, m_bellFile}).ring();
        }
        QCOMPARE(player.played, QStringList{m_ringFile});
        QCOMPARE(player.volDuring, during);
        QCOMPARE(player.mutedDuring, (std::vector<bool>{false, false}));
        QCOMPARE(mixer.vol, before);
        QCOMPARE(mixer.muted, (std::vector<bool>{false, false}));
        QVERIFY(msg.boxes.isEmpty());
        QVERIFY2(mixer.closed, "the mixer is closed when clsVolume goes");
    }

    void mutedOutputIsUnmutedForTheRingOnly() {
        FakeMixer mixer;
        mixer.muted = {true, false}; // only the left channel muted: each comes back as it was
        FakePlayer player(mixer);
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        QCOMPARE(volume.WaveMute(), -1L);
        hv::RingRoutine routine(volume, player, {m_ringFile});
        routine.ring();
        QCOMPARE(player.played.size(), 1);
        QCOMPARE(player.mutedDuring, (std::vector<bool>{false, false}));
        QCOMPARE(player.volDuring, (std::vector<long>{15000, 15000}));
        QCOMPARE(mixer.muted, (std::vector<bool>{true, false}));
        QCOMPARE(mixer.vol, (std::vector<long>{5000, 5000}));
        // The receipt's account of it, read back from the mixer after the ring.
        const hv::RingReport report = routine.lastReport();
        QCOMPARE(report.result, hv::RingReport::Result::Played);
        QCOMPARE(report.volumeBefore, std::optional<long>(5000));
        QCOMPARE(report.volumeDuring, std::optional<long>(15000));
        QCOMPARE(report.volumeAfter, std::optional<long>(5000));
        QCOMPARE(report.muteLifted, std::optional<bool>(true));
        QCOMPARE(report.muteRestored, std::optional<bool>(true));

        // A device that refuses: the receipt says so in the audio system's words, the output as before.
        player.outcome = {hv::SoundPlayer::Outcome::Kind::Failed, "snd_pcm_open: Device or resource busy"};
        routine.ring();
        QCOMPARE(routine.lastReport().result, hv::RingReport::Result::Failed);
        QCOMPARE(routine.lastReport().reason, QString("snd_pcm_open: Device or resource busy"));
        QCOMPARE(mixer.muted, (std::vector<bool>{true, false}));
    }

    void muteSwitchedOnBetweenTheTwoReadsStillRings() {
        FakeMixer mixer;
        mixer.onMuteRead = [&](int n) {
            if (n == 2) mixer.muted = {true, true};
        };
        FakePlayer player(mixer);
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        hv::RingRoutine(volume, player, {m_ringFile}).ring();
        QCOMPARE(player.played, QStringList{m_ringFile});
        QCOMPARE(player.mutedDuring, (std::vector<bool>{false, false}));
        QCOMPARE(mixer.muted, (std::vector<bool>{true, true}));
        QCOMPARE(mixer.vol, (std::vector<long>{5000, 5000}));
    }

    void valuesOutsideTheRangeAreClamped() {
        FakeMixer mixer;
        mixer.min = 100;
        mixer.max = 50000;
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        QCOMPARE(volume.MinWaveVolume(), 100L);
        volume.setWaveVolume(70000);
        QCOMPARE(volume.WaveVolume(), 50000L);
        volume.setWaveVolume(-5);
        QCOMPARE(volume.WaveVolume(), 100L);
        volume.setWaveMute(-1);
        QCOMPARE(mixer.muted, (std::vector<bool>{true, true}));
        volume.setWaveMute(0);
        QCOMPARE(volume.WaveMute(), 0L);
    }

    void noMixerToldOnceAndTheRingStillPlays() {
        FakeMixer mixer;
        mixer.openable = false;
        FakePlayer player(mixer);
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        QCOMPARE(msg.boxes.size(), 1);
        QCOMPARE(msg.boxes[0].title, QString("Morvik"));
        QCOMPARE(msg.boxes[0].text, QString("No mixer found!"));
        QCOMPARE(msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(msg.boxes[0].icon, hv::Icon::None);
        QCOMPARE(volume.MinWaveVolume(), 0L);
        QCOMPARE(volume.MaxWaveVolume(), 0L);
        QCOMPARE(volume.WaveVolume(), 0L);
        QCOMPARE(volume.WaveMute(), 0L);
        volume.setWaveVolume(30000);
        volume.setWaveMute(-1);
        hv::RingRoutine routine(volume, player, {m_ringFile});
        routine.ring();
        routine.ring();
        QCOMPARE(player.played, (QStringList{m_ringFile, m_ringFile}));
        QCOMPARE(mixer.writes, 0);
        QCOMPARE(msg.boxes.size(), 1);
        // Nothing of the volume or the mute could be read, so the receipt leaves them empty.
        QVERIFY(!routine.lastReport().volumeBefore && !routine.lastReport().muteLifted);
        QVERIFY2(!mixer.closed, "a mixer that never opened is not closed");

        // An audio server that came up later is found on a later attempt, without another box.
        mixer.openable = true;
        QVERIFY(volume.retryOpen());
        QCOMPARE(volume.WaveVolume(), 5000L);
        QCOMPARE(msg.boxes.size(), 1);
    }

    void missingMasterReadsZeroWithoutABox() {
        FakeMixer mixer;
        mixer.hasElement = false;
        FakePlayer player(mixer);
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        QVERIFY(msg.boxes.isEmpty());
        QCOMPARE(volume.MaxWaveVolume(), 0L);
        QCOMPARE(volume.WaveVolume(), 0L);
        QCOMPARE(volume.WaveMute(), 0L);
        hv::RingRoutine(volume, player, {m_ringFile}).ring();
        QCOMPARE(player.played, QStringList{m_ringFile});
        QCOMPARE(mixer.writes, 0);

        // A volume without a mute switch: not muted, raised and put back.
        FakeMixer noSwitch;
        noSwitch.hasSwitch = false;
        FakePlayer player2(noSwitch);
        hv::clsVolume volume2(noSwitch, msg, "Morvik");
        QCOMPARE(volume2.WaveMute(), 0L);
        hv::RingRoutine(volume2, player2, {m_ringFile}).ring();
        QCOMPARE(player2.volDuring, (std::vector<long>{15000, 15000}));
        QCOMPARE(noSwitch.vol, (std::vector<long>{5000, 5000}));
        QVERIFY(msg.boxes.isEmpty());
    }

    void missingRingFileFallsBackToTheBellThenToATone() {
        const QString missing = m_dir.filePath("no-such-ring.oga");
        for (const bool bellMissing : {false, true}) {
            FakeMixer mixer;
            mixer.muted = {true, true};
            FakePlayer player(mixer);
            ScriptedMessagePort msg;
            hv::clsVolume volume(mixer, msg, "Morvik");
            const QString bell = bellMissing ? m_dir.filePath("no-such-bell.oga") : m_bellFile;
            hv::RingRoutine(volume, player, {missing, bell}).ring();
            QCOMPARE(player.played, QStringList{bellMissing ? QString("tone") : m_bellFile});
            QCOMPARE(player.volDuring, (std::vector<long>{15000, 15000}));
            QCOMPARE(player.mutedDuring, (std::vector<bool>{false, false}));
            QCOMPARE(mixer.vol, (std::vector<long>{5000, 5000}));
            QCOMPARE(mixer.muted, (std::vector<bool>{true, true}));
        }

        // A ring file that is there but not a sound: the bell.
        FakeMixer mixer;
        FakePlayer player(mixer);
        player.undecodable << m_ringFile;
        ScriptedMessagePort msg;
        hv::clsVolume volume(mixer, msg, "Morvik");
        hv::RingRoutine(volume, player, {m_ringFile, m_bellFile}).ring();
        QCOMPARE(player.played, QStringList{m_bellFile});
    }

    void desktopSoundsDecode() {
        const QStringList sounds = hv::RingRoutine::desktopSounds();
        QCOMPARE(sounds.size(), 2);
        for (const QString& path : sounds) {
            QVERIFY2(QFileInfo::exists(path), qPrintable(path + " is missing: install sound-theme-freedesktop"));
            const hv::Sound s = hv::AlsaSoundPlayer::decode(path);
            QVERIFY2(s.frames() > 0, qPrintable(path));
            QVERIFY(s.channels >= 1 && s.rate > 0);
        }
        const hv::Sound ring = hv::AlsaSoundPlayer::decode(sounds[0]);
        QVERIFY2(ring.milliseconds() > 1300 && ring.milliseconds() < 1600,
                 qPrintable(QString::number(ring.milliseconds())));
        QCOMPARE(hv::AlsaSoundPlayer::decode(m_ringFile).frames(), 0L); // not a sound file
        QVERIFY(hv::AlsaSoundPlayer::tone().milliseconds() > 0);
    }
};

QTEST_GUILESS_MAIN(TestRing)
#include "tst_ring.moc"
