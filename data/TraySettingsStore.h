#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QString>

namespace hv {

// The settings that every workstation's tray client reads (table traysettings, one row with ID 1;
// no row means off). Failures leave as hv::Failure; a database from before the table existed
// answers with the server's error 1146.
class TraySettingsStore {
public:
    explicit TraySettingsStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    bool readAloud();
    void saveReadAloud(bool on);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
