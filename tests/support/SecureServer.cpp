#include "SecureServer.h"

#include "ConnectionString.h"

#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString sourceDir() {
    return qEnvironmentVariable("HALVANE_SOURCE_DIR");
}

QString output(QProcess& p) {
    return QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError()).trimmed();
}

} // namespace

SecureServer::SecureServer() : m_state(qEnvironmentVariable("HALVANE_STATE") + QStringLiteral("-secure")) {}

SecureServer::~SecureServer() {
    stop();
}

QString SecureServer::tlsFile(const QString& name) const {
    return m_state + QStringLiteral("/db/tls/") + name;
}

bool SecureServer::script(const QStringList& args, QString* error) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HALVANE_STATE"), m_state);
    env.insert(QStringLiteral("HALVANE_DB_BIND"), host());
    env.insert(QStringLiteral("HALVANE_DB_TLS_CERT"), m_presented);
    p.setProcessEnvironment(env);
    p.start(sourceDir() + QStringLiteral("/scripts/dbserver"), args);
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
    if (error) *error = QStringLiteral("scripts/dbserver %1 failed: %2").arg(args.join(u' '), output(p));
    return false;
}

bool SecureServer::makeAccounts(const QStringList& clientOptions, QString* error) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MORVIKPASSWORD"), trayPassword());
    env.insert(QStringLiteral("HALVANEPASSWORD"), consolePassword());
    p.setProcessEnvironment(env);
    p.start(sourceDir() + QStringLiteral("/db/accounts"), QStringList{QStringLiteral("--no-defaults")} + clientOptions);
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
    if (error) *error = QStringLiteral("db/accounts failed: %1").arg(output(p));
    return false;
}

bool SecureServer::start(QString* error) {
    if (sourceDir().isEmpty() || qEnvironmentVariable("HALVANE_STATE").isEmpty()) {
        if (error)
            *error = QStringLiteral("HALVANE_SOURCE_DIR and HALVANE_STATE are not set; run the tests through ctest");
        return false;
    }
    m_started = true;
    if (!script({QStringLiteral("start"), QStringLiteral("--tls")}, error)) return false;
    if (!script({QStringLiteral("reset")}, error)) return false;
    const QString socket = m_state + QStringLiteral("/db/mariadb.sock");
    if (!makeAccounts({QStringLiteral("--protocol=socket"), QStringLiteral("--socket=") + socket,
                       QStringLiteral("-uroot"), QStringLiteral("-p") + QLatin1String(hv::kDatabasePassword)},
                      error))
        return false;
    adminExec(QStringLiteral("DROP USER IF EXISTS root@'127.0.0.1'"));
    return true;
}

bool SecureServer::present(const QString& certificate, QString* error) {
    if (!script({QStringLiteral("stop")}, error)) return false;
    m_presented = certificate;
    return script({QStringLiteral("start"), QStringLiteral("--tls")}, error);
}

void SecureServer::stop() {
    if (!m_started) return;
    m_started = false;
    script({QStringLiteral("stop")}, nullptr);
}

hv::DatabaseAccess SecureServer::trayAccess() const {
    hv::DatabaseAccess a;
    a.user = trayUser();
    a.password = trayPassword();
    a.tls = true;
    a.sslCa = caFile();
    return a;
}

hv::DatabaseAccess SecureServer::consoleAccess() const {
    hv::DatabaseAccess a = trayAccess();
    a.user = consoleUser();
    a.password = consolePassword();
    return a;
}

QVariant SecureServer::adminScalar(const QString& sql) const {
    const QString name = QStringLiteral("halvane-secure-admin");
    QVariant result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), name);
        db.setUserName(QStringLiteral("root"));
        db.setPassword(QLatin1String(hv::kDatabasePassword));
        db.setDatabaseName(QStringLiteral("halvane"));
        db.setConnectOptions(QStringLiteral("UNIX_SOCKET=") + m_state + QStringLiteral("/db/mariadb.sock"));
        if (!db.open()) qFatal("cannot reach the secure server's admin socket: %s", qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        if (!q.exec(sql)) qFatal("admin statement failed: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        if (q.next()) result = q.value(0);
        q = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return result;
}

void SecureServer::adminExec(const QString& sql) const {
    adminScalar(sql);
}
