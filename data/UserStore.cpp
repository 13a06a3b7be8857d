#include "UserStore.h"

#include "Connection.h"
#include "StatementBounds.h"

#include <QSqlRecord>

namespace hv {

bool UserStore::login(const QString& user, const QString& password) {
    bool found = false;
    m_servers.run(consoleConnectionOptions(m_access), [&](Connection& connection) {
        for (const QSqlRecord& r :
             connection.select(QStringLiteral("Select Username, Password From users ORDER BY Username"))) {
            const QVariant name = r.value(0);
            const QVariant word = r.value(1);
            if (!name.isNull() && !word.isNull() && name.toString() == user && word.toString() == password) {
                found = true;
                return;
            }
        }
    });
    return found;
}

} // namespace hv
