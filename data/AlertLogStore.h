#pragma once

#include "DatabaseAccess.h"
#include "LoggedAlert.h"
#include "ServerList.h"

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

namespace hv {

// Reads the alert log for the export, newest first as the reports list it, and hands each row on
// as it arrives, so that years of alerts never have to be held at once. Failures leave as
// hv::Failure.
class AlertLogStore {
public:
    explicit AlertLogStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // The rows dated on or after since (all rows without it).
    void forEach(const std::optional<QDate>& since, const std::function<void(const LoggedAlert&)>& fn);

private:
    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
