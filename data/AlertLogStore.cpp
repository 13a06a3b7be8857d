#include "AlertLogStore.h"

#include "Connection.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

void AlertLogStore::forEach(const std::optional<QDate>& since, const std::function<void(const LoggedAlert&)>& fn) {
    const QString columns =
        QStringLiteral("SELECT ID, CodeName, CodeMessage, CodeDate, CodeTime, CodeLocation, Comments FROM AlertLog");
    const QString order = QStringLiteral(" ORDER BY CodeDate DESC, CodeTime DESC, ID DESC");
    QString sql = columns + order;
    QVariantList binds;
    if (since) {
        sql = columns + QStringLiteral(" WHERE CodeDate >= CAST(? AS DATE)") + order;
        binds << since->toString(QStringLiteral("yyyy-MM-dd"));
    }
    // What was written out cannot be taken back: another node takes over only before the first row.
    m_servers.stream(consoleConnectionOptions(m_access), [&](Connection& connection, bool& handedOn) {
        connection.forEach(sql, binds, [&](const QSqlRecord& row) {
            LoggedAlert a;
            a.id = row.value(0).toLongLong();
            a.codeName = textOf(row.value(1));
            a.codeMessage = textOf(row.value(2));
            a.codeDate = row.value(3).toDate();
            a.codeTime = row.value(4).toTime();
            a.codeLocation = textOf(row.value(5));
            a.comments = textOf(row.value(6));
            handedOn = true;
            fn(a);
        });
    });
}

} // namespace hv
