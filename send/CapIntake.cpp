#include "CapIntake.h"

#include "CapError.h"
#include "CapMapping.h"
#include "CapTime.h"
#include "CatalogueName.h"
#include "SiteFacts.h"
#include "Wording.h"

#include <functional>

namespace hv {

namespace {

// CAP's own default.
const QString kDefaultLanguage = QStringLiteral("en-US");

QString languageOf(const CapAlert::Info& info) {
    return info.language.isEmpty() ? kDefaultLanguage : info.language;
}

QString primary(const QString& language) {
    return language.section(u'-', 0, 0);
}

// The reader has checked every time; a message made otherwise counts an unreadable time as past.
QDateTime timeOf(const QString& text) {
    return captime::parse(text).value_or(QDateTime());
}

bool current(const CapAlert::Info& info, const QDateTime& sent, const CapIntake::Rules& rules) {
    if (!info.expires.isEmpty()) {
        const QDateTime expires = timeOf(info.expires);
        return expires.isValid() && expires > rules.now;
    }
    return sent.isValid() && sent.secsTo(rules.now) <= rules.maxAgeSeconds;
}

QString quotedList(const QStringList& values) {
    QStringList shown;
    for (qsizetype i = 0; i < values.size() && i < 3; ++i)
        shown << CapError::quoted(values[i]);
    QString out = shown.join(QStringLiteral(", "));
    if (values.size() > 3) out += QStringLiteral(" and %1 more").arg(values.size() - 3);
    return out;
}

void note(QStringList& notes, const QString& sentence) {
    if (!notes.contains(sentence)) notes.append(sentence);
}

// The catalogue's spelling, or why there is none.
std::optional<QString> named(const QStringList& catalogue, const QString& wanted, const char* which, QString* why) {
    QStringList alike;
    if (const auto name = CatalogueName::resolve(catalogue, wanted, &alike)) return name;
    *why = QStringLiteral("the %1 catalogue has no %2").arg(QLatin1String(which), CapError::quoted(wanted));
    if (alike.size() > 1)
        *why = QStringLiteral("the %1 catalogue has %2 but not %3 exactly")
                   .arg(QLatin1String(which), quotedList(alike), CapError::quoted(wanted));
    return std::nullopt;
}

} // namespace

CapIntake::Action CapIntake::actionFor(const CapAlert& a, const Rules& rules) {
    if (a.status != u"Actual" && !rules.exercise)
        throw CapError(
            QStringLiteral("<status> is \"%1\"; only Actual alerts are sent unless --exercise is given").arg(a.status));
    if (a.msgType == u"Ack" || a.msgType == u"Error")
        throw CapError(
            QStringLiteral("<msgType> is \"%1\"; halvane-send takes Alert, Update and Cancel messages").arg(a.msgType));
    for (const auto& [name, value] : {std::pair{"identifier", &a.identifier}, std::pair{"sender", &a.sender}})
        if (value->size() > kMostNameLength)
            throw CapError(QStringLiteral("<%1> has %2 characters; this system keeps no more than %3")
                               .arg(QLatin1String(name))
                               .arg(value->size())
                               .arg(kMostNameLength));
    if (a.references.isEmpty()) {
        if (a.msgType == u"Cancel")
            throw CapError(QStringLiteral("<alert> has no <references>: a Cancel must name the alert it cancels"));
        if (a.msgType == u"Update")
            throw CapError(QStringLiteral("<alert> has no <references>: an Update must name the alert it updates"));
    }

    const QDateTime sent = timeOf(a.sent);
    if (!sent.isValid()) throw CapError(QStringLiteral("<sent> is not a CAP time"));
    const qint64 ahead = rules.now.secsTo(sent);
    if (ahead > site::kClockToleranceSeconds)
        throw CapError(QStringLiteral("<sent> is %1, %2 ahead of this computer's clock; the clocks of a site agree "
                                      "within %3 seconds")
                           .arg(a.sent, wording::duration(ahead))
                           .arg(site::kClockToleranceSeconds),
                       true);

    const QString maxAge =
        QStringLiteral("%1 (--max-age %2)").arg(wording::duration(rules.maxAgeSeconds)).arg(rules.maxAgeSeconds);
    const qint64 age = qMax<qint64>(0, sent.secsTo(rules.now));
    if (a.infos.isEmpty() ? age > rules.maxAgeSeconds : considered(a, rules).isEmpty()) {
        QString lastExpiry;
        bool allExpire = !a.infos.isEmpty();
        for (const CapAlert::Info& info : a.infos) {
            if (info.expires.isEmpty()) {
                allExpire = false;
            } else if (lastExpiry.isEmpty() || timeOf(info.expires) > timeOf(lastExpiry)) {
                lastExpiry = info.expires;
            }
        }
        if (allExpire) throw CapError(QStringLiteral("every <info> has expired, the last at %1").arg(lastExpiry));
        if (lastExpiry.isEmpty())
            throw CapError(QStringLiteral("it was sent %1 ago and gives no <expires>; such a message is taken only for "
                                          "%2 after it was sent")
                               .arg(wording::duration(age), maxAge));
        throw CapError(
            QStringLiteral("every <info> has expired or, without <expires>, was sent more than %1 ago").arg(maxAge));
    }

    if (a.msgType == u"Cancel" || (a.msgType == u"Update" && allClear(a))) return Action::Cancel;
    if (a.infos.isEmpty()) throw CapError(QStringLiteral("<alert> has no <info>: its <event> names the code to send"));
    return Action::Submit;
}

QList<const CapAlert::Info*> CapIntake::considered(const CapAlert& a, const Rules& rules) {
    const QDateTime sent = timeOf(a.sent);
    QList<const CapAlert::Info*> live;
    for (const CapAlert::Info& info : a.infos)
        if (current(info, sent, rules)) live.append(&info);
    if (live.isEmpty()) return live;

    auto only = [&](const std::function<bool(const QString&)>& fits) {
        QList<const CapAlert::Info*> out;
        for (const CapAlert::Info* info : std::as_const(live))
            if (fits(languageOf(*info))) out.append(info);
        return out;
    };
    if (!rules.language.isEmpty()) {
        auto exact = only([&](const QString& l) { return l.compare(rules.language, Qt::CaseInsensitive) == 0; });
        if (!exact.isEmpty()) return exact;
        auto near = only(
            [&](const QString& l) { return primary(l).compare(primary(rules.language), Qt::CaseInsensitive) == 0; });
        if (!near.isEmpty()) return near;
    }
    const QString first = languageOf(*live.front());
    return only([&](const QString& l) { return l.compare(first, Qt::CaseInsensitive) == 0; });
}

bool CapIntake::allClear(const CapAlert& a) {
    if (a.infos.isEmpty()) return false;
    for (const CapAlert::Info& info : a.infos)
        if (!info.responseTypes.contains(QStringLiteral("AllClear"))) return false;
    return true;
}

QString CapIntake::message(const CapAlert::Info& info, const QString& standingComments) {
    QStringList lines;
    if (!info.headline.isEmpty() && info.headline.trimmed() != info.event.trimmed()) lines << info.headline;
    if (!info.description.isEmpty()) lines << info.description;
    if (!info.instruction.isEmpty() && info.instruction.trimmed() != standingComments.trimmed())
        lines << info.instruction;
    return lines.join(u'\n');
}

CapIntake::Targets CapIntake::targets(const QList<const CapAlert::Info*>& infos, const CapMapping* mapping,
                                      const QStringList& codes, const QStringList& locations) {
    Targets out;
    QStringList beyond;
    for (const CapAlert::Info* info : infos) {
        const QString event = CapError::quoted(info->event);
        QString why;
        std::optional<QString> code;
        if (mapping) {
            const std::optional<QString> mapped = mapping->codeFor(*info);
            if (!mapped) {
                note(out.leftOut, QStringLiteral("no code is mapped for the event %1").arg(event));
                continue;
            }
            code = named(codes, *mapped, "codes", &why);
            if (!code) {
                note(out.leftOut, QStringLiteral("the mapping gives the event %1 a code that %2").arg(event, why));
                continue;
            }
        } else {
            code = named(codes, info->event, "codes", &why);
            if (!code) {
                note(out.leftOut, QStringLiteral("the event names no code: %1").arg(why));
                continue;
            }
        }
        if (info->areas.isEmpty()) {
            note(out.leftOut, QStringLiteral("the <info> for the event %1 has no <area>").arg(event));
            continue;
        }

        QStringList wanted;
        if (mapping) {
            wanted = mapping->locationsFor(info->areas);
            if (wanted.isEmpty()) {
                QStringList areas;
                for (const CapAlert::Area& area : info->areas)
                    areas << area.areaDesc;
                note(out.leftOut, QStringLiteral("no location is mapped for the areas of the event %1: %2")
                                      .arg(event, quotedList(areas)));
                continue;
            }
        } else {
            for (const CapAlert::Area& area : info->areas)
                if (!wanted.contains(area.areaDesc)) wanted << area.areaDesc;
        }
        for (const QString& w : std::as_const(wanted)) {
            const std::optional<QString> location = named(locations, w, "locations", &why);
            if (!location) {
                note(out.leftOut, mapping ? QStringLiteral("the mapping gives a location that %1").arg(why)
                                          : QStringLiteral("the area names no location: %1").arg(why));
                continue;
            }
            bool taken = false;
            for (const Target& t : std::as_const(out.alerts))
                taken = taken || t.location == *location;
            if (taken || beyond.contains(*location)) continue;
            if (out.alerts.size() == kMostAlerts) {
                beyond << *location;
                continue;
            }
            out.alerts.append({*code, *location, info, info->severity == u"Extreme" && info->urgency == u"Immediate"});
        }
    }
    if (!beyond.isEmpty())
        note(out.leftOut, QStringLiteral("one message sends no more than %1 alerts; left out: %2")
                              .arg(kMostAlerts)
                              .arg(quotedList(beyond)));
    return out;
}

} // namespace hv
