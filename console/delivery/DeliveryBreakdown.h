#pragma once

#include "DeliveryStore.h"

#include <QList>
#include <QString>
#include <array>

namespace hv {

// One alert's delivery sorted into what the operator asks: who saw it, whose workstation rang,
// whose failed to ring and why, who closed the popup, and of those that did not see it, who is
// still checking in and who is silent. The delivery window and its report show the same lists.
class DeliveryBreakdown {
public:
    enum Group {
        Saw,
        Rang,
        FailedToRing,
        Closed,
        NotSeenYet,
        Silent,
        // Only for an alert that offered answers.
        CalledForHelp,
        Answered,
        NotAnswered,
        GroupCount
    };
    // The groups the delivery shows, in order: the calls for help first where answers were offered.
    static QList<Group> shown(const DeliveryStore::Delivery& delivery);

    struct Entry {
        QString hostName;
        QString desktopUser;
        QString when;   // the moment the group is about, by the server's clock
        QString detail; // what else the operator needs to know
    };

    static DeliveryBreakdown of(const DeliveryStore::Delivery& delivery);

    // "Saw it", "Rang", "Failed to ring", "Closed the popup", "Checking in, not seen yet", "Silent".
    static QString caption(Group group);
    // The alert as one line: "12/07/2026 4:07 PM - CODE Code Red - Location = East Wing".
    static QString alertLine(const DeliveryStore::LoggedAlert& alert);
    // Whether the workstation of that name belongs to the audience.
    static bool inAudience(const AlertAudience& audience, const QString& hostName);
    // "Audience: Lab 3 (1 of 2 saw it)", counting the audience's workstations only; empty for an
    // alert for everyone.
    QString audienceLine(const DeliveryStore::Delivery& d) const;
    // "Answers: Need help 1, I'm safe 3; not answered yet 2", the answers in the order offered;
    // empty for an alert that offered none.
    static QString answersLine(const DeliveryStore::Delivery& d);
    // "2 min 10 s".
    static QString duration(qint64 seconds);

    const QList<Entry>& entries(Group group) const { return m_groups[group]; }
    int count(Group group) const { return int(m_groups[group].size()); }

private:
    std::array<QList<Entry>, GroupCount> m_groups;
};

} // namespace hv
