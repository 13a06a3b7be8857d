#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

// A real desktop for end-to-end tests, started by the test itself: an X server (Xvfb) on a free
// display, optionally a window manager (openbox), a tray host (trayer) and a headless PulseAudio
// with a null sink whose monitor can be recorded. Everything stops with the object.
class DesktopSession {
public:
    struct Options {
        QSize screen{1280, 800};
        bool windowManager = true;
        bool trayHost = false;
        bool audio = false;
    };

    explicit DesktopSession(Options options);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts the parts asked for; false with a reason when the machine lacks one.
    bool start(QString* error);

    QString display() const { return m_display; }
    QString runtimeDir() const { return m_dir.path(); }
    // DISPLAY, XDG_RUNTIME_DIR, PULSE_SERVER and QT_QPA_PLATFORM=xcb for programs run on this desktop.
    QProcessEnvironment environment() const;

    // Runs a command on this desktop and returns its standard output (trimmed).
    QString run(const QString& program, const QStringList& args, int* exitCode = nullptr, int timeoutMs = 30000) const;
    // Starts a long-running program on this desktop; the session stops it at the end.
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
    QProcess* startDaemon(const QString& program, const QStringList& args);
    void stopAll();

    Options m_options;
    QTemporaryDir m_dir;
    QString m_display;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess* m_recorder = nullptr;
    QProcess* m_audioServer = nullptr;
};
