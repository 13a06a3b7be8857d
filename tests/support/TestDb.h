#pragma once

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

// The private test server as the tests reach it directly (never through product code).
namespace testdb {

QString host();            // 127.0.0.1: the product's own account
QString hostUnreachable(); // a loopback address where nothing listens

// Runs a statement as the server's administrator over its local socket, outside the product's
// account, so that a test can change that account.
void adminExec(const QString& sql);

// While one of these lives, the server refuses the product's password / lets it only read.
struct WrongPassword {
    WrongPassword();
    ~WrongPassword();
};
struct ReadOnlyRights {
    ReadOnlyRights();
    ~ReadOnlyRights();
};

// Fails the running test with a clear message when the server is not there.
bool available(QString* why = nullptr);
// Empties all six tables and the newer tables (where the database has them) and puts back the
// single properties row; no workstation setting is on.
void reset();
// Takes the delivery tables away, as in a database made before they existed.
void dropDeliveryTables();
// Applies db/upgrade.sql with the server's own client, as the README tells an administrator to;
// true when the client succeeded. Its output goes to `output`.
bool applyUpgrade(QString* output = nullptr);
void exec(const QString& sql, const QVariantList& binds = {});
// Runs db/upgrade.sql on the test database, as an administrator would on an older one.
void upgrade();
QList<QSqlRecord> rows(const QString& sql, const QVariantList& binds = {});
QVariant scalar(const QString& sql, const QVariantList& binds = {});
// Stops or starts the server through the fixture script (for outage tests).
bool stopServer();
bool startServer();

} // namespace testdb

#define REQUIRE_DB()                                                                                                   \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!testdb::available(&why_))                                                                                 \
            QFAIL(qPrintable(QStringLiteral("the private MariaDB server is not running on 127.0.0.1:3306 (%1); "       \
                                            "run the tests through ctest, which starts it")                            \
                                 .arg(why_)));                                                                         \
    } while (0)
