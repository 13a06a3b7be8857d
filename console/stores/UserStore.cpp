#include "stores/UserStore.h"

#include "Connection.h"
#include "stores/ConsoleBounds.h"

#include <QSqlRecord>

namespace hv {

bool UserStore::login(const QString& user, const QString& password) {
    Connection connection(m_connectionString, consoleConnectionOptions(m_access));
    for (const QSqlRecord& r :
         connection.select(QStringLiteral("Select Username, Password From users ORDER BY Username"))) {
        const QVariant name = r.value(0);
        const QVariant word = r.value(1);
        if (!name.isNull() && !word.isNull() && name.toString() == user && word.toString() == password) return true;
    }
    return false;
}

} // namespace hv
