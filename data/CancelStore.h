#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>
#include <QVariant>

namespace hv {

// Cancelled alerts: the alerts a console may still take back, and the record of who took one back
// and when. The alert's alerts and AlertLog rows are never changed; the workstations leave out an
// alert that has a cancellations row. Each call opens its own connection, on the first node of the
// cluster that takes it; failures leave as hv::Failure.
class CancelStore {
public:
    explicit CancelStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    struct LiveAlert {
        qint64 id = 0;
        QDate codeDate;
        QTime codeTime;
        QString codeName;
        QString codeLocation;
        QString codeMessage;
    };

    enum class Outcome {
        Cancelled,
        AlreadyCancelled, // another console was first
        NoLongerShown,    // it aged out (or was purged) since the list was read
        NotLogged,        // the log has no such alert
    };

    // The alerts still inside their three-minute window by the server's clock (and those dated
    // ahead of it, which the workstations show later) that nobody has cancelled, in the order they
    // were sent; at most kMostListed.
    QList<LiveAlert> readCancellable();

    // How many workstations reported lately that they cannot read the cancellations (no right, no
    // table): they keep showing a cancelled alert. 0 where the database keeps no such reports.
    int workstationsBlindToCancellations();

    // Records that `user`, logged in on the computer `hostName`, cancelled the alert, dated by the
    // server's clock. Nothing is stored unless the outcome is Cancelled.
    Outcome cancel(const LiveAlert& alert, const QString& user, const QString& hostName);

    // The same for the alert whose AlertLog row has this ID, date and minute (as an exported CAP
    // alert names it).
    // alertId, when given, is set to the alerts row's ID of an alert that was cancelled.
    Outcome cancelLogged(qint64 logId, const QDate& codeDate, const QTime& codeTime, const QString& user,
                         const QString& hostName, qint64* alertId = nullptr);

    // The same two inside the caller's transaction, which the caller commits together with its
    // own rows (a CAP message that replaces or cancels alerts): the alert by its alerts row (ID,
    // date and minute) with its AlertLog row where known (logId may be NULL), or by its AlertLog
    // row. Nothing is stored unless the outcome is Cancelled.
    static Outcome cancelWithin(Connection& connection, qint64 alertId, const QDate& codeDate, const QTime& codeTime,
                                const QVariant& logId, const QString& user, const QString& hostName);
    static Outcome cancelLoggedWithin(Connection& connection, qint64 logId, const QDate& codeDate,
                                      const QTime& codeTime, const QString& user, const QString& hostName,
                                      qint64* alertId = nullptr);

    // More alerts than anyone could read through in three minutes.
    static constexpr int kMostListed = 500;

private:
    static Outcome cancelOn(Connection& connection, const LiveAlert& alert, const QString& user,
                            const QString& hostName);
    static Outcome cancelLoggedOn(Connection& connection, qint64 logId, const QDate& codeDate, const QTime& codeTime,
                                  const QString& user, const QString& hostName, qint64* alertId);

    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
