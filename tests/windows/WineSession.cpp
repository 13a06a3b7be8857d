#include "WineSession.h"

#include "DesktopSession.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

WineSession::WineSession()
    : m_build(qEnvironmentVariable("HALVANE_WINDOWS_BUILD")), m_prefix(qEnvironmentVariable("WINEPREFIX")) {}

WineSession::~WineSession() {
    stopAll();
}

QString WineSession::installer() const {
    const QStringList found =
        QDir(m_build).entryList({QStringLiteral("halvane-setup-*.exe")}, QDir::Files, QDir::Name | QDir::Reversed);
    return found.isEmpty() ? QString() : QDir(m_build).filePath(found.first());
}

QString WineSession::startMenuDir() const {
    return m_prefix + QStringLiteral("/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs");
}

QString WineSession::windowsPath(const QString& unixPath) {
    return QStringLiteral("Z:") + QDir::toNativeSeparators(QFileInfo(unixPath).absoluteFilePath()).replace(u'/', u'\\');
}

bool WineSession::ready(QString* why) const {
    if (QStandardPaths::findExecutable(QStringLiteral("wine")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("wineserver")).isEmpty()) {
        *why = QStringLiteral("Wine is not installed (Debian packages wine and wine64); run scripts/setup-windows");
        return false;
    }
    if (m_build.isEmpty() || m_prefix.isEmpty()) {
        *why =
            QStringLiteral("HALVANE_WINDOWS_BUILD or WINEPREFIX is not set; run the tier through scripts/test-windows");
        return false;
    }
    if (installer().isEmpty() || !QFileInfo::exists(distDir() + QStringLiteral("/Morvik.exe"))) {
        *why = QStringLiteral("no Windows build in %1; scripts/build-windows makes it").arg(m_build);
        return false;
    }
    if (!QFileInfo::exists(m_prefix + QStringLiteral("/system.reg"))) {
        *why = QStringLiteral("no Wine prefix at %1; the windows_prefix test makes it").arg(m_prefix);
        return false;
    }
    return true;
}

QProcessEnvironment WineSession::environment(const DesktopSession* desk) const {
    QProcessEnvironment env = desk ? desk->environment() : QProcessEnvironment::systemEnvironment();
    if (!desk) env.remove(QStringLiteral("DISPLAY"));
    // Wine hands the Linux environment to Windows programs: Qt there must pick its own platform.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));
    env.remove(QStringLiteral("QTEST_FUNCTION_TIMEOUT"));
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    return env;
}

int WineSession::run(const DesktopSession* desk, const QStringList& args, int timeoutMs, QString* output) {
    QProcess p;
    p.setProcessEnvironment(environment(desk));
    // Wine's server outlives the program; it must not hold a pipe that the test waits on.
    if (!output) p.setStandardOutputFile(logPath(), QIODevice::Append);
    p.setStandardErrorFile(logPath(), QIODevice::Append);
    p.start(QStringLiteral("wine"), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (output) *output = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QProcess* WineSession::start(const DesktopSession* desk, const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment(desk));
    p->setStandardOutputFile(logPath(), QIODevice::Append);
    p->setStandardErrorFile(logPath(), QIODevice::Append);
    p->start(QStringLiteral("wine"), args);
    if (!p->waitForStarted(10000)) return nullptr;
    m_processes.push_back(std::move(p));
    return m_processes.back().get();
}

void WineSession::stopAll() {
    for (auto& p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    m_processes.clear();
    if (m_prefix.isEmpty()) return;
    QProcess k;
    k.setProcessEnvironment(environment(nullptr));
    k.setStandardOutputFile(QProcess::nullDevice());
    k.setStandardErrorFile(QProcess::nullDevice());
    k.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    k.waitForFinished(10000);
    k.start(QStringLiteral("wineserver"), {QStringLiteral("-w")});
    k.waitForFinished(10000);
}
