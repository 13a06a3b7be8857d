#pragma once

#include "ServerList.h"

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

// The run's three-node cluster (started by the cluster fixture through scripts/dbserver) as the
// tests reach it: node N on 127.0.0.(N+1):3306.
namespace cluster {

QString host(int node);
hv::DatabaseNode node(int node);
// The three nodes in the order given, as halvane.ini's lines would name them.
hv::ServerList servers(const QList<int>& nodes = {1, 2, 3});

// scripts/dbserver cluster <args>; true when it succeeded. Its output goes to *output.
bool dbserver(const QStringList& args, QString* output = nullptr, int timeoutMs = 180000);
bool kill(int node);
bool revive(int node);

// Statements on one node, directly.
void exec(int node, const QString& sql, const QVariantList& binds = {});
QList<QSqlRecord> rows(int node, const QString& sql, const QVariantList& binds = {});
QVariant scalar(int node, const QString& sql, const QVariantList& binds = {});
// A status variable of a node (wsrep_cluster_size, wsrep_local_state_comment ...).
QString status(int node, const QString& variable);

// Empties the six tables on the cluster, puts back the properties row, and adds the code and the
// location the tests send alerts with.
void reset();
// Fails the running test with a clear message unless all three nodes are synced in one primary
// component.
bool ready(QString* why);

} // namespace cluster

#define REQUIRE_CLUSTER()                                                                                              \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!cluster::ready(&why_))                                                                                    \
            QFAIL(qPrintable(QStringLiteral("the three-node test cluster is not ready (%1); run the tests through "    \
                                            "ctest, whose cluster fixture starts it (galera-4, mariadb-server)")       \
                                 .arg(why_)));                                                                         \
    } while (0)
