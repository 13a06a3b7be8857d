#include "TraySettingsStore.h"

#include "Connection.h"
#include "StatementBounds.h"

namespace hv {

bool TraySettingsStore::readAloud() {
    QList<QSqlRecord> rows;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        rows = connection.select(QStringLiteral("SELECT ReadAloud FROM traysettings WHERE ID = 1"));
    });
    return !rows.isEmpty() && rows.front().value(0).toInt() != 0;
}

void TraySettingsStore::saveReadAloud(bool on) {
    // The same value written twice is the same row: safe to run again on the next node.
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        connection.execute(QStringLiteral("INSERT INTO traysettings (ID, ReadAloud) VALUES (1, ?) "
                                          "ON DUPLICATE KEY UPDATE ReadAloud = VALUES(ReadAloud)"),
                           {QVariant(on ? 1 : 0)});
    });
}

} // namespace hv
