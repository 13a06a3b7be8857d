#include "WakeMessage.h"

#include "HostPattern.h"
#include "SiteFacts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace hv {

namespace {

// The columns of the alerts row each value comes from hold no more than this.
constexpr qsizetype kNameLength = 255;
constexpr qsizetype kMessageLength = 600;
constexpr qsizetype kAudienceNameLength = 64;

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

std::optional<QString> textOf(const QJsonObject& o, const char* key, qsizetype longest) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return std::nullopt;
    const QString text = v.toString();
    if (text.size() > longest) return std::nullopt;
    return text;
}

} // namespace

WakeMessage WakeMessage::alert(const QString& site, const SavedAlert& saved) {
    WakeMessage m;
    m.kind = Kind::Alert;
    m.site = site;
    m.id = saved.alertId;
    m.codeDate = saved.codeDate;
    m.codeTime = saved.codeTime;
    m.codeName = saved.codeName;
    m.codeLocation = saved.codeLocation;
    m.codeMessage = saved.codeMessage;
    m.comments = saved.comments;
    m.audience = saved.audience;
    m.presentation = saved.presentation;
    return m;
}

WakeMessage WakeMessage::cancel(const QString& site, qint64 id, const QDate& codeDate, const QTime& codeTime) {
    WakeMessage m;
    m.kind = Kind::Cancel;
    m.site = site;
    m.id = id;
    m.codeDate = codeDate;
    m.codeTime = codeTime;
    return m;
}

QByteArray WakeMessage::encode() const {
    QJsonObject o;
    o.insert(QStringLiteral("halvane"), kFormat);
    o.insert(QStringLiteral("site"), site);
    o.insert(QStringLiteral("kind"), kind == Kind::Alert ? QStringLiteral("alert") : QStringLiteral("cancel"));
    o.insert(QStringLiteral("id"), double(id));
    o.insert(QStringLiteral("date"), codeDate.toString(kDateFormat));
    o.insert(QStringLiteral("time"), codeTime.toString(kTimeFormat));
    if (kind == Kind::Alert) {
        o.insert(QStringLiteral("code"), codeName);
        o.insert(QStringLiteral("location"), codeLocation);
        o.insert(QStringLiteral("message"), codeMessage);
        o.insert(QStringLiteral("comments"), comments);
        if (audience) {
            QJsonObject a;
            a.insert(QStringLiteral("name"), audience->name);
            a.insert(QStringLiteral("patterns"), QJsonArray::fromStringList(audience->patterns));
            o.insert(QStringLiteral("audience"), a);
        }
        if (presentation) {
            QJsonObject p;
            p.insert(QStringLiteral("fullscreen"), presentation->fullScreen);
            p.insert(QStringLiteral("untilanswered"), presentation->untilAnswered);
            p.insert(QStringLiteral("answers"), QJsonArray::fromStringList(presentation->answers));
            p.insert(QStringLiteral("help"), presentation->helpAnswer);
            o.insert(QStringLiteral("presentation"), p);
        }
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

ParsedWake WakeMessage::parse(const QByteArray& payload, const QString& site) {
    ParsedWake out;
    if (payload.size() > kMaxBytes) {
        out.drop = Drop::TooLarge;
        return out;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return out;
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("halvane")).toInt(-1) != kFormat) return out;
    const QJsonValue siteValue = o.value(QStringLiteral("site"));
    if (!siteValue.isString()) return out;
    if (siteValue.toString() != site) {
        out.drop = Drop::OtherSite;
        return out;
    }

    WakeMessage m;
    m.site = site;
    const QString kind = o.value(QStringLiteral("kind")).toString();
    if (kind == u"alert")
        m.kind = Kind::Alert;
    else if (kind == u"cancel")
        m.kind = Kind::Cancel;
    else
        return out;
    // JSON numbers are doubles: an ID is a whole number the INT column can hold.
    const QJsonValue idValue = o.value(QStringLiteral("id"));
    const double id = idValue.toDouble(-1);
    if (!idValue.isDouble() || id < 1 || id > 2147483647.0 || std::floor(id) != id) return out;
    m.id = qint64(id);
    const QString date = o.value(QStringLiteral("date")).toString();
    const QString time = o.value(QStringLiteral("time")).toString();
    m.codeDate = QDate::fromString(date, kDateFormat);
    m.codeTime = QTime::fromString(time, kTimeFormat);
    if (!m.codeDate.isValid() || !m.codeTime.isValid() || date.size() != 10 || time.size() != 8) return out;

    if (m.kind == Kind::Alert) {
        const auto name = textOf(o, "code", kNameLength);
        const auto location = textOf(o, "location", kNameLength);
        const auto message = textOf(o, "message", kMessageLength);
        const auto comments = textOf(o, "comments", kNameLength);
        if (!name || !location || !message || !comments) return out;
        m.codeName = *name;
        m.codeLocation = *location;
        m.codeMessage = *message;
        m.comments = *comments;
        // Either no audience at all (everyone) or one that can be judged in full.
        if (o.contains(QStringLiteral("audience"))) {
            const QJsonObject a = o.value(QStringLiteral("audience")).toObject();
            const auto audienceName = textOf(a, "name", kAudienceNameLength);
            const QJsonValue patterns = a.value(QStringLiteral("patterns"));
            if (!audienceName || !patterns.isArray() || patterns.toArray().isEmpty()) return out;
            AlertAudience audience{*audienceName, {}};
            for (const QJsonValue& p : patterns.toArray()) {
                if (!p.isString() || !hostpattern::problemWith(p.toString()).isEmpty()) return out;
                audience.patterns << p.toString();
            }
            m.audience = audience;
        }
        // Either none (the balloon) or one that can be shown in full.
        if (o.contains(QStringLiteral("presentation"))) {
            const QJsonObject p = o.value(QStringLiteral("presentation")).toObject();
            const QJsonValue answers = p.value(QStringLiteral("answers"));
            const QJsonValue help = p.value(QStringLiteral("help"));
            if (!p.value(QStringLiteral("fullscreen")).isBool() || !p.value(QStringLiteral("untilanswered")).isBool() ||
                !answers.isArray() || !help.isDouble())
                return out;
            AlertPresentation presentation;
            presentation.fullScreen = p.value(QStringLiteral("fullscreen")).toBool();
            presentation.untilAnswered = p.value(QStringLiteral("untilanswered")).toBool();
            for (const QJsonValue& a : answers.toArray()) {
                if (!a.isString()) return out;
                presentation.answers << a.toString();
            }
            presentation.helpAnswer = help.toInt(-2);
            if (presentation.helpAnswer < -1 || !presentation.problem().isEmpty()) return out;
            m.presentation = presentation;
        }
    }
    out.message = m;
    return out;
}

bool WakeMessage::plausibleAt(const QDateTime& localNow) const {
    const qint64 age = QDateTime(codeDate, codeTime).secsTo(localNow);
    return age > -site::kClockToleranceSeconds && age < site::kAlertWindowSeconds + site::kClockToleranceSeconds;
}

bool WakeMessage::isFor(const QString& hostName) const {
    if (!audience) return true;
    for (const QString& pattern : audience->patterns)
        if (hostpattern::matches(pattern, hostName)) return true;
    return false;
}

} // namespace hv
