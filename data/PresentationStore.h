#pragma once

#include "AlertPresentation.h"
#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QMap>
#include <QStringList>

namespace hv {

// The administrators' side of presentations: each code's, as the submission will take it. A code
// without a row is shown in the balloon and rings once; saving that default removes the row.
class PresentationStore {
public:
    explicit PresentationStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    struct Picture {
        // Every code of the catalogue, in name order.
        QStringList codes;
        QMap<QString, AlertPresentation> byCode;
    };
    Picture read();
    // Stores the code's presentation (checked first: see AlertPresentation::problem).
    void save(const QString& codeName, const AlertPresentation& presentation);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
