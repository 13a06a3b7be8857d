#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

// The one test desktop of the suite, started by the test itself: an X server (Xvfb) on a free
// display, optionally a window manager (openbox), a tray host (trayer), a headless PulseAudio with
// a null sink whose monitor can be recorded, and a CUPS server of its own whose default queue
// prints to PDF files. Every part writes to its own log file, never to the test's output (CTest
// waits for that pipe to close), and is killed by the kernel when the test process dies, even by
// SIGKILL, so that nothing outlives the test. Everything stops with the object.
class DesktopSession {
public:
    struct Options {
        QSize screen{1280, 800};
        bool windowManager = true;
        bool trayHost = false;
        bool audio = false;
        bool printServer = false;
        // More than one monitor (each a geometry on the one X screen): the desktop then runs Xorg
        // with the dummy video driver, whose virtual outputs Qt sees as separate screens, where
        // Xvfb would give it one.
        QList<QRect> monitors;
    };

    explicit DesktopSession(Options options);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts the parts asked for. On failure the reason names the part that did not start and
    // where its log is kept (the logs then outlive the session).
    bool start(QString* error);

    // For a test whose own application is to live on this desktop: starts it and points this
    // process at it (DISPLAY, XDG_RUNTIME_DIR, the audio and print servers, QT_QPA_PLATFORM=xcb).
    // Call before the QApplication is made; on failure prints the reason and returns false.
    bool startForThisProcess();

    QString display() const { return m_display; }
    QString runtimeDir() const { return m_dir.path(); }
    QString logDir() const { return m_dir.filePath(QStringLiteral("logs")); }
    // The print server's socket (CUPS_SERVER) and its default queue, when asked for.
    QString cupsServer() const;
    static QString printQueue() { return QStringLiteral("HALVANEPDF"); }
    // The processes of the desktop's servers, for tests of the session itself.
    QList<qint64> serverPids() const;

    // DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER, CUPS_SERVER and QT_QPA_PLATFORM=xcb for programs run
    // on this desktop.
    QProcessEnvironment environment() const;

    // Runs a command on this desktop and returns its standard output (trimmed).
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr, int timeoutMs = 30000) const;
    // Starts a long-running program on this desktop; the session stops it at the end and it dies
    // with the test.
    QProcess* launch(const QString& program, const QStringList& args, const QProcessEnvironment& extra = {});

    bool screenshot(const QString& pngPath) const;

    // Recording of everything that reaches the null sink, as a WAV file.
    bool startRecording(const QString& wavPath);
    void stopRecording();
    // Peak level of a recording in dBFS (sox), or a very low number for silence.
    static double peakDb(const QString& wavPath, double fromSeconds = 0, double lengthSeconds = -1);

    // The master volume and mute of the sink as pactl reports them (0..65536).
    int sinkVolume() const;
    bool sinkMuted() const;
    bool setSinkVolume(int value) const;
    bool setSinkMuted(bool muted) const;
    // Freezes or thaws the audio server (SIGSTOP/SIGCONT), as a hung server would behave.
    bool pauseAudioServer(bool paused) const;

private:
    // A server of the desktop: its output goes to logs/<name>.log.
    QProcess* startDaemon(const QString& name, const QString& program, const QStringList& args);
    bool fail(QString* error, const QString& what, const QString& logName);
    bool startX(QString* error);
    bool startXorg(QString* error);
    bool waitForX(QString* error, const QString& logName);
    bool startWindowManager(QString* error);
    bool startTrayHost(QString* error);
    bool startAudio(QString* error);
    bool startPrintServer(QString* error);
    void stopAll();

    Options m_options;
    QTemporaryDir m_dir;
    // The print server's files: its filters run as lp and must reach them, so they cannot live
    // in the runtime folder, which must be private to the user.
    std::unique_ptr<QTemporaryDir> m_printDir;
    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess* m_recorder = nullptr;
    QProcess* m_audioServer = nullptr;
};
