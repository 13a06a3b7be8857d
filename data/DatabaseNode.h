#pragma once

#include <QString>
#include <utility>

namespace hv {

// The port every database server of a site listens on.
inline constexpr int kDatabasePort = 3306;

// One database server a connection can be made to: a host named in halvane.ini. Explicit, so
// that no text (a connection string, say) is ever taken for a host by accident.
struct DatabaseNode {
    DatabaseNode() = default;
    explicit DatabaseNode(QString host, int port = kDatabasePort) : host(std::move(host)), port(port) {}

    QString host;
    int port = kDatabasePort;

    bool operator==(const DatabaseNode&) const = default;
};

} // namespace hv
