#include "TestDb.h"

#include "Connection.h"
#include "ConnectionString.h"

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

namespace testdb {

QString host() {
    return QStringLiteral("127.0.0.1");
}
QString hostUnreachable() {
    return QStringLiteral("127.0.0.9");
}

void adminExec(const QString& sql) {
    const QString socket = qEnvironmentVariable("HALVANE_STATE") + QStringLiteral("/db/mariadb.sock");
    const QString name = QStringLiteral("halvane-test-admin");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
        db.setUserName(QStringLiteral("root"));
        db.setPassword(QLatin1String(hv::kDatabasePassword));
        db.setConnectOptions(QStringLiteral("UNIX_SOCKET=") + socket);
        if (!db.open())
            qFatal("cannot reach the test server's admin socket %s: %s", qPrintable(socket),
                   qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql)) qFatal("admin statement failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

static const char* kRestore = "ALTER USER root@'127.0.0.1' IDENTIFIED BY 'KTVB58027'";

WrongPassword::WrongPassword() {
    adminExec(QStringLiteral("ALTER USER root@'127.0.0.1' IDENTIFIED BY 'NotTheProducts1'"));
}
WrongPassword::~WrongPassword() {
    adminExec(QLatin1String(kRestore));
}

ReadOnlyRights::ReadOnlyRights() {
    adminExec(QStringLiteral("REVOKE ALL PRIVILEGES, GRANT OPTION FROM root@'127.0.0.1'"));
    adminExec(QStringLiteral("GRANT SELECT ON halvane.* TO root@'127.0.0.1'"));
}
ReadOnlyRights::~ReadOnlyRights() {
    adminExec(QStringLiteral("REVOKE ALL PRIVILEGES, GRANT OPTION FROM root@'127.0.0.1'"));
    adminExec(QStringLiteral("GRANT ALL PRIVILEGES ON *.* TO root@'127.0.0.1' WITH GRANT OPTION"));
}

static hv::DatabaseNode node() {
    return hv::DatabaseNode(host());
}

bool available(QString* why) {
    try {
        hv::Connection c(node());
        c.select(QStringLiteral("SELECT 1"));
        return true;
    } catch (const hv::Failure& f) {
        if (why) *why = QStringLiteral("%1 %2").arg(f.number()).arg(f.description());
        return false;
    }
}

void reset() {
    hv::Connection c(node());
    for (const char* t : {"alerts", "AlertLog", "codes", "locations", "users", "properties"})
        c.execute(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
    c.execute(QStringLiteral("ALTER TABLE alerts AUTO_INCREMENT = 1"));
    c.execute(QStringLiteral("ALTER TABLE AlertLog AUTO_INCREMENT = 1"));
    c.execute(QStringLiteral("INSERT INTO properties (TraysToolTipText) VALUES ('Halvane test tip')"));
    for (const QSqlRecord& t : c.select(QStringLiteral(
             "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'halvane' AND "
             "TABLE_NAME IN ('workstations', 'receipts', 'cancellations', 'traysettings', 'capmessages', "
             "'receiptorigins', 'workstationreports', 'submissions', 'audiences', 'audiencepatterns', 'codereach', "
             "'locationaudiences', 'alertaudiences', 'alertpatterns', 'codepresentations', 'alertpresentations', "
             "'answers')")))
        c.execute(QStringLiteral("DELETE FROM %1").arg(t.value(0).toString()));
}

void dropDeliveryTables() {
    exec(QStringLiteral("DROP TABLE IF EXISTS receipts, workstations"));
}

bool applyUpgrade(QString* output) {
    const QString source = qEnvironmentVariable("HALVANE_SOURCE_DIR");
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(source + QStringLiteral("/db/upgrade.sql"));
    p.start(QStringLiteral("bash"), {source + QStringLiteral("/scripts/dbserver"), QStringLiteral("sql")});
    const bool done = p.waitForFinished(60000);
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void exec(const QString& sql, const QVariantList& binds) {
    hv::Connection c(node());
    c.execute(sql, binds);
}

void upgrade() {
    QString output;
    if (!applyUpgrade(&output)) qFatal("db/upgrade.sql did not apply: %s", qPrintable(output));
}

QList<QSqlRecord> rows(const QString& sql, const QVariantList& binds) {
    hv::Connection c(node());
    return c.select(sql, binds);
}

QVariant scalar(const QString& sql, const QVariantList& binds) {
    const auto r = rows(sql, binds);
    return r.isEmpty() ? QVariant() : r.front().value(0);
}

static bool fixture(const QString& verb) {
    const QString script = qEnvironmentVariable("HALVANE_DB_FIXTURE");
    if (script.isEmpty()) return false;
    QProcess p;
    p.start(QStringLiteral("bash"), {script, verb});
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

bool stopServer() {
    return fixture(QStringLiteral("stop"));
}
bool startServer() {
    return fixture(QStringLiteral("restart-only"));
}

} // namespace testdb
