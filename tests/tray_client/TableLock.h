#pragma once

#include "Connection.h"
#include "TestDb.h"

#include <QStringList>
#include <memory>

// Another session holding table locks, as a long ALTER TABLE or a backup would: the tables stay
// write-locked for as long as this object lives.
class TableLock {
public:
    explicit TableLock(const QStringList& tables)
        : m_conn(std::make_unique<hv::Connection>(hv::DatabaseNode(testdb::host()))) {
        QStringList parts;
        for (const QString& t : tables)
            parts << t + QStringLiteral(" WRITE");
        m_conn->execute(QStringLiteral("LOCK TABLES ") + parts.join(QStringLiteral(", ")));
    }
    ~TableLock() { release(); }

    void release() {
        if (!m_conn) return;
        m_conn->execute(QStringLiteral("UNLOCK TABLES"));
        m_conn.reset();
    }

    // How many other sessions wait for one of the locks right now.
    static int waiting() {
        return testdb::scalar(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE STATE LIKE "
                                             "'Waiting for table%lock'"))
            .toInt();
    }

private:
    std::unique_ptr<hv::Connection> m_conn;
};
