#include "shared/ConsoleContext.h"

namespace hv {

ServerList ConsoleContext::servers() const {
    const ServerList wanted = ServerList::forHosts(strDataPath, furtherServers);
    if (!m_servers || m_servers->nodes() != wanted.nodes()) m_servers = wanted;
    return *m_servers;
}

} // namespace hv
