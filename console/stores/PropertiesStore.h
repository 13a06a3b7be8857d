#pragma once

#include "ServerList.h"

#include <QString>

namespace hv {

// The single properties row: the tooltip text of every workstation's tray icon. Failures leave
// as hv::Failure.
class PropertiesStore {
public:
    explicit PropertiesStore(ServerList servers) : m_servers(std::move(servers)) {}

    // Stores the text in the row the record set would stand on first. False when the database
    // holds no properties row; the programs never add one.
    bool saveToolTipText(const QString& text);

private:
    ServerList m_servers;
};

} // namespace hv
