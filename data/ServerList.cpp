#include "ServerList.h"

#include "DatabaseErrors.h"

#include <QMutex>
#include <QMutexLocker>
#include <optional>

namespace hv {

struct ServerList::Shared {
    QList<DatabaseNode> nodes;
    mutable QMutex mutex;
    int preferred = 0;
};

ServerList::ServerList() : ServerList(QList<DatabaseNode>{}) {}

ServerList::ServerList(const QList<DatabaseNode>& nodes) : m_shared(std::make_shared<Shared>()) {
    m_shared->nodes = nodes;
    if (m_shared->nodes.isEmpty()) m_shared->nodes << DatabaseNode();
}

ServerList ServerList::forHosts(const QString& strDataPath, const QStringList& furtherHosts) {
    QList<DatabaseNode> nodes{DatabaseNode(strDataPath)};
    for (const QString& host : furtherHosts)
        nodes << DatabaseNode(host);
    return ServerList(nodes);
}

int ServerList::size() const {
    return int(m_shared->nodes.size());
}

const QList<DatabaseNode>& ServerList::nodes() const {
    return m_shared->nodes;
}

QList<DatabaseNode> ServerList::order() const {
    int first = 0;
    {
        QMutexLocker lock(&m_shared->mutex);
        first = m_shared->preferred;
    }
    const QList<DatabaseNode>& nodes = m_shared->nodes;
    QList<DatabaseNode> ordered;
    for (int i = 0; i < nodes.size(); ++i)
        ordered << nodes[(first + i) % nodes.size()];
    return ordered;
}

DatabaseNode ServerList::preferred() const {
    return order().front();
}

void ServerList::worked(int index) const {
    QMutexLocker lock(&m_shared->mutex);
    m_shared->preferred = index;
}

void ServerList::run(const ConnectionOptions& options, const std::function<void(Connection&)>& job) const {
    int first = 0;
    {
        QMutexLocker lock(&m_shared->mutex);
        first = m_shared->preferred;
    }
    const QList<DatabaseNode>& nodes = m_shared->nodes;
    std::optional<Failure> lost;
    for (int i = 0; i < nodes.size(); ++i) {
        const int index = (first + i) % int(nodes.size());
        try {
            Connection connection(nodes[index], options);
            job(connection);
            worked(index);
            return;
        } catch (const Failure& f) {
            if (!dberror::nodeLost(f)) {
                // The node answered, if only to say no: it is the one to start with next time.
                if (f.nativeCode() != 0) worked(index);
                throw;
            }
            lost = f;
        }
    }
    throw Failure(code::CannotOpen, lost->description(), lost->nativeCode());
}

void ServerList::stream(const ConnectionOptions& options,
                        const std::function<void(Connection&, bool& handedOn)>& job) const {
    bool handedOn = false;
    std::optional<Failure> cutShort;
    run(options, [&](Connection& connection) {
        try {
            job(connection, handedOn);
        } catch (const Failure& f) {
            if (!handedOn || !dberror::nodeLost(f)) throw;
            cutShort = f;
        }
    });
    if (cutShort) throw Failure(code::CannotOpen, cutShort->description(), cutShort->nativeCode());
}

} // namespace hv
