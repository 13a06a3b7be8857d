#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QString>

namespace hv {

// The console's users as the login sees them. Failures leave as hv::Failure.
class UserStore {
public:
    explicit UserStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // True when a users row has exactly this name and exactly this password: the comparison is
    // made here, character for character (the server's collation would ignore case), every row
    // with the name is tried, and NULL never matches.
    bool login(const QString& user, const QString& password);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
