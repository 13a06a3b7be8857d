#pragma once

#include "DatabaseAccess.h"
#include "DatabaseNode.h"
#include "Failure.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <functional>

class QSqlError;

namespace hv {

struct ConnectionOptions {
    // Report rows matched rather than rows changed, so that saving an unchanged row is not
    // mistaken for a row that vanished under an optimistic check.
    bool foundRows = false;
    // A silent peer would otherwise hold a connect for minutes.
    int connectTimeoutSeconds = 5;
    // How long the client waits for the server's answer to a statement. A server that stops
    // answering in mid-statement (or a statement stuck behind another session's lock) would
    // otherwise hold the caller for as long as it lasts. 0 waits without limit.
    int readTimeoutSeconds = 30;
    // How long the client waits to hand a statement to a server that no longer takes it. 0 waits
    // without limit.
    int writeTimeoutSeconds = 30;
    // How long the server lets a statement wait for a lock that another session holds (a table
    // locked for a backup or an ALTER, a row another transaction changes) before it answers with
    // error 1205. Shorter than the read bound, so that the server gives up cleanly and the
    // statement is not carried out later behind the caller's back. 0 keeps the server's own wait
    // (a day for a table lock) and saves a round trip.
    int lockWaitSeconds = 0;
    // The program's own account and TLS from halvane.ini; without an account, the fixed login of
    // ConnectionString.h (root), always to the database halvane.
    DatabaseAccess access;
};

// One open connection to the halvane database on one node, with the fixed login unless the
// options name the program's own account. Each operation opens its own and lets it go when done. Every client error
// leaves this class as a Failure carrying one of the numbers in Failure.h; values only ever travel as bound parameters.
// A connection belongs to the thread that opened it.
class Connection {
public:
    explicit Connection(const DatabaseNode& node, const ConnectionOptions& options = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads the whole result of a statement (forward-only).
    QList<QSqlRecord> select(const QString& sql, const QVariantList& binds = {});
    // Hands each row to fn as it arrives, for results too large to hold.
    void forEach(const QString& sql, const QVariantList& binds, const std::function<void(const QSqlRecord&)>& fn);
    // Runs a statement that changes rows; returns the rows it affected (matched with foundRows).
    qint64 execute(const QString& sql, const QVariantList& binds = {});

    void begin();
    void commit();
    void rollback() noexcept;

    QSqlDatabase database() const;

    // Translates a client error into the failure numbers the handlers dispatch on.
    static Failure failureFrom(const QSqlError& error);

private:
    QString m_name;
};

// The position of a column in a row; Failure 3265 when the row has no such column.
int columnIndex(const QSqlRecord& row, const QString& column);

// A column's value as text, NULL as the empty text.
QString textOf(const QVariant& value);
QString textOf(const QSqlRecord& row, const QString& column);

// The first row of a result, or Failure 3021 when there is none.
const QSqlRecord& firstRow(const QList<QSqlRecord>& rows);

} // namespace hv
