#pragma once

#include "DatabaseAccess.h"
#include "DatabaseErrors.h"
#include "SavedAlert.h"
#include "ServerList.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>

namespace hv {

// What the delivery tables say: the workstations that check in, and each workstation's receipt
// for an alert of the alert log. A receipt names its alert by the values of the alerts row the
// workstation showed, so that it is found again after the console has purged that row. Each call
// opens its own connection and lets it go; failures leave as hv::Failure (a database without the
// delivery tables answers with the server's 1146).
class DeliveryStore {
public:
    // The server's "table does not exist".
    static constexpr int kNoSuchTable = dberror::kNoSuchTable;

    // One row of the alert log.
    struct LoggedAlert {
        qint64 id = 0;
        QDate codeDate;
        QTime codeTime;
        QString codeName;
        QString codeLocation;
        QString codeMessage;
        bool operator==(const LoggedAlert&) const = default;
    };

    struct Workstation {
        QString hostName;
        QString desktopUser;
        QString programVersion;
        QDateTime firstCheckIn;
        QDateTime lastCheckIn;
        qint64 secondsSinceCheckIn = 0; // by the server's clock
        bool silent = false;
        QString lastPollFailure;
        QDateTime lastPollFailureAt;
        bool soundDevice = false;
        bool volumeReadable = false;
        bool muteReadable = false;
        // The address its last check-in came from as the server saw it (empty where the database
        // keeps no such reports), and others that reported as this workstation at the same time
        // (two computers claim to be it).
        QString address;
        QStringList otherAddresses;
        // Tables its poll could not read, as its last check-in said.
        QStringList unreadable;
        // The audiences its host name belongs to now (read with the list of workstations only).
        QStringList audiences;
        // Its wake-up channel as its last check-in reported it; none where it has none (or the
        // database keeps no such lines).
        struct WakeLine {
            bool connected = false;
            QString broker;
            QDateTime connectedSince;
            qint64 received = 0;
            qint64 dropped = 0;
            qint64 unconfirmed = 0;
        };
        std::optional<WakeLine> wake;
    };

    struct Receipt {
        qint64 alertId = 0;
        QString hostName;
        QString desktopUser;
        QDateTime shownAt;
        QString ringResult; // empty when no ring ended
        QString ringReason;
        std::optional<int> volumeBefore, volumeDuring, volumeAfter;
        std::optional<bool> muteLifted, muteRestored;
        QDateTime rangAt;
        QDateTime closedAt;
        // How the alert came (delivery::kByWakeUp, kByPoll); empty where that was not recorded.
        QString channel;
        // The addresses it was reported from as the server saw them, the first first; more than one
        // is a workstation that two computers claim to be.
        QStringList addresses;
    };

    // What the user at a workstation answered, and when by the server's clock.
    struct AlertAnswer {
        QString hostName;
        QString desktopUser;
        QString answer;
        bool callsForHelp = false;
        QDateTime answeredAt;
    };
    // Who took the alert back, and when by the server's clock.
    struct Cancellation {
        QString by;
        QString hostName;
        QDateTime at;
    };

    // One alert's delivery as the server knows it now.
    struct Delivery {
        LoggedAlert alert;
        // None when nobody cancelled it, or the database or the account knows no cancellations.
        std::optional<Cancellation> cancellation;
        // The audience it was sent to; none when it was for every workstation.
        std::optional<AlertAudience> audience;
        // How it was presented and the answers given, calls for help first; none for the balloon
        // (or a database from before presentations).
        std::optional<AlertPresentation> presentation;
        QList<AlertAnswer> answers;
        QDateTime serverNow;
        QList<Receipt> receipts;
        QList<Workstation> workstations; // every one known, by host and user
        // More rows than a read takes (kMostRows) were there: the lists show the first ones.
        bool cut = false;
    };

    // A read takes its rows in pages of kPageRows, each a statement of its own, so that the server
    // never builds one huge result for a window that reads every few seconds; and it stops after
    // kMostRows, whatever a table holds.
    static constexpr int kPageRows = 5000;
    static constexpr int kMostRows = 100000;

    explicit DeliveryStore(ServerList servers, DatabaseAccess access = {})
        : m_servers(std::move(servers)), m_access(std::move(access)) {}

    // The newest alert of the log; none when the log is empty.
    std::optional<LoggedAlert> latestAlert();
    // The alerts of one day, newest first.
    QList<LoggedAlert> alertsOn(const QDate& day);
    Delivery deliveryOf(const LoggedAlert& alert);
    // Every known workstation, by host and user, with the server's clock.
    QList<Workstation> workstations(QDateTime* serverNow = nullptr, bool* cut = nullptr);

    // Of several alerts logged with the same minute, code and location (which the receipts cannot
    // tell apart by their values), the n-th one in the log goes with the n-th alert ID that the
    // receipts name. Keeps the receipts of the alert at position `rank` (from 0) among `twins`.
    static QList<Receipt> receiptsForRank(const QList<Receipt>& receipts, int rank, int twins);

private:
    static Delivery deliveryOn(Connection& connection, const LoggedAlert& alert);

    ServerList m_servers;
    DatabaseAccess m_access;
};

} // namespace hv
