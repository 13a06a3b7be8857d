#include "SendCommand.h"

#include "AlertLogStore.h"
#include "AlertStore.h"
#include "CancelStore.h"
#include "CapError.h"
#include "CapExport.h"
#include "CapFeed.h"
#include "CapIntake.h"
#include "CapReader.h"
#include "Connection.h"
#include "Failure.h"
#include "IniFile.h"
#include "Ports.h"
#include "SendFailures.h"
#include "SendSettings.h"
#include "StatementBounds.h"
#include "UsageError.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QRegularExpression>
#include <QSysInfo>

namespace hv {

namespace {

// What the message column holds, counted as the console's message field counts.
constexpr qsizetype kMessageLength = 600;
// What the cancellations table keeps of a name.
constexpr qsizetype kCancelledByLength = 255;

// Ends the command with its status and its one line.
struct Stop {
    ExitStatus status;
    QString line;
};

[[noreturn]] void stop(ExitStatus status, const Failure& f, const QString& what, const QString& host) {
    throw Stop{status, what + QStringLiteral(": ") + SendFailures::reasonFor(f, host)};
}

// The catalogue's own spelling of a name: the name exactly as given, else the one name that
// differs from it only in letter case or blanks at the ends (as the catalogue itself compares).
std::optional<QString> resolve(const QStringList& names, const QString& wanted, QStringList* alike) {
    if (names.contains(wanted)) return wanted;
    for (const QString& name : names)
        if (QString::compare(name.trimmed(), wanted.trimmed(), Qt::CaseInsensitive) == 0 && !alike->contains(name))
            alike->append(name);
    if (alike->size() == 1) return alike->front();
    return std::nullopt;
}

QString resolveOrStop(const QStringList& names, const QString& wanted, const char* what, const char* catalogue) {
    QStringList alike;
    if (const auto name = resolve(names, wanted, &alike)) return *name;
    if (alike.size() > 1)
        throw Stop{ExitStatus::UnknownName, QStringLiteral("%1 \"%2\" is not in the %3 catalogue as it stands; it "
                                                           "has \"%4\": give one exactly")
                                                .arg(QLatin1String(what), wanted, QLatin1String(catalogue),
                                                     alike.join(QStringLiteral("\", \"")))};
    throw Stop{ExitStatus::UnknownName, QStringLiteral("unknown %1 \"%2\": the %3 catalogue has no such name")
                                            .arg(QLatin1String(what), wanted, QLatin1String(catalogue))};
}

QString duration(qint64 seconds) {
    if (seconds < 120) return QStringLiteral("%1 seconds").arg(seconds);
    if (seconds < 7200) return QStringLiteral("%1 minutes").arg(seconds / 60);
    return QStringLiteral("%1 hours").arg(seconds / 3600);
}

} // namespace

SendCommand::SendCommand(Streams streams, const Clock& clock, QString defaultIniPath)
    : m_io(streams), m_clock(clock), m_defaultIniPath(std::move(defaultIniPath)) {}

void SendCommand::say(const QString& line) {
    m_io.err.write((QStringLiteral("halvane-send: ") + line + u'\n').toUtf8());
}

ExitStatus SendCommand::run(const QStringList& arguments) {
    try {
        SendOptions options;
        try {
            options = SendOptions::parse(arguments);
        } catch (const UsageError& e) {
            throw Stop{ExitStatus::Usage, e.reason() + QStringLiteral(" (see halvane-send --help)")};
        }
        switch (options.mode) {
        case SendOptions::Mode::Help:
            m_io.out.write(SendOptions::helpText().toUtf8());
            return ExitStatus::Done;
        case SendOptions::Mode::Submit: {
            std::optional<QString> message = options.message;
            // A message from a script's line ends as the console keeps a pasted one: one line
            // break for each.
            if (message) {
                message->replace(QLatin1String("\r\n"), QLatin1String("\n"));
                message->replace(u'\r', u'\n');
            }
            return submit(options, {options.code, options.location, message});
        }
        case SendOptions::Mode::Cap:
            return sendCap(options);
        case SendOptions::Mode::ExportCap:
            return exportCap(options);
        }
        return ExitStatus::Failed;
    } catch (const Stop& s) {
        say(s.line);
        return s.status;
    }
}

SendSettings SendCommand::settings(const SendOptions& options) {
    const QString path = options.iniPath.isEmpty() ? m_defaultIniPath : options.iniPath;
    IniSettings ini;
    try {
        ini = fncReadINI(path);
    } catch (const Failure& f) {
        const QString form = QStringLiteral("its first line names the database server as MYSQLSERVERNAME=host");
        switch (f.number()) {
        case code::FileNotFound:
            throw Stop{ExitStatus::Failed, QStringLiteral("%1 was not found; %2").arg(path, form)};
        case code::InputPastEnd:
            throw Stop{ExitStatus::Failed, QStringLiteral("%1 is empty; %2").arg(path, form)};
        default:
            throw Stop{ExitStatus::Failed, QStringLiteral("%1 cannot be read: %2").arg(path, f.description())};
        }
    }
    // Lines that were not read are said, but they stop nothing: the file reads as it did.
    for (const QString& line : ini.problemLines(path))
        say(line);
    return SendSettings::from(ini);
}

ExitStatus SendCommand::submit(const SendOptions& options, const Choice& choice) {
    const SendSettings s = settings(options);
    const QString notStored = QStringLiteral("the alert was not stored");
    const ServerList servers = s.servers();
    AlertStore store(servers, s.access);

    // The purge is housekeeping, as in the console: it ends the command only where it would end
    // the console.
    try {
        store.fncDeleteSevenDayOldRecords(m_clock.now());
    } catch (const Failure& f) {
        if (const auto status = SendFailures::statusFor(SendFailures::Operation::Purge, f))
            stop(*status, f, notStored, s.host);
    }

    AlertStore::Alert alert;
    alert.codeMessage = choice.message;
    try {
        // The console offers only the names of its catalogues; this command takes only those too.
        AlertStore::Choices choices;
        store.readChoices(choices);
        alert.codeName = resolveOrStop(choices.codes, choice.code, "code", "codes");
        alert.codeLocation = resolveOrStop(choices.locations, choice.location, "location", "locations");
        if (choice.cap) {
            // The standing comments decide whether the instruction only repeats them.
            QString comments;
            servers.run(consoleConnectionOptions(s.access), [&](Connection& connection) {
                comments = AlertStore::fncGetCodeComments(connection, alert.codeName);
            });
            const QString message = CapIntake::message(*choice.cap, comments);
            if (!message.isEmpty()) alert.codeMessage = message;
        }
    } catch (const Failure& f) {
        stop(*SendFailures::statusFor(SendFailures::Operation::Submission, f), f, notStored, s.host);
    }

    qsizetype givenLength = 0;
    if (alert.codeMessage && alert.codeMessage->size() > kMessageLength) {
        givenLength = alert.codeMessage->size();
        alert.codeMessage->truncate(kMessageLength);
        if (alert.codeMessage->back().isHighSurrogate()) alert.codeMessage->chop(1);
    }

    AlertStore::Saved saved;
    try {
        saved = store.save(alert, m_clock);
    } catch (const Failure& f) {
        stop(*SendFailures::statusFor(SendFailures::Operation::Submission, f), f, notStored, s.host);
    }

    if (givenLength > 0)
        say(QStringLiteral("the message has %1 characters; the alert was stored with its first %2, all that the "
                           "message column holds")
                .arg(givenLength)
                .arg(alert.codeMessage->size()));
    if (saved.consoleNow.isValid() && saved.serverNow.isValid()) {
        // Both clocks as the wall-clock times that the workstations compare.
        const QDateTime console(saved.consoleNow.date(), saved.consoleNow.time(), Qt::UTC);
        const QDateTime server(saved.serverNow.date(), saved.serverNow.time(), Qt::UTC);
        const qint64 serverAhead = console.secsTo(server);
        if (qAbs(serverAhead) > site::kClockToleranceSeconds)
            say(QStringLiteral("the alert was stored, but this computer's clock is %1 %2 the database server's; the "
                               "workstations may show the alert late or not at all")
                    .arg(duration(qAbs(serverAhead)),
                         serverAhead > 0 ? QStringLiteral("behind") : QStringLiteral("ahead of")));
    }
    return ExitStatus::Done;
}

ExitStatus SendCommand::sendCap(const SendOptions& options) {
    const QString source = options.capFile == u"-" ? QStringLiteral("standard input") : options.capFile;
    CapAlert cap;
    CapIntake::Action action;
    try {
        QByteArray document;
        if (options.capFile == u"-") {
            document = CapReader::readDocument(m_io.in);
        } else {
            QFile file(options.capFile);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
                throw Stop{ExitStatus::Failed,
                           QStringLiteral("%1 cannot be read: %2").arg(options.capFile, file.errorString())};
            document = CapReader::readDocument(file);
        }
        cap = CapReader::parse(document);
        action = CapIntake::actionFor(cap, options.exercise);
    } catch (const CapError& e) {
        throw Stop{ExitStatus::CapRefused, source + QStringLiteral(": ") + e.reason()};
    }
    if (action == CapIntake::Action::Cancel) return cancel(options, source, cap);
    return submit(options, {cap.event, cap.areaDesc, std::nullopt, &cap});
}

ExitStatus SendCommand::cancel(const SendOptions& options, const QString& source, const CapAlert& alert) {
    // Only the alerts this site exported can be named: their identifiers carry the log row's ID,
    // date and minute, and their sender is this site's.
    const SendSettings s = settings(options);
    const QString sender = s.sender();
    static const QRegularExpression kIdentifier(QStringLiteral("^halvane-([0-9]{1,10})-([0-9]{8}T[0-9]{4})$"));
    struct Named {
        qint64 logId;
        QDateTime minute;
        QString identifier;
    };
    QList<Named> named;
    for (const CapAlert::Reference& r : alert.references) {
        const QRegularExpressionMatch m = kIdentifier.match(r.identifier);
        const QDateTime minute =
            m.hasMatch() ? QDateTime::fromString(m.captured(2), QStringLiteral("yyyyMMdd'T'HHmm")) : QDateTime();
        if (r.sender != sender || !minute.isValid())
            throw Stop{ExitStatus::CapRefused,
                       QStringLiteral("%1: <msgType> is \"Cancel\" for %2 from %3, which this site (%4) did not send; "
                                      "nothing was changed")
                           .arg(source, r.identifier, r.sender, sender)};
        named.append({m.captured(1).toLongLong(), minute, r.identifier});
    }

    // The cancel message's sender is the one who cancelled, as far as the site can tell.
    const QString by = alert.sender.left(kCancelledByLength);
    const ServerList servers = s.servers();
    ExitStatus status = ExitStatus::Done;
    for (const Named& n : named) {
        CancelStore::Outcome outcome = CancelStore::Outcome::NotLogged;
        try {
            outcome = CancelStore(servers, s.access)
                          .cancelLogged(n.logId, n.minute.date(), n.minute.time(), by, QSysInfo::machineHostName());
        } catch (const Failure& f) {
            stop(*SendFailures::statusFor(SendFailures::Operation::Submission, f), f,
                 QStringLiteral("%1 was not cancelled").arg(n.identifier), s.host);
        }
        switch (outcome) {
        case CancelStore::Outcome::Cancelled:
            break;
        case CancelStore::Outcome::AlreadyCancelled:
            say(QStringLiteral("%1 was cancelled already").arg(n.identifier));
            break;
        case CancelStore::Outcome::NoLongerShown:
            say(QStringLiteral("%1 is no longer shown on the workstations; nothing was changed").arg(n.identifier));
            break;
        case CancelStore::Outcome::NotLogged:
            say(QStringLiteral("%1: <msgType> is \"Cancel\" for %2, which is not in the alert log; it was not "
                               "cancelled")
                    .arg(source, n.identifier));
            status = ExitStatus::CapRefused;
            break;
        }
    }
    return status;
}

ExitStatus SendCommand::exportCap(const SendOptions& options) {
    const SendSettings s = settings(options);
    const QString sender = s.sender();
    for (QChar c : sender)
        if (c.isSpace() || c == u',' || c == u'<' || c == u'&')
            throw Stop{ExitStatus::Failed, QStringLiteral("the CAP sender \"%1\" (CAPSENDER= in halvane.ini) has "
                                                          "blanks, commas, < or &, which CAP does not allow")
                                               .arg(sender)};

    CapFeed feed(&m_io.out, sender, m_clock.now());
    try {
        AlertLogStore(s.servers(), s.access).forEach(options.since, [&](const LoggedAlert& row) {
            if (const QString why = CapExport::whyNot(row); !why.isEmpty()) {
                say(QStringLiteral("AlertLog row %1 is left out: %2").arg(row.id).arg(why));
                return;
            }
            feed.add(CapExport::alertFor(row, sender));
        });
    } catch (const Failure& f) {
        stop(*SendFailures::statusFor(SendFailures::Operation::Export, f), f,
             QStringLiteral("the alert log was not exported (what was written is incomplete)"), s.host);
    }
    if (!feed.finish()) throw Stop{ExitStatus::Failed, QStringLiteral("the feed could not be written out")};
    return ExitStatus::Done;
}

} // namespace hv
