#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace hv {

// halvane-send's command line. Options take their value as the next argument or after "=".
struct SendOptions {
    enum class Mode { Help, Submit, Cap, Follow, ExportCap };

    Mode mode = Mode::Help;
    QString code;
    QString location;
    std::optional<QString> message; // unset: the column keeps its default, as when no message is wanted
    // Names the submission, so that a script that sends again after an unknown outcome (status 7)
    // stores it once; empty: the command makes one of its own for its own retries.
    QString token;
    QString capFile; // "-" for standard input
    bool exercise = false;
    // CAP messages from a file or a feed.
    QUrl followUrl;
    QString mapFile; // empty: the event and the area name the code and the location
    int everySeconds = 60;
    qint64 maxAgeSeconds = 3600;
    QString language; // empty: the language of the message's first <info>
    std::optional<QDate> since;
    QString iniPath; // empty: halvane.ini beside the program

    // The options (without the program name), or UsageError with what is wrong.
    static SendOptions parse(const QStringList& arguments);
    static QString helpText();
};

} // namespace hv
