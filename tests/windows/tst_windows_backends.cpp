#include "ConnectionString.h"
#include "Ports.h"
#include "SingleInstance.h"
#include "platform/windows/EndpointMixer.h"
#include "platform/windows/SystemSoundPlayer.h"
#include "platform/windows/WindowsRing.h"
#include "reports/ReportFile.h"
#include "ring/RingRoutine.h"
#include "ring/SoundPlayer.h"
#include "ring/clsVolume.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>

#include <windows.h>
// after windows.h, which it needs
#include <endpointvolume.h>

// The Windows backends inside Windows (Wine here): the ring's volume and mute logic over Core
// Audio's endpoint, against a scripted endpoint because Wine does not let a program set the real
// one, then the real endpoint and the system's sound player as far as Wine goes, the session
// mutex and the report file.
namespace {

// An output endpoint as Windows keeps one: a level per channel, the master level being the loudest
// channel, and one mute switch. Setting the master level scales every channel and keeps the
// balance. `wine` makes it answer like Wine's endpoint: channels unknown, nothing settable.
class ScriptedEndpoint : public IAudioEndpointVolume {
public:
    std::vector<float> channels{0.5f, 0.5f};
    BOOL muted = FALSE;
    bool wine = false;

    float master() const { return channels.empty() ? 0 : *std::max_element(channels.begin(), channels.end()); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == __uuidof(IUnknown) || riid == __uuidof(IAudioEndpointVolume)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(IAudioEndpointVolumeCallback*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(IAudioEndpointVolumeCallback*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
        if (wine) return E_NOTIMPL;
        *count = UINT(channels.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID) override {
        if (wine) return E_NOTIMPL;
        if (level < 0 || level > 1) return E_INVALIDARG;
        const float top = master();
        for (float& c : channels)
            c = top > 0 ? c * level / top : level;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* level) override {
        *level = master();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT, float, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, float level, LPCGUID) override {
        if (wine) return E_NOTIMPL;
        if (channel >= channels.size() || level < 0 || level > 1) return E_INVALIDARG;
        channels[channel] = level;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT, float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float* level) override {
        if (wine || channel >= channels.size()) return E_INVALIDARG;
        *level = channels[channel];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID) override {
        if (wine) return E_NOTIMPL;
        muted = mute;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        *mute = muted;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT*, UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetVolumeRange(float*, float*, float*) override { return E_NOTIMPL; }

    ULONG refs = 1;
};

// What the speakers were like while the sound played.
class WitnessPlayer : public hv::SoundPlayer {
public:
    explicit WitnessPlayer(ScriptedEndpoint& e) : endpoint(e) {}
    bool playFile(const QString& path) override {
        played << path;
        levels.push_back(endpoint.channels);
        muted.push_back(endpoint.muted);
        return true;
    }
    void playTone() override { played << QStringLiteral("tone"); }

    ScriptedEndpoint& endpoint;
    QStringList played;
    std::vector<std::vector<float>> levels;
    std::vector<BOOL> muted;
};

class SilentMessages : public hv::MessagePort {
public:
    hv::Answer show(const QString& title, const QString& text, hv::Buttons, hv::Icon) override {
        shown << title + QStringLiteral(": ") + text;
        return hv::Answer::Ok;
    }
    QString input(const QString&, const QString&) override { return {}; }
    QStringList shown;
};

long scale(float level) {
    return hv::EndpointMixer::toScale(level);
}

std::vector<float> levels(std::initializer_list<long> values) {
    std::vector<float> out;
    for (long v : values)
        out.push_back(hv::EndpointMixer::toLevel(v));
    return out;
}

} // namespace

class TestWindowsBackends : public QObject {
    Q_OBJECT

private slots:
    // The ring over a Windows endpoint: the loudest channel raised to the floor with the balance
    // kept, the mute lifted only while the sound plays, and every channel and the mute put back
    // exactly afterwards.
    void ringOverTheEndpoint_data() {
        QTest::addColumn<QList<long>>("before");
        QTest::addColumn<bool>("muted");
        QTest::addColumn<QList<long>>("during");
        QTest::newRow("quiet") << QList<long>{5000, 5000} << false << QList<long>{15000, 15000};
        QTest::newRow("loud enough") << QList<long>{40000, 40000} << false << QList<long>{40000, 40000};
        QTest::newRow("muted and quiet") << QList<long>{5000, 5000} << true << QList<long>{15000, 15000};
        QTest::newRow("balance kept") << QList<long>{10000, 5000} << false << QList<long>{15000, 7500};
        QTest::newRow("silent") << QList<long>{0, 0} << true << QList<long>{15000, 15000};
    }
    void ringOverTheEndpoint() {
        QFETCH(QList<long>, before);
        QFETCH(bool, muted);
        QFETCH(QList<long>, during);

        ScriptedEndpoint endpoint;
        endpoint.channels = levels({before[0], before[1]});
        endpoint.muted = muted;
        const std::vector<float> original = endpoint.channels;
        {
            hv::EndpointMixer mixer(&endpoint);
            SilentMessages msg;
            hv::clsVolume volume(mixer, msg, QStringLiteral("Morvik"));
            QVERIFY(msg.shown.isEmpty());
            QCOMPARE(volume.MinWaveVolume(), 0L);
            QCOMPARE(volume.MaxWaveVolume(), 65535L);
            QCOMPARE(volume.WaveVolume(), std::max(before[0], before[1]));
            QCOMPARE(volume.WaveMute(), muted ? -1L : 0L);

            WitnessPlayer player(endpoint);
            hv::RingRoutine routine(volume, player, {QStringLiteral("C:\\ring.wav")});
            // The file is not there: the routine goes on to the default sound.
            routine.ring();
            QCOMPARE(player.played, QStringList{QStringLiteral("tone")});

            QFile wav(QDir::temp().filePath(QStringLiteral("ring-test.wav")));
            QVERIFY(wav.open(QIODevice::WriteOnly));
            wav.close();
            player.played.clear();
            hv::RingRoutine real(volume, player, {wav.fileName()});
            real.ring();
            QCOMPARE(player.played, QStringList{wav.fileName()});
            QCOMPARE(player.muted.at(0), FALSE);
            QCOMPARE(scale(player.levels.at(0).at(0)), during[0]);
            QCOMPARE(scale(player.levels.at(0).at(1)), during[1]);
            wav.remove();
        }
        QCOMPARE(endpoint.channels, original);
        QCOMPARE(endpoint.muted, muted ? TRUE : FALSE);
        QCOMPARE(endpoint.refs, ULONG(1)); // the mixer let go of the endpoint
    }

    // Wine's endpoint reads its master level and mute but sets nothing and names no channels:
    // the ring still plays, and nothing breaks on the way.
    void ringOverAnEndpointThatSetsNothing() {
        ScriptedEndpoint endpoint;
        endpoint.wine = true;
        endpoint.channels = levels({5000, 5000});
        endpoint.muted = TRUE;
        hv::EndpointMixer mixer(&endpoint);
        SilentMessages msg;
        hv::clsVolume volume(mixer, msg, QStringLiteral("Morvik"));
        QCOMPARE(volume.WaveVolume(), 5000L);
        QCOMPARE(volume.WaveMute(), -1L);
        WitnessPlayer player(endpoint);
        QFile wav(QDir::temp().filePath(QStringLiteral("ring-test.wav")));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.close();
        hv::RingRoutine(volume, player, {wav.fileName()}).ring();
        wav.remove();
        QCOMPARE(player.played.size(), 1);
        QCOMPARE(endpoint.channels, levels({5000, 5000}));
    }

    // The system's own endpoint under Wine: found, on the 0–65535 scale, readable.
    void realEndpoint() {
        hv::EndpointMixer mixer;
        QVERIFY2(mixer.open(), "no default audio output endpoint: is the audio server running?");
        long min = -1, max = -1;
        QVERIFY(mixer.volumeRange(&min, &max));
        QCOMPARE(min, 0L);
        QCOMPARE(max, 65535L);
        const std::vector<long> v = mixer.volumes();
        QVERIFY(!v.empty());
        for (long level : v)
            QVERIFY(level >= 0 && level <= 65535);
        QCOMPARE(mixer.mutes().size(), size_t(1));
        mixer.close();
    }

    // The ring sounds: Windows' own first, then the one installed beside the program; the shipped
    // one plays to its end through the system's player.
    void systemSound() {
        const QStringList sounds = hv::WindowsRing::sounds();
        QCOMPARE(sounds.size(), 2);
        QCOMPARE(QDir::toNativeSeparators(sounds[0]).toLower(), QStringLiteral("c:\\windows\\media\\ringin.wav"));
        QCOMPARE(QFileInfo(sounds[1]).fileName(), QStringLiteral("ring.wav"));

        const QString ring = qEnvironmentVariable("HALVANE_RING_WAV");
        QVERIFY2(QFileInfo(ring).isFile(),
                 qPrintable(QStringLiteral("no ring sound at \"%1\" (HALVANE_RING_WAV)").arg(ring)));
        const int ms = hv::SystemSoundPlayer::wavMilliseconds(ring);
        QVERIFY2(ms > 1000 && ms < 2000, qPrintable(QString::number(ms))); // the 1.46 s incoming-call sound
        QCOMPARE(hv::SystemSoundPlayer::wavMilliseconds(QCoreApplication::applicationFilePath()), -1);
        hv::SystemSoundPlayer player;
        QVERIFY(!player.playFile(QCoreApplication::applicationFilePath()));
        QVERIFY(player.playFile(ring));
        QVERIFY(hv::SystemSoundPlayer::idle());
    }

    // A native 64-bit program is not under WOW64: the plain prefix.
    void connectionStringOfA64BitProgram() {
        QVERIFY(!hv::fncIs64BitWindows());
        QVERIFY(hv::fncConnectionString(QStringLiteral("db"))
                    .startsWith(QStringLiteral("Driver={MySQL ODBC 5.1 Driver};Server=db;Port=3306;")));
    }

    // The session mutex: the first holder wins, a second is refused, and the name is free again
    // once the first lets go.
    void singleInstance() {
        auto first = std::make_unique<hv::SingleInstance>(QStringLiteral("backends-test"));
        QVERIFY(first->isFirst());
        QVERIFY(!hv::SingleInstance(QStringLiteral("backends-test")).isFirst());
        QVERIFY(hv::SingleInstance(QStringLiteral("other-test")).isFirst());
        first.reset();
        QVERIFY(hv::SingleInstance(QStringLiteral("backends-test")).isFirst());
    }

    // The report file in the folder that "Temp" names: CR LF lines, emptied by the next report.
    void reportFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        qputenv("Temp", QDir::toNativeSeparators(dir.path()).toLocal8Bit());
        QCOMPARE(hv::ReportFile::path(), QDir::toNativeSeparators(dir.path()) + QStringLiteral("\\report.txt"));
        {
            hv::ReportFile f;
            f.writeLine(QStringLiteral("first line"));
            f.writeLine(QStringLiteral("Ärger"));
            f.close();
        }
        QFile r(hv::ReportFile::path());
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), QByteArray("first line\r\n\xC3\x84rger\r\n"));
        r.close();
        {
            hv::ReportFile f;
            f.writeLine(QStringLiteral("x"));
        }
        QVERIFY(r.open(QIODevice::ReadOnly));
        QCOMPARE(r.readAll(), QByteArray("x\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestWindowsBackends)
#include "tst_windows_backends.moc"
