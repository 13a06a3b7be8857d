#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QString>

namespace hv {

// The single properties row: the tooltip text of every workstation's tray icon. Failures leave
// as hv::Failure.
class PropertiesStore {
public:
    explicit PropertiesStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // Stores the text in the row the record set would stand on first. False when the database
    // holds no properties row; the programs never add one.
    bool saveToolTipText(const QString& text);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
