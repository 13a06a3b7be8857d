#include "SingleInstance.h"

#include <unistd.h>

namespace hv {

SingleInstance::SingleInstance(const QString& programKey) {
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    const QString name = QStringLiteral("halvane-%1-%2").arg(programKey).arg(::getuid());
    // Binding an abstract name is atomic: of several copies started together exactly one wins.
    m_first = m_server.listen(name);
}

} // namespace hv
