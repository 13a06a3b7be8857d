#pragma once

#include "DatabaseAccess.h"

#include <QDate>
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

    explicit ReportStore(QString connectionString, DatabaseAccess access = {})
        : m_connectionString(std::move(connectionString)), m_access(std::move(access)) {}

    // Hands each row to `row` as it arrives, so that a report of any length needs no more memory
    // than one row.
    void readRows(const Query& query, const std::function<void(const QSqlRecord&)>& row);

private:
    QString m_connectionString;
    DatabaseAccess m_access;
};

} // namespace hv
