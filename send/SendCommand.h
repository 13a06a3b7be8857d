#pragma once

#include "CapForwarder.h"
#include "CapMapping.h"
#include "ExitStatus.h"
#include "SendOptions.h"

#include <QString>
#include <QStringList>
#include <optional>

class QIODevice;

namespace hv {

class Clock;
class Failure;
struct SendSettings;

// halvane-send: an alert from the command line or from a CAP message, submitted as the console's
// "Submit" submits it, a CAP feed followed, and the alert log written out as CAP. Speaks only
// through its streams and its exit status; never asks anything.
class SendCommand {
public:
    struct Streams {
        QIODevice& in;  // a CAP document for --cap -
        QIODevice& out; // the feed of --export-cap, the decisions of --follow, the help text
        QIODevice& err; // one line per failure or warning
    };

    // defaultIniPath: halvane.ini beside the program, unless --ini names another.
    SendCommand(Streams streams, const Clock& clock, QString defaultIniPath);

    ExitStatus run(const QStringList& arguments);

private:
    struct Choice {
        QString code;
        QString location;
        std::optional<QString> message;
    };

    ExitStatus submit(const SendOptions& options, const Choice& choice);
    ExitStatus sendCap(const SendOptions& options);
    ExitStatus follow(const SendOptions& options);
    ExitStatus exportCap(const SendOptions& options);

    // How CAP messages are taken: the database, this site's sender, the rules of the command line.
    CapForwarder::Setup forwarding(const SendOptions& options, const CapMapping* mapping);
    std::optional<CapMapping> mapping(const SendOptions& options);

    SendSettings settings(const SendOptions& options);
    void say(const QString& line);

    Streams m_io;
    const Clock& m_clock;
    QString m_defaultIniPath;
};

} // namespace hv
