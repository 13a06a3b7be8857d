#include "AlertAudiences.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "Failure.h"
#include "HostPattern.h"

#include <QSqlRecord>

namespace hv {

namespace {

QVariantList keyOf(const SavedAlert& alert) {
    return {alert.codeDate.toString(QStringLiteral("yyyy-MM-dd")), alert.codeTime.toString(QStringLiteral("HH:mm:ss")),
            alert.alertId};
}

} // namespace

std::optional<AlertAudience> AlertAudiences::resolve(Connection& connection, const QString& codeName,
                                                     const QString& codeLocation) {
    if (m_unavailable) return std::nullopt;
    try {
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral("SELECT a.ID, a.AudienceName FROM codereach r JOIN locationaudiences l ON "
                           "l.CodeLocation = ? JOIN audiences a ON a.ID = l.AudienceID WHERE r.CodeName = ? AND "
                           "r.LocationOnly = 1"),
            {codeLocation, codeName});
        if (found.isEmpty()) return std::nullopt;
        AlertAudience audience;
        audience.name = found.front().value(1).toString();
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("SELECT Pattern FROM audiencepatterns WHERE AudienceID = ? ORDER BY "
                                              "Pattern"),
                               {found.front().value(0)}))
            audience.patterns << r.value(0).toString();
        if (audience.patterns.isEmpty()) return std::nullopt;
        return audience;
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        m_unavailable = true;
        return std::nullopt;
    }
}

void AlertAudiences::write(Connection& connection, SavedAlert& alert) {
    if (m_unavailable) alert.audience.reset();
    if (!alert.audience) return;
    try {
        connection.execute(QStringLiteral("INSERT INTO alertaudiences (CodeDate, CodeTime, AlertID, AudienceID, "
                                          "AudienceName, LogID) VALUES (?, ?, ?, (SELECT ID FROM audiences WHERE "
                                          "AudienceName = ?), ?, ?)"),
                           keyOf(alert) + QVariantList{alert.audience->name, alert.audience->name, alert.logId});
        for (const QString& pattern : alert.audience->patterns)
            connection.execute(QStringLiteral("INSERT INTO alertpatterns (CodeDate, CodeTime, AlertID, Pattern, "
                                              "LikePattern) VALUES (?, ?, ?, ?, ?)"),
                               keyOf(alert) + QVariantList{pattern, hostpattern::likeForm(pattern)});
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        // Refused at its first row (rights go by table): what the poll goes by, the patterns, is
        // not there, and the alert reaches everyone, as its wake-up message will then say.
        m_unavailable = true;
        alert.audience.reset();
    }
}

std::optional<AlertAudience> AlertAudiences::read(Connection& connection, const SavedAlert& alert) {
    try {
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral(
                "SELECT AudienceName FROM alertaudiences WHERE CodeDate = ? AND CodeTime = ? AND AlertID = ?"),
            keyOf(alert));
        if (found.isEmpty()) return std::nullopt;
        AlertAudience audience;
        audience.name = found.front().value(0).toString();
        for (const QSqlRecord& r : connection.select(
                 QStringLiteral("SELECT Pattern FROM alertpatterns WHERE CodeDate = ? AND CodeTime = ? AND AlertID = ? "
                                "ORDER BY Pattern"),
                 keyOf(alert)))
            audience.patterns << r.value(0).toString();
        return audience;
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        return std::nullopt;
    }
}

} // namespace hv
