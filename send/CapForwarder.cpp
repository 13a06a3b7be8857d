#include "CapForwarder.h"

#include "AlertStore.h"
#include "CancelStore.h"
#include "CapError.h"
#include "CapMessageRows.h"
#include "CapMessageStore.h"
#include "Connection.h"
#include "DatabaseErrors.h"
#include "Failure.h"
#include "MessageText.h"
#include "Ports.h"
#include "SendFailures.h"
#include "StatementBounds.h"
#include "WakePublisher.h"
#include "Wording.h"

#include <QHash>
#include <QRegularExpression>

namespace hv {

namespace {

// What the cancellations table keeps of a name.
constexpr qsizetype kCancelledByLength = 255;

using Kind = CapForwarder::Decision::Kind;

CapForwarder::Decision decided(Kind kind, const QString& reason, ExitStatus status = ExitStatus::Done) {
    CapForwarder::Decision d;
    d.kind = kind;
    d.reason = reason;
    d.status = status;
    return d;
}

bool duplicate(const Failure& f) {
    return f.nativeCode() == dberror::kDuplicateKey || f.number() == dberror::kDuplicateKey;
}

CapForwarder::Decision takenMeanwhile() {
    return decided(Kind::Skipped,
                   QStringLiteral("another halvane-send took it at the same time; nothing is done twice"));
}

QString alertsInWords(const QList<AlertStore::Alert>& alerts) {
    QStringList parts;
    for (const AlertStore::Alert& a : alerts)
        parts << CapError::quoted(a.codeName) + QStringLiteral(" at ") + CapError::quoted(a.codeLocation);
    return parts.join(QStringLiteral(", "));
}

QString count(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

// The messages a message's <references> name, sorted by whose they are.
struct CapForwarder::Named {
    QList<CapMessageStore::Key> sameSender;
    QList<CapMessageRows::Logged> exported;
    QStringList exportedIds;
    // Those of sameSender that this site took, with the alerts they made.
    QList<CapMessageStore::Taken> held;
    QStringList identifiers;
};

CapForwarder::CapForwarder(Setup setup, const Clock& clock) : m_setup(std::move(setup)), m_clock(clock) {}

QString CapForwarder::verb(Decision::Kind kind) {
    switch (kind) {
    case Kind::Forwarded:
        return QStringLiteral("forwarded");
    case Kind::Replaced:
        return QStringLiteral("replaced");
    case Kind::Cancelled:
        return QStringLiteral("cancelled");
    case Kind::Skipped:
        return QStringLiteral("skipped");
    case Kind::Refused:
        return QStringLiteral("refused");
    case Kind::Failed:
        break;
    }
    return QStringLiteral("not taken");
}

QString CapForwarder::nameOf(const CapAlert& alert) {
    return alert.sender + u',' + alert.identifier + u',' + alert.sent;
}

void CapForwarder::announce(const QList<SavedAlert>& alerts, const QList<AlertKey>& cancelled, Decision& d) const {
    const WakePublisher wake(m_setup.wake);
    const QList<WakeMessage> messages = wake.messagesFor(alerts, cancelled);
    if (!m_setup.wake.enabled() || messages.isEmpty()) return;
    d.notes += WakePublisher::notReached(wake.publishWithin(messages));
}

CapForwarder::Decision CapForwarder::failed(const Failure& failure, const QString& what) const {
    // The message's own key in capmessages is its token: taken or not, the next try finds out.
    if (dberror::outcomeUnknown(failure)) {
        Decision d = decided(Kind::Failed,
                             QStringLiteral("it may or may not have been taken: the database server did not confirm "
                                            "it and could not be asked since (%1); the next try finds out")
                                 .arg(failure.description()),
                             ExitStatus::Unknown);
        d.again = true;
        return d;
    }
    Decision d =
        decided(Kind::Failed, what + QStringLiteral(": ") + SendFailures::reasonFor(failure, m_setup.serverName),
                SendFailures::statusFor(SendFailures::Operation::Submission, failure).value_or(ExitStatus::Failed));
    d.again = true;
    return d;
}

CapForwarder::Decision CapForwarder::take(const CapAlert& alert) {
    CapIntake::Rules rules = m_setup.rules;
    rules.now = m_clock.now();
    CapIntake::Action action;
    try {
        action = CapIntake::actionFor(alert, rules);
    } catch (const CapError& e) {
        Decision d = decided(Kind::Refused, e.reason(), ExitStatus::CapRefused);
        d.again = e.later();
        return d;
    }

    // The site's own export, followed as a feed, would send each alert again as a new one, and
    // that one again at the next fetch.
    if (m_setup.origin == Origin::Feed && alert.sender == m_setup.siteSender)
        return decided(Kind::Refused,
                       QStringLiteral("<sender> is this site's own (%1): its alerts are on the workstations already")
                           .arg(m_setup.siteSender),
                       ExitStatus::CapRefused);

    // An Update or a Cancel acts on its own sender's messages, and on this site's own exported
    // alerts only when an operator hands it over; nothing it names elsewhere is touched.
    static const QRegularExpression kExported(QStringLiteral("^halvane-([0-9]{1,10})-([0-9]{8}T[0-9]{4})$"));
    Named named;
    for (const CapAlert::Reference& r : alert.references) {
        named.identifiers << r.identifier;
        const QRegularExpressionMatch m = kExported.match(r.identifier);
        const QDateTime minute =
            m.hasMatch() ? QDateTime::fromString(m.captured(2), QStringLiteral("yyyyMMdd'T'HHmm")) : QDateTime();
        const QString asked = QStringLiteral("<msgType> is \"%1\" for %2").arg(alert.msgType, r.identifier);
        if (r.sender == m_setup.siteSender && minute.isValid()) {
            if (m_setup.origin == Origin::Feed)
                return decided(Kind::Refused,
                               asked + QStringLiteral(", an alert of this site's own; only the console, or "
                                                      "halvane-send --cap at the console's computer, takes those "
                                                      "back; nothing was changed"),
                               ExitStatus::CapRefused);
            named.exported.append({m.captured(1).toLongLong(), minute.date(), minute.time()});
            named.exportedIds << r.identifier;
        } else if (r.sender == alert.sender && r.sender != m_setup.siteSender) {
            named.sameSender.append({r.sender, r.identifier, r.sent});
        } else if (r.sender == m_setup.siteSender) {
            return decided(
                Kind::Refused,
                asked + QStringLiteral(" from %1, which this site did not send; nothing was changed").arg(r.sender),
                ExitStatus::CapRefused);
        } else {
            return decided(Kind::Refused,
                           asked + QStringLiteral(" from %1, which is neither this message's sender nor this site "
                                                  "(%2); nothing was changed")
                                       .arg(r.sender, m_setup.siteSender),
                           ExitStatus::CapRefused);
        }
    }

    CapMessageStore store(m_setup.servers, m_setup.access);
    bool once = true;
    try {
        if (const auto taken = store.taken({alert.sender, alert.identifier, alert.sent})) {
            const QString done = taken->outcome == u"sent"       ? QStringLiteral("its alerts were sent")
                                 : taken->outcome == u"replaced" ? QStringLiteral("it replaced earlier alerts")
                                                                 : QStringLiteral("it cancelled earlier alerts");
            return decided(Kind::Skipped,
                           QStringLiteral("it was taken already, on %1 at %2, and %3; nothing is done "
                                          "twice")
                               .arg(taken->hostName.isEmpty() ? QStringLiteral("?") : taken->hostName,
                                    taken->takenAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), done));
        }
        if (!named.sameSender.isEmpty()) named.held = store.taken(named.sameSender);
    } catch (const Failure& f) {
        if (!dberror::noSuchTable(f) || m_setup.origin == Origin::Feed)
            return failed(f, QStringLiteral("nothing was taken"));
        // A database from before the table: the command sends as it always did, every time it is
        // given the message, and knows no message it took.
        once = false;
    }
    return action == CapIntake::Action::Cancel ? cancel(alert, named, once) : submit(alert, named, once, rules);
}

CapForwarder::Decision CapForwarder::cancel(const CapAlert& alert, const Named& named, bool once) {
    if (named.held.isEmpty() && named.exported.isEmpty())
        return decided(Kind::Skipped,
                       QStringLiteral("<msgType> is \"%1\" for %2, which this site does not hold; nothing was changed")
                           .arg(alert.msgType, named.identifiers.join(QStringLiteral(", "))),
                       ExitStatus::CapRefused);

    // The cancel message's sender is the one who cancelled, as far as the site can tell.
    const QString by = alert.sender.left(kCancelledByLength);
    QList<CancelStore::Outcome> outcomes;
    QList<AlertKey> cancelledAlerts;
    qsizetype earlier = 0;
    if (once) {
        CapMessageRows rows({alert.sender, alert.identifier, alert.sent}, alert.msgType, QStringLiteral("cancelled"),
                            by, m_setup.hostName);
        for (const CapMessageStore::Taken& t : named.held) {
            rows.cancel(t.alerts);
            earlier += t.alerts.size();
        }
        rows.cancelLogged(named.exported);
        try {
            CapMessageStore(m_setup.servers, m_setup.access).record(rows);
        } catch (const Failure& f) {
            if (duplicate(f)) return takenMeanwhile();
            return failed(f, QStringLiteral("nothing was cancelled"));
        }
        outcomes = rows.outcomes();
        cancelledAlerts = rows.cancelledAlerts();
    } else {
        for (qsizetype i = 0; i < named.exported.size(); ++i) {
            const CapMessageRows::Logged& l = named.exported[i];
            qint64 alertId = 0;
            try {
                outcomes << CancelStore(m_setup.servers, m_setup.access)
                                .cancelLogged(l.logId, l.codeDate, l.codeTime, by, m_setup.hostName, &alertId);
            } catch (const Failure& f) {
                Decision d = failed(f, QStringLiteral("%1 was not cancelled").arg(named.exportedIds[i]));
                // Those before it were taken back all the same.
                announce({}, cancelledAlerts, d);
                return d;
            }
            if (outcomes.last() == CancelStore::Outcome::Cancelled)
                cancelledAlerts.append({alertId, l.codeDate, l.codeTime});
        }
    }

    Decision d = decided(Kind::Cancelled, QString());
    announce({}, cancelledAlerts, d);
    const qsizetype cancelled = outcomes.count(CancelStore::Outcome::Cancelled);
    const qsizetype gone = outcomes.mid(0, earlier).count(CancelStore::Outcome::NoLongerShown);
    d.reason = count(cancelled, "alert", "alerts") + QStringLiteral(" taken back");
    if (gone > 0) d.reason += QStringLiteral("; %1 no longer shown").arg(gone);
    for (qsizetype i = 0; i < named.exportedIds.size(); ++i) {
        const QString& id = named.exportedIds[i];
        switch (outcomes.value(earlier + i)) {
        case CancelStore::Outcome::Cancelled:
            break;
        case CancelStore::Outcome::AlreadyCancelled:
            d.notes << QStringLiteral("%1 was cancelled already").arg(id);
            break;
        case CancelStore::Outcome::NoLongerShown:
            d.notes << QStringLiteral("%1 is no longer shown on the workstations; nothing was changed").arg(id);
            break;
        case CancelStore::Outcome::NotLogged:
            d.notes << QStringLiteral("<msgType> is \"%1\" for %2, which is not in the alert log; it was not cancelled")
                           .arg(alert.msgType, id);
            d.status = ExitStatus::CapRefused;
            break;
        }
    }
    return d;
}

CapForwarder::Decision CapForwarder::submit(const CapAlert& alert, const Named& named, bool once,
                                            const CapIntake::Rules& rules) {
    AlertStore store(m_setup.servers, m_setup.access);
    AlertStore::Choices choices;
    try {
        // The console offers only the names of its catalogues; this command takes only those too.
        store.readChoices(choices);
    } catch (const Failure& f) {
        return failed(f, QStringLiteral("nothing was sent"));
    }
    const CapIntake::Targets targets =
        CapIntake::targets(CapIntake::considered(alert, rules), m_setup.mapping, choices.codes, choices.locations);
    // An Update replaces what it names; without the table the site cannot tell what that was, and
    // sends it as new.
    QList<CapMessageStore::Made> earlier;
    for (const CapMessageStore::Taken& t : named.held)
        earlier += t.alerts;
    const bool replacing = once && (!named.held.isEmpty() || !named.exported.isEmpty());
    if (targets.alerts.isEmpty() && !replacing)
        return decided(Kind::Skipped, targets.leftOut.join(QStringLiteral("; ")) + QStringLiteral("; nothing was sent"),
                       ExitStatus::UnknownName);

    const QString by = alert.sender.left(kCancelledByLength);
    CapMessageRows rows({alert.sender, alert.identifier, alert.sent}, alert.msgType,
                        !replacing                 ? QStringLiteral("sent")
                        : targets.alerts.isEmpty() ? QStringLiteral("cancelled")
                                                   : QStringLiteral("replaced"),
                        by, m_setup.hostName);
    rows.cancel(earlier);
    rows.cancelLogged(named.exported);

    Decision d;
    QList<AlertStore::Alert> alerts;
    AlertStore::Saved saved;
    if (targets.alerts.isEmpty()) {
        // An Update that no longer concerns the site: what it replaces is taken back.
        try {
            CapMessageStore(m_setup.servers, m_setup.access).record(rows);
        } catch (const Failure& f) {
            if (duplicate(f)) return takenMeanwhile();
            return failed(f, QStringLiteral("nothing was cancelled"));
        }
    } else {
        // The purge is housekeeping, as in the console: it stops the alerts only where it would stop
        // the console.
        try {
            store.fncDeleteSevenDayOldRecords(m_clock.now());
        } catch (const AlertStore::ClockRefused& c) {
            Decision refused = decided(Kind::Failed, wording::clockRefusal(c.serverAheadSeconds()), ExitStatus::Failed);
            // Not this message's fault: it goes through once the clock is right.
            refused.again = true;
            return refused;
        } catch (const Failure& f) {
            if (SendFailures::statusFor(SendFailures::Operation::Purge, f))
                return failed(f, QStringLiteral("nothing was sent"));
        }
        QHash<QString, QString> comments;
        try {
            // The standing comments decide whether an instruction only repeats them.
            m_setup.servers.run(consoleConnectionOptions(m_setup.access), [&](Connection& connection) {
                for (const CapIntake::Target& t : targets.alerts)
                    if (!comments.contains(t.code))
                        comments.insert(t.code, AlertStore::fncGetCodeComments(connection, t.code));
            });
        } catch (const Failure& f) {
            return failed(f, QStringLiteral("nothing was sent"));
        }
        for (const CapIntake::Target& t : targets.alerts) {
            AlertStore::Alert a;
            a.codeName = t.code;
            a.codeLocation = t.location;
            // The location's audience, where sites have audiences, is the submission's own to
            // write, for these alerts as for every other. An extreme and immediate message is
            // shown over the whole screen where its code sets no presentation of its own.
            if (t.emergency) {
                AlertPresentation fullScreen;
                fullScreen.fullScreen = true;
                a.presentationIfNone = fullScreen;
            }
            QString message = CapIntake::message(*t.info, comments.value(t.code));
            if (const qsizetype given = MessageText::fit(message))
                d.notes << MessageText::cutWarning(given, message.size());
            if (!message.isEmpty()) a.codeMessage = message;
            alerts.append(a);
        }
        try {
            saved = store.save(alerts, m_clock, once ? QList<AlertRows*>{&rows} : QList<AlertRows*>{});
        } catch (const Failure& f) {
            if (duplicate(f)) return takenMeanwhile();
            return failed(f, QStringLiteral("nothing was sent"));
        }
        if (const QString skew = wording::clockWarning(saved.consoleNow, saved.serverNow); !skew.isEmpty())
            d.notes << skew;
    }

    d.status = ExitStatus::Done;
    announce(saved.alerts, rows.cancelledAlerts(), d);
    if (replacing) {
        d.kind = targets.alerts.isEmpty() ? Kind::Cancelled : Kind::Replaced;
        const qsizetype cancelled = rows.cancelledCount();
        d.reason = count(cancelled, "earlier alert", "earlier alerts") + QStringLiteral(" taken back");
        if (cancelled < rows.outcomes().size())
            d.reason += QStringLiteral(" (%1 no longer shown)").arg(rows.outcomes().size() - cancelled);
        d.reason += targets.alerts.isEmpty() ? QStringLiteral("; the update concerns nothing here any more")
                                             : QStringLiteral("; sent ") + alertsInWords(alerts);
    } else {
        d.kind = Kind::Forwarded;
        d.reason = QStringLiteral("sent ") + alertsInWords(alerts);
    }
    d.notes += targets.leftOut;
    return d;
}

} // namespace hv
