#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class DesktopSession;

// The Windows side of the windows tier: the output of scripts/build-windows, the Wine prefix the
// tier made, and Windows programs run in it on a test desktop. Wine's own processes (its server,
// the desktop process that hosts the tray icons) outlive the programs and belong to the display
// they started on, so every test ends them when it ends.
class WineSession {
public:
    WineSession();
    ~WineSession();
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    // False with a reason when the Windows build, the installer, the prefix or Wine is missing.
    bool ready(QString* why) const;

    QString buildDir() const { return m_build; }
    QString distDir() const { return m_build + QStringLiteral("/dist"); }
    QString installer() const;
    QString prefix() const { return m_prefix; }
    // The installation folder inside the prefix, as Linux sees it.
    QString installDir() const { return m_prefix + QStringLiteral("/drive_c/Program Files/Halvane"); }
    QString startMenuDir() const;
    // A Linux path as Windows programs under Wine see it.
    static QString windowsPath(const QString& unixPath);

    // The environment of a Windows program on that desktop (or without one).
    QProcessEnvironment environment(const DesktopSession* desk) const;

    // Runs a Windows program (or a command of Wine's, such as "reg") to its end; its exit code, or
    // -1 when it did not end within the time. Output goes to the log, stdout into *output.
    int run(const DesktopSession* desk, const QStringList& args, int timeoutMs = 120000, QString* output = nullptr);
    // Starts a Windows program that keeps running; the session ends it.
    QProcess* start(const DesktopSession* desk, const QStringList& args);

    // Ends every Windows program and Wine's server for the prefix.
    void stopAll();
    QString logPath() const { return m_build + QStringLiteral("/wine-programs.log"); }

private:
    QString m_build;
    QString m_prefix;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};
