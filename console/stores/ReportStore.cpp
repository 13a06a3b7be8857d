#include "stores/ReportStore.h"

#include "Connection.h"
#include "stores/ConsoleBounds.h"

namespace hv {

ReportStore::Query ReportStore::allAlerts() {
    return {QStringLiteral("Select * From AlertLog ORDER By CodeDate DESC, CodeTime DESC"), {}};
}

ReportStore::Query ReportStore::alertSearch(const QString& search, const QDate& from, const QDate& to) {
    // The dates travel as DATE values.
    return {QStringLiteral("Select * From AlertLog WHERE CodeName LIKE ? ESCAPE '!' AND CodeDate Between ? AND ?"),
            {likePrefix(search), from, to}};
}

ReportStore::Query ReportStore::users() {
    return {QStringLiteral("Select * From users ORDER By UserName"), {}};
}

ReportStore::Query ReportStore::codes() {
    return {QStringLiteral("Select * From codes ORDER By CodeName"), {}};
}

ReportStore::Query ReportStore::locations() {
    return {QStringLiteral("Select * From locations ORDER By CodeLocation"), {}};
}

ReportStore::Query ReportStore::properties() {
    return {QStringLiteral("Select * From properties"), {}};
}

QString ReportStore::likePrefix(const QString& search) {
    QString pattern;
    pattern.reserve(search.size() + 2);
    for (const QChar c : search) {
        if (c == u'!' || c == u'%' || c == u'_') pattern += u'!';
        pattern += c;
    }
    return pattern + u'%';
}

void ReportStore::readRows(const Query& query, const std::function<void(const QSqlRecord&)>& row) {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access));
    connection.forEach(query.statement, query.binds, row);
}

} // namespace hv
