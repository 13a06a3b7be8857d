#pragma once

#include "Connection.h"
#include "DatabaseNode.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace hv {

// The database servers a program may use: the one halvane.ini's first line names, and the further
// nodes of the same cluster that its later lines name. A connection goes first to the node that
// last worked; a node that cannot be reached, is lost under a statement or has left its cluster's
// quorum gives way to the next one at once, so that the loss of one machine costs no alert. Only
// when every node fails does the caller see the failure, as "cannot reach or open", the way a
// lost single server has always looked. Copies share what they learn; safe on any thread.
class ServerList {
public:
    // No server named at all (a program before it has read halvane.ini): every connection
    // fails as "cannot reach or open".
    ServerList();
    // The nodes in the order given; an empty list is no server named.
    explicit ServerList(const QList<DatabaseNode>& nodes);
    // The host of halvane.ini's first line (strDataPath) and the further nodes its later lines
    // name (IniSettings::furtherServers), in that order. With one host, as a test or a program
    // with a one-line halvane.ini has it: ServerList::forHosts(host).
    static ServerList forHosts(const QString& strDataPath, const QStringList& furtherHosts = {});

    int size() const;
    // The nodes in halvane.ini's order.
    const QList<DatabaseNode>& nodes() const;
    // The nodes in the order the next connection tries them.
    QList<DatabaseNode> order() const;
    // The node that last worked (the first one before any has).
    DatabaseNode preferred() const;

    // Runs job with a connection to the first node that takes it. When the node is lost under the
    // job, the job runs again from its start on the next node; so a job must be safe to run twice:
    // a read, or a transaction whose outcome is checked (see CheckedWrite). Any failure that is
    // not the node's own leaves at once. When every node has failed, the last one's failure leaves
    // as code::CannotOpen.
    void run(const ConnectionOptions& options, const std::function<void(Connection&)>& job) const;

    // As run(), for a job that hands rows on as it reads them and sets handedOn once it has: what
    // was handed on cannot be taken back, so another node may take over only before that; a node
    // lost after it ends the job as a lost server.
    void stream(const ConnectionOptions& options, const std::function<void(Connection&, bool& handedOn)>& job) const;

private:
    struct Shared;
    void worked(int index) const;

    std::shared_ptr<Shared> m_shared;
};

} // namespace hv
