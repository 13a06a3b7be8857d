#pragma once

#include "DatabaseAccess.h"
#include "ServerList.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <QVariant>
#include <optional>

namespace hv {

class CapMessageRows;

// The CAP messages this site took (table capmessages): whether a message was taken before, and
// which alerts came from the messages an Update or a Cancel references. Each call opens its own
// connection on the first node that takes it; failures leave as hv::Failure, on a database without
// the table (from before it, until upgrade.sql has run) with 1146 (dberror::noSuchTable).
class CapMessageStore {
public:
    explicit CapMessageStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // A message as CAP names it, every part exactly as written.
    struct Key {
        QString sender;
        QString identifier;
        QString sent;
        bool operator==(const Key&) const = default;
    };
    // An alert that came from a message.
    struct Made {
        qint64 alertId = 0;
        QVariant logId; // NULL when unknown
        QDate codeDate;
        QTime codeTime;
        QString codeName;
        QString codeLocation;
    };
    // What the site did about a message it took.
    struct Taken {
        Key key;
        QString msgType;
        QString outcome; // sent, replaced or cancelled
        int cancelled = 0;
        QDateTime takenAt; // the server's clock
        QString hostName;
        QList<Made> alerts;
    };

    // Whether the database keeps the messages at all.
    bool present();
    std::optional<Taken> taken(const Key& key);
    // The messages of these keys that were taken, in the order of the keys.
    QList<Taken> taken(const QList<Key>& keys);

    // Records a message that made no alert (a Cancel), with what it cancels, in a checked
    // transaction of its own; alerts and their message go through AlertStore::save instead.
    void record(CapMessageRows& rows);

private:
    static std::optional<Taken> takenOn(Connection& connection, const Key& key);

    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
