#include "PropertiesStore.h"

#include "CheckedWrite.h"
#include "Connection.h"
#include "StatementBounds.h"

namespace hv {

bool PropertiesStore::saveToolTipText(const QString& text) {
    qint64 matched = 0;
    CheckedWrite change;
    change.write = [&](Connection& connection) {
        // Rows matched, not rows changed: saving the same text again is still a save.
        matched =
            connection.execute(QStringLiteral("UPDATE properties SET TraysToolTipText = ? LIMIT 1"), {QVariant(text)});
    };
    change.landed = [&](Connection& connection) {
        return matched == 0 ||
               connection
                       .select(
                           QStringLiteral("SELECT COUNT(*) FROM properties WHERE BINARY TraysToolTipText = BINARY ?"),
                           {QVariant(text)})
                       .value(0)
                       .value(0)
                       .toLongLong() > 0;
    };
    change.run(m_servers, consoleConnectionOptions(m_access, true));
    return matched > 0;
}

} // namespace hv
