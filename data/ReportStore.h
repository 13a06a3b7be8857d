#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QSqlRecord>
#include <QString>
#include <QVariantList>
#include <functional>

namespace hv {

// What the six reports read. Each report streams the rows of its one statement; failures leave as
// hv::Failure.
class ReportStore {
public:
    struct Query {
        QString statement;
        QVariantList binds;
    };

    static Query allAlerts();
    // The alert log rows whose code name starts with the search text (the user's "%", "_" and "!"
    // are plain characters) dated from `from` to `to`, both inclusive.
    static Query alertSearch(const QString& search, const QDate& from, const QDate& to);
    static Query users();
    static Query codes();
    static Query locations();
    static Query properties();

    // The search text as a LIKE prefix pattern with "!" as the escape character.
    static QString likePrefix(const QString& search);

    explicit ReportStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // Hands each row to `row` as it arrives, so that a report of any length needs no more memory
    // than one row.
    void readRows(const Query& query, const std::function<void(const QSqlRecord&)>& row);

    struct Cancellation {
        QString by;
        QDateTime at;
    };
    // Who cancelled which alert, by the ID of the alert's log row; empty for a database made
    // before alerts could be cancelled or an account that may not read them.
    QHash<qint64, Cancellation> readCancellations();
    // The audience of each alert sent to one, by the ID of the alert's log row; alerts for every
    // workstation, and every alert of a database or account without audiences, have none.
    QHash<qint64, QString> readAudiences();
    // The answers given to each alert that offered some, by the ID of the alert's log row, counted
    // in the order offered: "I'm safe 3, Need help 1".
    QHash<qint64, QString> readAnswers();

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
