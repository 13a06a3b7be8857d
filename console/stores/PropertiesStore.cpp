#include "stores/PropertiesStore.h"

#include "Connection.h"
#include "stores/ConsoleBounds.h"

namespace hv {

bool PropertiesStore::saveToolTipText(const QString& text) {
    // Rows matched, not rows changed: saving the same text again is still a save.
    Connection connection(m_connectionString, consoleConnectionOptions(m_access, true));
    return connection.execute(QStringLiteral("UPDATE properties SET TraysToolTipText = ? LIMIT 1"), {QVariant(text)}) >
           0;
}

} // namespace hv
