#include "stores/TraySettingsStore.h"

#include "Connection.h"
#include "stores/ConsoleBounds.h"

namespace hv {

bool TraySettingsStore::readAloud() {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access));
    const QList<QSqlRecord> rows = connection.select(QStringLiteral("SELECT ReadAloud FROM traysettings WHERE ID = 1"));
    return !rows.isEmpty() && rows.front().value(0).toInt() != 0;
}

void TraySettingsStore::saveReadAloud(bool on) {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access));
    connection.execute(QStringLiteral("INSERT INTO traysettings (ID, ReadAloud) VALUES (1, ?) "
                                      "ON DUPLICATE KEY UPDATE ReadAloud = VALUES(ReadAloud)"),
                       {QVariant(on ? 1 : 0)});
}

} // namespace hv
