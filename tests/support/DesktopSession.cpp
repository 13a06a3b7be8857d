#include "DesktopSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <signal.h>
#include <sys/types.h>

namespace {

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        if (condition()) return true;
        QThread::msleep(50);
    }
    return condition();
}

bool haveProgram(const QString& name, QString* error) {
    if (!QStandardPaths::findExecutable(name).isEmpty()) return true;
    *error = QStringLiteral("%1 is not installed (run scripts/setup)").arg(name);
    return false;
}

} // namespace

DesktopSession::DesktopSession(Options options) : m_options(options) {}

DesktopSession::~DesktopSession() {
    stopAll();
}

QProcessEnvironment DesktopSession::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", m_display);
    env.insert("XDG_RUNTIME_DIR", m_dir.path());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("WAYLAND_DISPLAY");
    if (m_options.audio) {
        env.insert("PULSE_SERVER", "unix:" + m_dir.filePath("pulse/native"));
        env.insert("PULSE_RUNTIME_PATH", m_dir.filePath("pulse"));
    }
    return env;
}

QProcess* DesktopSession::startDaemon(const QString& program, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment());
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start(program, args);
    if (!p->waitForStarted(10000)) return nullptr;
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

QProcess* DesktopSession::launch(const QString& program, const QStringList& args, const QProcessEnvironment& extra) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    for (const QString& k : extra.keys())
        env.insert(k, extra.value(k));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    p->start(program, args);
    if (!p->waitForStarted(10000)) return nullptr;
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

bool DesktopSession::start(QString* error) {
    if (!m_dir.isValid()) {
        *error = "cannot create a temporary folder";
        return false;
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!haveProgram("Xvfb", error) || (m_options.windowManager && !haveProgram("openbox", error)) ||
        (m_options.trayHost && !haveProgram("trayer", error)) ||
        (m_options.audio && !haveProgram("pulseaudio", error)) || (m_options.audio && !haveProgram("pactl", error)))
        return false;

    // A display number nobody else on this machine uses.
    for (int attempt = 0; attempt < 50 && m_display.isEmpty(); ++attempt) {
        const int n = 100 + int(QRandomGenerator::global()->bounded(800));
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_display = QStringLiteral(":%1").arg(n);
        const QString screen = QStringLiteral("%1x%2x24").arg(m_options.screen.width()).arg(m_options.screen.height());
        QProcess* x = startDaemon("Xvfb", {m_display, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        if (!x || !waitFor([&] { return QFile::exists(socket) || x->state() == QProcess::NotRunning; }, 10000) ||
            x->state() == QProcess::NotRunning) {
            m_processes.clear();
            m_display.clear();
        }
    }
    if (m_display.isEmpty()) {
        *error = "Xvfb did not start on any free display";
        return false;
    }
    // The server answers once xdpyinfo can talk to it.
    if (!waitFor(
            [&] {
                int rc = -1;
                run("xdpyinfo", {}, &rc, 5000);
                return rc == 0;
            },
            10000)) {
        *error = "the X server did not answer";
        return false;
    }
    if (m_options.windowManager) {
        if (!startDaemon("openbox", {"--sm-disable"})) {
            *error = "openbox did not start";
            return false;
        }
        waitFor([&] { return run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id"); }, 10000);
    }
    if (m_options.trayHost) {
        if (!startDaemon("trayer", {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                                    "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "true"})) {
            *error = "trayer did not start";
            return false;
        }
        waitFor(
            [&] {
                return run("xprop", {"-root", "-notype"}).contains("_NET_SYSTEM_TRAY_S0") ||
                       !run("xdotool", {"search", "--class", "trayer"}).isEmpty();
            },
            10000);
    }
    if (m_options.audio) {
        QDir().mkpath(m_dir.filePath("pulse"));
        QFile pa(m_dir.filePath("test.pa"));
        if (!pa.open(QIODevice::WriteOnly)) {
            *error = "cannot write the audio server's configuration";
            return false;
        }
        pa.write(QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                                "load-module module-null-sink sink_name=test_sink norewinds=1\n"
                                "set-default-sink test_sink\n")
                     .arg(m_dir.filePath("pulse/native"))
                     .toUtf8());
        pa.close();
        m_audioServer = startDaemon("pulseaudio", {"-n", "-F", pa.fileName(), "--daemonize=no", "--exit-idle-time=-1",
                                                   "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr",
                                                   "--log-level=error"});
        if (!m_audioServer) {
            *error = "pulseaudio did not start";
            return false;
        }
        if (!waitFor(
                [&] {
                    int rc = -1;
                    run("pactl", {"info"}, &rc, 3000);
                    return rc == 0;
                },
                15000)) {
            *error = "the audio server did not answer pactl";
            return false;
        }
    }
    return true;
}

QString DesktopSession::run(const QString& program, const QStringList& args, int* exitCode, int timeoutMs) const {
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        if (exitCode) *exitCode = -1;
        return {};
    }
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

bool DesktopSession::screenshot(const QString& pngPath) const {
    int rc = -1;
    run("import", {"-window", "root", pngPath}, &rc, 30000);
    return rc == 0 && QFileInfo(pngPath).size() > 0;
}

bool DesktopSession::startRecording(const QString& wavPath) {
    stopRecording();
    m_recorder = startDaemon(
        "parecord", {"--device=test_sink.monitor", "--file-format=wav", "--rate=44100", "--channels=2", wavPath});
    // Give the stream a moment to connect so that the first samples are not lost.
    QThread::msleep(300);
    return m_recorder != nullptr;
}

void DesktopSession::stopRecording() {
    if (!m_recorder) return;
    m_recorder->terminate();
    m_recorder->waitForFinished(5000);
    m_recorder = nullptr;
}

double DesktopSession::peakDb(const QString& wavPath, double fromSeconds, double lengthSeconds) {
    QStringList args{wavPath, "-n"};
    if (fromSeconds > 0 || lengthSeconds > 0) {
        args << "trim" << QString::number(fromSeconds);
        if (lengthSeconds > 0) args << QString::number(lengthSeconds);
    }
    args << "stats";
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("sox", args);
    if (!p.waitForFinished(30000)) return -1000;
    const QString out = QString::fromLocal8Bit(p.readAll());
    const QRegularExpression re(QStringLiteral("Pk lev dB\\s+(-?[0-9.]+|-inf)"));
    const auto m = re.match(out);
    if (!m.hasMatch() || m.captured(1) == "-inf") return -1000;
    return m.captured(1).toDouble();
}

int DesktopSession::sinkVolume() const {
    const QString out = run("pactl", {"get-sink-volume", "test_sink"});
    const auto m = QRegularExpression(QStringLiteral("front-left:\\s*(\\d+)")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool DesktopSession::sinkMuted() const {
    return run("pactl", {"get-sink-mute", "test_sink"}).contains("yes");
}

bool DesktopSession::setSinkVolume(int value) const {
    int rc = -1;
    run("pactl", {"set-sink-volume", "test_sink", QString::number(value)}, &rc);
    return rc == 0;
}

bool DesktopSession::setSinkMuted(bool muted) const {
    int rc = -1;
    run("pactl", {"set-sink-mute", "test_sink", muted ? "1" : "0"}, &rc);
    return rc == 0;
}

bool DesktopSession::pauseAudioServer(bool paused) const {
    if (!m_audioServer || m_audioServer->state() != QProcess::Running) return false;
    return ::kill(pid_t(m_audioServer->processId()), paused ? SIGSTOP : SIGCONT) == 0;
}

void DesktopSession::stopAll() {
    stopRecording();
    // A frozen server would not stop on SIGTERM.
    pauseAudioServer(false);
    // Newest first: clients before the servers they talk to.
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        QProcess* p = it->get();
        if (p->state() == QProcess::NotRunning) continue;
        p->terminate();
        if (!p->waitForFinished(3000)) {
            p->kill();
            p->waitForFinished(2000);
        }
    }
    m_processes.clear();
    m_audioServer = nullptr;
}
