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
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

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
    *error = QStringLiteral("the test desktop could not start: %1 is not installed (run scripts/setup)").arg(name);
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
    if (m_printDir) env.insert("CUPS_SERVER", cupsServer());
    return env;
}

namespace {

// The kernel kills a child when the test process dies, whatever the way it died, so that no
// server of the desktop outlives the test and holds its files, ports or CTest's output pipe.
void dieWithParent(QProcess& p) {
    const pid_t parent = getpid();
    p.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127); // the parent died before the line above
    });
}

QString lastLines(const QString& path, int count) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QStringList lines = QString::fromLocal8Bit(f.readAll()).trimmed().split(u'\n');
    return lines.mid(qMax(0, lines.size() - count)).join(QStringLiteral(" | "));
}

bool writeFile(const QString& path, const QString& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

QString DesktopSession::cupsServer() const {
    return m_printDir ? m_printDir->filePath(QStringLiteral("cups.sock")) : QString();
}

QList<qint64> DesktopSession::serverPids() const {
    QList<qint64> pids;
    for (const auto& p : m_processes)
        if (p->state() != QProcess::NotRunning) pids << p->processId();
    return pids;
}

QProcess* DesktopSession::startDaemon(const QString& name, const QString& program, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment());
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setStandardInputFile(QProcess::nullDevice());
    p->setStandardOutputFile(QDir(logDir()).filePath(name + QStringLiteral(".log")), QIODevice::Append);
    dieWithParent(*p);
    p->start(program, args);
    if (!p->waitForStarted(10000)) return nullptr;
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

bool DesktopSession::fail(QString* error, const QString& what, const QString& logName) {
    // The logs are what tells why: they stay after the session.
    m_dir.setAutoRemove(false);
    if (m_printDir) m_printDir->setAutoRemove(false);
    QString log = QDir(logDir()).filePath(logName + QStringLiteral(".log"));
    if (logName == QLatin1String("cupsd") && m_printDir) log = m_printDir->filePath(QStringLiteral("log/error_log"));
    *error = QStringLiteral("the test desktop could not start: %1 (log: %2)").arg(what, log);
    const QString tail = lastLines(log, 5);
    if (!tail.isEmpty()) *error += QStringLiteral(": ") + tail;
    return false;
}

QProcess* DesktopSession::launch(const QString& program, const QStringList& args, const QProcessEnvironment& extra) {
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = environment();
    for (const QString& k : extra.keys())
        env.insert(k, extra.value(k));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedChannels);
    dieWithParent(*p);
    p->start(program, args);
    if (!p->waitForStarted(10000)) return nullptr;
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

bool DesktopSession::startForThisProcess() {
    QString why;
    if (!start(&why)) {
        fprintf(stderr, "FAIL! : %s\n", qPrintable(why));
        return false;
    }
    const QProcessEnvironment env = environment();
    for (const char* name :
         {"DISPLAY", "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM", "PULSE_SERVER", "PULSE_RUNTIME_PATH", "CUPS_SERVER"}) {
        const QString key = QString::fromLatin1(name);
        if (env.contains(key)) qputenv(name, env.value(key).toLocal8Bit());
    }
    qunsetenv("WAYLAND_DISPLAY");
    return true;
}

bool DesktopSession::start(QString* error) {
    if (!m_dir.isValid()) {
        *error = "the test desktop could not start: cannot create a temporary folder";
        return false;
    }
    QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir().mkpath(logDir());
    if (!haveProgram("Xvfb", error) || !haveProgram("xdpyinfo", error) ||
        (m_options.windowManager && !haveProgram("openbox", error)) ||
        (m_options.trayHost && !haveProgram("trayer", error)) ||
        (m_options.audio && !haveProgram("pulseaudio", error)) || (m_options.audio && !haveProgram("pactl", error)) ||
        (m_options.printServer && !haveProgram("lpadmin", error)) ||
        (m_options.printServer && !haveProgram("lpstat", error)))
        return false;
    return startX(error) && (!m_options.windowManager || startWindowManager(error)) &&
           (!m_options.trayHost || startTrayHost(error)) && (!m_options.audio || startAudio(error)) &&
           (!m_options.printServer || startPrintServer(error));
}

bool DesktopSession::startX(QString* error) {
    if (m_options.monitors.size() > 1) return startXorg(error);
    // A display number nobody else on this machine uses. The number is chosen here rather than
    // through -displayfd: the server writes the number and its newline separately and dies when
    // its reader has gone in between.
    const QString screen = QStringLiteral("%1x%2x24").arg(m_options.screen.width()).arg(m_options.screen.height());
    for (int attempt = 0; attempt < 50 && m_display.isEmpty(); ++attempt) {
        const int n = 100 + int(QRandomGenerator::global()->bounded(800));
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_display = QStringLiteral(":%1").arg(n);
        QProcess* x = startDaemon("Xvfb", "Xvfb", {m_display, "-screen", "0", screen, "-nolisten", "tcp", "-noreset"});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        if (!x || !waitFor([&] { return QFile::exists(socket) || x->state() == QProcess::NotRunning; }, 10000) ||
            x->state() == QProcess::NotRunning) {
            // Another test took the same number at the same moment: try another.
            if (x) {
                x->kill();
                x->waitForFinished(2000);
                m_processes.pop_back();
            }
            m_display.clear();
        }
    }
    if (m_display.isEmpty()) return fail(error, "Xvfb did not start on any free display", "Xvfb");
    return waitForX(error, "Xvfb");
}

bool DesktopSession::waitForX(QString* error, const QString& logName) {
    // The server answers once xdpyinfo can talk to it.
    if (!waitFor(
            [&] {
                int rc = -1;
                run("xdpyinfo", {}, &rc, 5000);
                return rc == 0;
            },
            10000))
        return fail(error, "the X server " + m_display + " did not answer xdpyinfo", logName);
    return true;
}

bool DesktopSession::startXorg(QString* error) {
    if (!QFileInfo::exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"))
        return fail(error, "Xorg's dummy video driver is missing (package xserver-xorg-video-dummy)", "Xorg");
    QString err;
    if (!haveProgram("Xorg", &err) || !haveProgram("xrandr", &err) || !haveProgram("cvt", &err)) {
        *error = err;
        return false;
    }
    QRect all;
    for (const QRect& m : std::as_const(m_options.monitors))
        all |= m;
    // Input devices are left out: a test desktop has none, and probing for them needs udev.
    const QString conf = m_dir.filePath("xorg.conf");
    if (!writeFile(conf, QStringLiteral("Section \"ServerFlags\"\n  Option \"AutoAddDevices\" \"false\"\n"
                                        "  Option \"AutoEnableDevices\" \"false\"\nEndSection\n"
                                        "Section \"Device\"\n  Identifier \"dummy\"\n  Driver \"dummy\"\n"
                                        "  VideoRam 512000\nEndSection\n"
                                        "Section \"Monitor\"\n  Identifier \"monitor\"\n  HorizSync 5.0-1000.0\n"
                                        "  VertRefresh 5.0-200.0\nEndSection\n"
                                        "Section \"Screen\"\n  Identifier \"screen\"\n  Device \"dummy\"\n"
                                        "  Monitor \"monitor\"\n  DefaultDepth 24\n  SubSection \"Display\"\n"
                                        "    Depth 24\n    Virtual %1 %2\n  EndSubSection\nEndSection\n")
                             .arg(all.right() + 1)
                             .arg(all.bottom() + 1)))
        return fail(error, "cannot write the X server's configuration", "Xorg");
    for (int attempt = 0; attempt < 50 && m_display.isEmpty(); ++attempt) {
        const int n = 100 + int(QRandomGenerator::global()->bounded(800));
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_display = QStringLiteral(":%1").arg(n);
        QProcess* x = startDaemon("Xorg", "Xorg",
                                  {m_display, "-config", conf, "-noreset", "-nolisten", "tcp", "-novtswitch",
                                   "-sharevts", "-logfile", QDir(logDir()).filePath("Xorg.server.log")});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X%1").arg(n);
        if (!x || !waitFor([&] { return QFile::exists(socket) || x->state() == QProcess::NotRunning; }, 15000) ||
            x->state() == QProcess::NotRunning) {
            if (x) {
                x->kill();
                x->waitForFinished(2000);
                m_processes.pop_back();
            }
            m_display.clear();
        }
    }
    if (m_display.isEmpty()) return fail(error, "Xorg did not start on any free display", "Xorg");
    if (!waitForX(error, "Xorg")) return false;
    // One virtual output of the dummy driver per monitor, each with a mode of its size.
    for (int i = 0; i < m_options.monitors.size(); ++i) {
        const QRect m = m_options.monitors[i];
        const QString output = QStringLiteral("DUMMY%1").arg(i);
        const QString mode = QStringLiteral("hv%1x%2").arg(m.width()).arg(m.height());
        const QString modeline = run("cvt", {QString::number(m.width()), QString::number(m.height())});
        const qsizetype at = modeline.indexOf(QLatin1String("Modeline"));
        QStringList params = modeline.mid(at).split(u' ', Qt::SkipEmptyParts).mid(2);
        int rc = -1;
        run("xrandr", QStringList{"--newmode", mode} + params, &rc); // fails harmlessly when it exists
        run("xrandr", {"--addmode", output, mode}, &rc);
        if (at < 0 || rc != 0) return fail(error, "xrandr could not give " + output + " the mode " + mode, "Xorg");
        run("xrandr", {"--output", output, "--mode", mode, "--pos", QStringLiteral("%1x%2").arg(m.x()).arg(m.y())},
            &rc);
        if (rc != 0) return fail(error, "xrandr could not place " + output, "Xorg");
    }
    if (!waitFor(
            [&] {
                return run("xrandr", {"--listmonitors"})
                    .startsWith(QStringLiteral("Monitors: %1").arg(m_options.monitors.size()));
            },
            5000))
        return fail(error, "the X server does not show the monitors asked for", "Xorg");
    return true;
}

bool DesktopSession::startWindowManager(QString* error) {
    QProcess* wm = startDaemon("openbox", "openbox", {"--sm-disable"});
    if (!wm) return fail(error, "openbox could not be run", "openbox");
    if (!waitFor(
            [&] {
                return wm->state() == QProcess::NotRunning ||
                       run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id");
            },
            10000) ||
        wm->state() == QProcess::NotRunning)
        return fail(error, "the window manager openbox did not come up", "openbox");
    return true;
}

bool DesktopSession::startTrayHost(QString* error) {
    QProcess* tray = startDaemon("trayer", "trayer",
                                 {"--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
                                  "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "true"});
    if (!tray) return fail(error, "trayer could not be run", "trayer");
    if (!waitFor(
            [&] {
                return tray->state() == QProcess::NotRunning ||
                       run("xprop", {"-root", "-notype"}).contains("_NET_SYSTEM_TRAY_S0") ||
                       !run("xdotool", {"search", "--class", "trayer"}).isEmpty();
            },
            10000) ||
        tray->state() == QProcess::NotRunning)
        return fail(error, "the tray host trayer did not come up", "trayer");
    return true;
}

bool DesktopSession::startAudio(QString* error) {
    QDir().mkpath(m_dir.filePath("pulse"));
    if (!writeFile(m_dir.filePath("test.pa"),
                   QStringLiteral("load-module module-native-protocol-unix auth-anonymous=1 socket=%1\n"
                                  "load-module module-null-sink sink_name=test_sink norewinds=1\n"
                                  "set-default-sink test_sink\n")
                       .arg(m_dir.filePath("pulse/native"))))
        return fail(error, "cannot write the audio server's configuration", "pulseaudio");
    m_audioServer = startDaemon("pulseaudio", "pulseaudio",
                                {"-n", "-F", m_dir.filePath("test.pa"), "--daemonize=no", "--exit-idle-time=-1",
                                 "--use-pid-file=no", "--disable-shm=yes", "--log-target=stderr", "--log-level=error"});
    if (!m_audioServer) return fail(error, "pulseaudio could not be run", "pulseaudio");
    if (!waitFor(
            [&] {
                int rc = -1;
                run("pactl", {"info"}, &rc, 3000);
                return rc == 0 || m_audioServer->state() == QProcess::NotRunning;
            },
            15000) ||
        m_audioServer->state() == QProcess::NotRunning)
        return fail(error, "the audio server pulseaudio did not answer pactl", "pulseaudio");
    return true;
}

bool DesktopSession::startPrintServer(QString* error) {
    if (!QFileInfo::exists("/usr/sbin/cupsd") || !QFileInfo::exists("/usr/lib/cups/backend/cups-pdf"))
        return fail(error, "cupsd or the cups-pdf backend is missing (packages cups, printer-driver-cups-pdf)",
                    "cupsd");
    m_printDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/hv-cups-XXXXXX");
    if (!m_printDir->isValid()) return fail(error, "cannot create the print server's folder", "cupsd");
    const QString d = m_printDir->path();
    QFile::setPermissions(d, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                 QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                 QFileDevice::ExeOther);
    for (const char* sub : {"etc/ppd", "spool/tmp", "cache", "state", "log"})
        QDir(d).mkpath(QString::fromLatin1(sub));
    const bool written =
        writeFile(d + "/cups-files.conf",
                  QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\nTempDir %1/spool/tmp\nCacheDir %1/cache\n"
                                 "StateDir %1/state\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                                 "PageLog %1/log/page_log\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n"
                                 "User lp\nGroup lp\nSystemGroup root\nFileDevice no\nSandboxing Relaxed\n")
                      .arg(d)) &&
        writeFile(d + "/cupsd.conf",
                  QStringLiteral("Listen %1/cups.sock\nLogLevel warn\nWebInterface no\nBrowsing No\n"
                                 "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                 "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                      .arg(d));
    if (!written) return fail(error, "cannot write the print server's configuration", "cupsd");
    QProcess* cupsd =
        startDaemon("cupsd", "/usr/sbin/cupsd", {"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
    if (!cupsd) return fail(error, "cupsd could not be run", "cupsd");
    if (!waitFor([&] { return cupsd->state() == QProcess::NotRunning || run("lpstat", {"-r"}).contains("is running"); },
                 10000) ||
        cupsd->state() == QProcess::NotRunning)
        return fail(error, "the print server cupsd did not answer lpstat", "cupsd");
    int rc = -1;
    run("lpadmin", {"-p", printQueue(), "-E", "-v", "cups-pdf:/", "-P", "/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"},
        &rc);
    if (rc == 0) run("lpadmin", {"-d", printQueue()}, &rc);
    if (rc != 0) return fail(error, "lpadmin could not add the cups-pdf queue " + printQueue(), "cupsd");
    return true;
}

QString DesktopSession::run(const QString& program, const QStringList& args, int* exitCode, int timeoutMs) const {
    QProcess p;
    p.setProcessEnvironment(environment());
    dieWithParent(p);
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
    m_recorder =
        startDaemon("parecord", "parecord",
                    {"--device=test_sink.monitor", "--file-format=wav", "--rate=44100", "--channels=2", wavPath});
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
