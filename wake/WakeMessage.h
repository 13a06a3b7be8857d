#pragma once

#include "SavedAlert.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <optional>

namespace hv {

struct ParsedWake;

// What travels on the wake-up channel: an alert right after its submission committed, with what
// a poll would read of its alerts row (ID, date, minute, code, location, message, comments), or
// the cancellation of one, named as the cancellations name it (ID, date and minute). A small JSON
// object; a workstation reads only what it can check in full and drops everything else unshown.
struct WakeMessage {
    enum class Kind { Alert, Cancel };

    // A broker passes on whatever an account with the right to publish sends; nothing larger than
    // this is read (the largest alert the columns hold is well under half of it).
    static constexpr int kMaxBytes = 16 * 1024;
    static constexpr int kFormat = 1;

    Kind kind = Kind::Alert;
    QString site;
    qint64 id = 0;
    QDate codeDate;
    QTime codeTime;
    QString codeName;
    QString codeLocation;
    QString codeMessage;
    QString comments;
    // Unset: the alert is for every workstation. A message whose audience leaves this workstation
    // out is not for it (the poll, with the same patterns, leaves it out too).
    std::optional<AlertAudience> audience;
    // Unset: the balloon and one ring. A workstation shows it as the poll will read it.
    std::optional<AlertPresentation> presentation;

    static WakeMessage alert(const QString& site, const SavedAlert& saved);
    static WakeMessage cancel(const QString& site, qint64 id, const QDate& codeDate, const QTime& codeTime);

    QByteArray encode() const;

    // Why a message was dropped unshown.
    enum class Drop { TooLarge, Unreadable, OtherSite };
    // The message, if it is one of this format for this site; otherwise why not.
    static ParsedWake parse(const QByteArray& payload, const QString& site);

    // Whether the alert can still be current by a clock that keeps the site's time (within the
    // site's tolerance): a message that arrives long after its alert, or dated far ahead, is left
    // to the poll, which judges by the server's clock.
    bool plausibleAt(const QDateTime& localNow) const;
    // Whether the alert is for the workstation of this name.
    bool isFor(const QString& hostName) const;
};

struct ParsedWake {
    std::optional<WakeMessage> message;
    WakeMessage::Drop drop = WakeMessage::Drop::Unreadable;
};

} // namespace hv
