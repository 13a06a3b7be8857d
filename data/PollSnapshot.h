#pragma once

#include "AlertPresentation.h"
#include "Failure.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <optional>
#include <tuple>

namespace hv {

// Which alert a row is: its alerts row's ID with the date and minute it was stored with. The ID
// alone is not enough: a cluster node may give the same number again once a row is purged.
struct AlertKey {
    qint64 id = 0;
    QDate codeDate;
    QTime codeTime;

    friend bool operator==(const AlertKey& a, const AlertKey& b) {
        return a.id == b.id && a.codeDate == b.codeDate && a.codeTime == b.codeTime;
    }
    friend bool operator<(const AlertKey& a, const AlertKey& b) {
        const auto day = [](const AlertKey& k) { return k.codeDate.isValid() ? k.codeDate.toJulianDay() : 0; };
        const auto minute = [](const AlertKey& k) {
            return k.codeTime.isValid() ? k.codeTime.msecsSinceStartOfDay() : -1;
        };
        return std::make_tuple(a.id, day(a), minute(a)) < std::make_tuple(b.id, day(b), minute(b));
    }
};

// One current alert as a poll read it. A NULL column reads as the empty text.
struct PolledAlert {
    AlertKey key;
    bool timeIsNull = false;
    QString codeName;
    QString codeLocation;
    QString codeMessage;
    QString comments;
    // The server holds a cancellation of it.
    bool cancelled = false;
    // Its values could not all be read: it counts as current, with an empty block.
    bool unreadable = false;
    // The host-name patterns of its audience, as the poll read them; none for everyone.
    QStringList patterns = {};
    // How it is presented, as the poll read it; the balloon and one ring where it has none.
    AlertPresentation presentation = {};
};

// What the tooltip read brought back.
struct TooltipResult {
    // The server answered (with the text, NULL as empty, or with an error of its own); a later
    // poll reads it again only when it did not.
    bool answered = false;
    QString text;
    std::optional<Failure> failure;
};

// What the database part of one poll found.
struct PollSnapshot {
    // Set when the server could not be reached or refused the login; the poll ends there.
    std::optional<Failure> failure;
    // The statement ran; otherwise `alerts` says nothing about which alerts are current.
    bool statementRan = false;
    // The alerts current by the server's clock, in ID order.
    QList<PolledAlert> alerts;
    // Whether the poll could see the cancellations (a database or an account from before alerts
    // could be cancelled cannot); when not, no alert of this poll is marked cancelled.
    bool cancellationsRead = false;
    // Whether the site has new alerts read aloud; only asked when alerts are current.
    std::optional<bool> readAloud;
    // A failure that only skipped a step (the poll went on), for the workstation's check-in.
    std::optional<Failure> skipped;
};

} // namespace hv
