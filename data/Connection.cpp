#include "Connection.h"

#include "ConnectionString.h"
#include "DatabaseErrors.h"
#include "TlsCipher.h"
#include "TlsEnforcement.h"

#include <QAtomicInteger>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace hv {

namespace {

QAtomicInteger<quint64> g_nextConnection{0};

} // namespace

Failure Connection::failureFrom(const QSqlError& error) {
    bool ok = false;
    const int native = error.nativeErrorCode().toInt(&ok);
    const QString text = error.text();
    if (!ok || native == 0) {
        // Qt reports a lost or unopened connection without a server number.
        if (error.type() == QSqlError::ConnectionError) return Failure(code::CannotOpen, text);
        return Failure(code::Unexpected, text);
    }
    return Failure(dberror::numberFor(native), text, native);
}

Connection::Connection(const DatabaseNode& node, const ConnectionOptions& options)
    : m_name(QStringLiteral("halvane-%1").arg(++g_nextConnection)) {
    // An empty host would silently fall back to the local socket; it names no server, so it
    // cannot be reached.
    if (node.host.trimmed().isEmpty()) throw Failure(code::CannotOpen, QStringLiteral("No database server host name"));
    // Checked before the driver is set up: with TLS asked for, nothing goes out in plain text.
    const QStringList tls = options.access.tlsConnectOptions();

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QMYSQL"), m_name);
    if (!db.isValid()) {
        QSqlDatabase::removeDatabase(m_name);
        throw Failure(code::CannotOpen, QStringLiteral("The MySQL client driver (QMYSQL) is not available"));
    }
    // "localhost" would make the client use a local socket; the server is reached over TCP.
    QString host = node.host;
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) host = QStringLiteral("127.0.0.1");
    db.setHostName(host);
    db.setPort(node.port > 0 ? node.port : kDatabasePort);
    db.setDatabaseName(QLatin1String(kDatabaseName));
    const bool ownAccount = !options.access.user.isEmpty();
    db.setUserName(ownAccount ? options.access.user : QString::fromLatin1(kDatabaseUser));
    db.setPassword(ownAccount ? options.access.password : QString::fromLatin1(kDatabasePassword));
    QStringList opts{QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=%1").arg(options.connectTimeoutSeconds)};
    if (options.readTimeoutSeconds > 0)
        opts << QStringLiteral("MYSQL_OPT_READ_TIMEOUT=%1").arg(options.readTimeoutSeconds);
    if (options.writeTimeoutSeconds > 0)
        opts << QStringLiteral("MYSQL_OPT_WRITE_TIMEOUT=%1").arg(options.writeTimeoutSeconds);
    if (options.foundRows) opts << QStringLiteral("CLIENT_FOUND_ROWS");
    opts << tls;
    db.setConnectOptions(opts.join(u';'));
    // With TLS asked for, the client library refuses a server without it before the login goes out,
    // and checks that the certificate names the host connected to.
    const tls::Strict strict(options.access.tls);
    if (!db.open()) {
        const Failure f = failureFrom(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        // Every failure to open is at least "cannot open", unless the server said more precisely.
        if (f.number() == code::LoginRefused || f.number() == code::PermissionDenied || f.number() == code::CannotOpen)
            throw f;
        throw Failure(code::CannotOpen, f.description(), f.nativeCode());
    }
    // Where the checks could not be set (a build without them), the client library talks plain text
    // to a server that offers no TLS, even with an authority set; such a connection is closed
    // before it carries a statement. Where they could and were not, the driver took another way
    // to the library than this program knows: nothing is trusted.
    if (options.access.tls && (tlsCipher(db).isEmpty() || (tls::available() && !strict.enforced()))) {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw Failure(code::CannotOpen, QStringLiteral("The database server did not encrypt the connection"));
    }
    if (options.lockWaitSeconds > 0) {
        // A number of the program's own, not a value from outside.
        QSqlQuery q(db);
        const QString wait = QString::number(options.lockWaitSeconds);
        if (!q.exec(QStringLiteral("SET SESSION lock_wait_timeout = %1, innodb_lock_wait_timeout = %1").arg(wait))) {
            const Failure f = failureFrom(q.lastError());
            q = QSqlQuery();
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_name);
            throw f;
        }
    }
}

Connection::~Connection() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_name, false);
}

namespace {

QSqlQuery prepared(const QSqlDatabase& db, const QString& sql, const QVariantList& binds) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (binds.isEmpty()) {
        // Statements without values are sent exactly as written.
        if (!q.exec(sql)) throw Connection::failureFrom(q.lastError());
        return q;
    }
    if (!q.prepare(sql)) throw Connection::failureFrom(q.lastError());
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec()) throw Connection::failureFrom(q.lastError());
    return q;
}

} // namespace

QList<QSqlRecord> Connection::select(const QString& sql, const QVariantList& binds) {
    QList<QSqlRecord> rows;
    forEach(sql, binds, [&rows](const QSqlRecord& r) { rows.append(r); });
    return rows;
}

void Connection::forEach(const QString& sql, const QVariantList& binds,
                         const std::function<void(const QSqlRecord&)>& fn) {
    QSqlQuery q = prepared(database(), sql, binds);
    // The driver builds a record's fields afresh on every call; the columns are the same for every
    // row, so they are built once and only the values change. This was most of a poll's own cost.
    QSqlRecord row;
    bool described = false;
    while (q.next()) {
        if (!described) {
            row = q.record();
            described = true;
        } else {
            for (int i = 0; i < row.count(); ++i)
                row.setValue(i, q.value(i));
        }
        fn(row);
    }
    if (q.lastError().isValid()) throw failureFrom(q.lastError());
}

qint64 Connection::execute(const QString& sql, const QVariantList& binds) {
    QSqlQuery q = prepared(database(), sql, binds);
    return q.numRowsAffected();
}

void Connection::begin() {
    QSqlDatabase db = database();
    if (!db.transaction()) throw failureFrom(db.lastError());
}

void Connection::commit() {
    QSqlDatabase db = database();
    if (!db.commit()) throw failureFrom(db.lastError());
}

void Connection::rollback() noexcept {
    QSqlDatabase db = database();
    if (db.isOpen()) db.rollback();
}

QString textOf(const QVariant& value) {
    return value.isNull() ? QString() : value.toString();
}

int columnIndex(const QSqlRecord& row, const QString& column) {
    const int i = row.indexOf(column);
    if (i < 0) throw Failure(code::ItemNotFound, QStringLiteral("Item not found in this collection: %1").arg(column));
    return i;
}

QString textOf(const QSqlRecord& row, const QString& column) {
    return textOf(row.value(columnIndex(row, column)));
}

const QSqlRecord& firstRow(const QList<QSqlRecord>& rows) {
    if (rows.isEmpty()) throw Failure(code::NoCurrentRow, QStringLiteral("No current record."));
    return rows.front();
}

} // namespace hv
