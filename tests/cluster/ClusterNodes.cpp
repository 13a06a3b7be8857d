#include "ClusterNodes.h"

#include "Connection.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <memory>

namespace cluster {

QString host(int node) {
    return QStringLiteral("127.0.0.%1").arg(node + 1);
}

hv::DatabaseNode node(int node) {
    return hv::DatabaseNode(host(node));
}

hv::ServerList servers(const QList<int>& nodes) {
    QList<hv::DatabaseNode> list;
    for (int n : nodes)
        list << node(n);
    return hv::ServerList(list);
}

bool dbserver(const QStringList& args, QString* output, int timeoutMs) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(qEnvironmentVariable("HALVANE_SOURCE_DIR") + QStringLiteral("/scripts/dbserver"),
            QStringList{QStringLiteral("cluster")} + args);
    const bool done = p.waitForFinished(timeoutMs);
    if (output) *output = QString::fromLocal8Bit(p.readAll());
    if (!done) p.kill();
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool kill(int node) {
    return dbserver({QStringLiteral("kill"), QString::number(node)});
}

bool revive(int node) {
    return dbserver({QStringLiteral("revive"), QString::number(node)});
}

namespace {

// A node applies what another committed a moment later; the tests' own statements first wait until
// their node has applied everything the cluster committed before them.
std::unique_ptr<hv::Connection> connect(int node) {
    auto c = std::make_unique<hv::Connection>(cluster::node(node));
    c->execute(QStringLiteral("SET SESSION wsrep_sync_wait = 15"));
    return c;
}

} // namespace

void exec(int node, const QString& sql, const QVariantList& binds) {
    connect(node)->execute(sql, binds);
}

QList<QSqlRecord> rows(int node, const QString& sql, const QVariantList& binds) {
    return connect(node)->select(sql, binds);
}

QVariant scalar(int node, const QString& sql, const QVariantList& binds) {
    const auto r = rows(node, sql, binds);
    return r.isEmpty() ? QVariant() : r.front().value(0);
}

QString status(int node, const QString& variable) {
    try {
        // Without waiting for the cluster: a node cut off from it answers this too.
        hv::Connection c(cluster::node(node));
        const auto r = c.select(QStringLiteral("SHOW STATUS LIKE '%1'").arg(variable));
        return r.isEmpty() ? QString() : r.front().value(1).toString();
    } catch (const hv::Failure&) {
        return QString();
    }
}

void reset() {
    hv::Connection c(node(1));
    c.execute(QStringLiteral("SET SESSION wsrep_sync_wait = 15"));
    for (const char* t : {"alerts", "AlertLog", "codes", "locations", "users", "properties"})
        c.execute(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
    c.execute(QStringLiteral("INSERT INTO properties (TraysToolTipText) VALUES ('Halvane cluster tip')"));
    c.execute(QStringLiteral("INSERT INTO codes (CodeName, Comments) VALUES ('Code Red', 'Go to your fire watch "
                             "location.')"));
    c.execute(QStringLiteral("INSERT INTO locations (CodeLocation) VALUES ('East Wing')"));
    // The programs read without waiting: every node has it before the test goes on.
    for (int n = 2; n <= 3; ++n)
        rows(n, QStringLiteral("SELECT COUNT(*) FROM properties"));
}

bool ready(QString* why) {
    if (qEnvironmentVariable("HALVANE_SOURCE_DIR").isEmpty()) {
        *why = QStringLiteral("HALVANE_SOURCE_DIR is not set");
        return false;
    }
    for (int n = 1; n <= 3; ++n) {
        const QString size = status(n, QStringLiteral("wsrep_cluster_size"));
        const QString state = status(n, QStringLiteral("wsrep_local_state_comment"));
        if (size != QLatin1String("3") || state != QLatin1String("Synced")) {
            *why = QStringLiteral("node %1 on %2: cluster size '%3', state '%4'").arg(n).arg(host(n), size, state);
            return false;
        }
    }
    return true;
}

} // namespace cluster
