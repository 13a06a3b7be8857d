#include "SendCommand.h"

#include "AlertLogStore.h"
#include "AlertStore.h"
#include "CapError.h"
#include "CapExport.h"
#include "CapFeed.h"
#include "CapGateway.h"
#include "CapReader.h"
#include "CatalogueName.h"
#include "DatabaseErrors.h"
#include "Failure.h"
#include "IniFile.h"
#include "MessageText.h"
#include "Ports.h"
#include "SendFailures.h"
#include "SendSettings.h"
#include "UsageError.h"
#include "WakePublisher.h"
#include "Wording.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QSysInfo>

namespace hv {

namespace {

// Ends the command with its status and its one line.
struct Stop {
    ExitStatus status;
    QString line;
};

[[noreturn]] void stop(ExitStatus status, const Failure& f, const QString& what, const QString& host) {
    throw Stop{status, what + QStringLiteral(": ") + SendFailures::reasonFor(f, host)};
}

QString resolveOrStop(const QStringList& names, const QString& wanted, const char* what, const char* catalogue) {
    QStringList alike;
    if (const auto name = CatalogueName::resolve(names, wanted, &alike)) return *name;
    if (alike.size() > 1)
        throw Stop{ExitStatus::UnknownName, QStringLiteral("%1 \"%2\" is not in the %3 catalogue as it stands; it "
                                                           "has \"%4\": give one exactly")
                                                .arg(QLatin1String(what), wanted, QLatin1String(catalogue),
                                                     alike.join(QStringLiteral("\", \"")))};
    throw Stop{ExitStatus::UnknownName, QStringLiteral("unknown %1 \"%2\": the %3 catalogue has no such name")
                                            .arg(QLatin1String(what), wanted, QLatin1String(catalogue))};
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
        case SendOptions::Mode::Follow:
            return follow(options);
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
    } catch (const AlertStore::ClockRefused& c) {
        throw Stop{ExitStatus::Failed,
                   notStored + QStringLiteral(": ") + wording::clockRefusal(c.serverAheadSeconds())};
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
    } catch (const Failure& f) {
        stop(*SendFailures::statusFor(SendFailures::Operation::Submission, f), f, notStored, s.host);
    }

    const qsizetype givenLength = alert.codeMessage ? MessageText::fit(*alert.codeMessage) : 0;

    AlertStore::Saved saved;
    // The command's own retries after an unanswered COMMIT look for it by this token; a script's
    // own retries by theirs.
    const QString token = options.token.isEmpty() ? AlertStore::newToken() : options.token;
    try {
        saved = store.save(alert, m_clock, token);
    } catch (const Failure& f) {
        if (dberror::outcomeUnknown(f))
            throw Stop{ExitStatus::Unknown,
                       QStringLiteral("the alert may or may not have been stored: %1 did not confirm it and could not "
                                      "be asked since (%2); %3")
                           .arg(QStringLiteral("the database server \"%1\"").arg(s.host), f.description(),
                                options.token.isEmpty()
                                    ? QStringLiteral("sending it again may store it twice")
                                    : QStringLiteral("send it again with --token %1 once the server answers: it is "
                                                     "stored once")
                                          .arg(options.token))};
        stop(*SendFailures::statusFor(SendFailures::Operation::Submission, f), f, notStored, s.host);
    }
    if (saved.already) {
        // Stored by an earlier try of this token; nothing is sent again, nobody is woken twice.
        say(QStringLiteral("the alert was stored already (--token %1); nothing was sent again").arg(token));
        return ExitStatus::Done;
    }

    // Stored: the workstations get it at their next poll whatever the brokers do now.
    const WakePublisher wake(s.wake);
    for (const QString& line : WakePublisher::notReached(wake.publishWithin(wake.messagesFor(saved.alerts))))
        say(line);
    if (givenLength > 0) say(MessageText::cutWarning(givenLength, alert.codeMessage->size()));
    if (const QString skew = wording::clockWarning(saved.consoleNow, saved.serverNow); !skew.isEmpty()) say(skew);
    return ExitStatus::Done;
}

CapForwarder::Setup SendCommand::forwarding(const SendOptions& options, const CapMapping* mapping) {
    const SendSettings s = settings(options);
    CapForwarder::Setup setup(s.servers());
    setup.access = s.access;
    setup.serverName = s.host;
    setup.siteSender = s.sender();
    setup.hostName = QSysInfo::machineHostName();
    setup.mapping = mapping;
    setup.rules.exercise = options.exercise;
    setup.rules.maxAgeSeconds = options.maxAgeSeconds;
    setup.rules.language = options.language;
    setup.origin =
        options.mode == SendOptions::Mode::Follow ? CapForwarder::Origin::Feed : CapForwarder::Origin::Command;
    setup.wake = s.wake;
    return setup;
}

std::optional<CapMapping> SendCommand::mapping(const SendOptions& options) {
    if (options.mapFile.isEmpty()) return std::nullopt;
    try {
        return CapMapping::read(options.mapFile);
    } catch (const CapMapping::Error& e) {
        throw Stop{ExitStatus::Usage, e.reason};
    }
}

ExitStatus SendCommand::sendCap(const SendOptions& options) {
    const QString source = options.capFile == u"-" ? QStringLiteral("standard input") : options.capFile;
    const std::optional<CapMapping> map = mapping(options);
    CapAlert cap;
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
    } catch (const CapError& e) {
        throw Stop{ExitStatus::CapRefused, source + QStringLiteral(": ") + e.reason()};
    }

    CapForwarder forwarder(forwarding(options, map ? &*map : nullptr), m_clock);
    const CapForwarder::Decision d = forwarder.take(cap);
    using Kind = CapForwarder::Decision::Kind;
    // A message taken says nothing but what needs saying; anything else says why.
    if (d.kind == Kind::Skipped || d.kind == Kind::Refused || d.kind == Kind::Failed)
        say(source + QStringLiteral(": ") + d.reason);
    for (const QString& note : d.notes)
        say(note);
    return d.status;
}

ExitStatus SendCommand::follow(const SendOptions& options) {
    const std::optional<CapMapping> map = mapping(options);
    CapGateway gateway({forwarding(options, map ? &*map : nullptr), options.followUrl, options.everySeconds}, m_clock,
                       m_io.out);
    const CapGateway::End end = gateway.run();
    if (!end.line.isEmpty()) say(end.line);
    return end.status;
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
