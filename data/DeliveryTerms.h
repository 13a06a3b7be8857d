#pragma once

#include <QString>

// What the tray clients write into the delivery tables and the console reads back: the words for
// the outcome of a ring. How often a workstation is heard from is in SiteFacts.h.
namespace hv::delivery {

// receipts.RingResult
inline const QString kPlayed = QStringLiteral("played");
inline const QString kNoDevice = QStringLiteral("no device");
inline const QString kFailed = QStringLiteral("failed");

// receiptorigins.Channel: how the alert reached the workstation.
inline const QString kByWakeUp = QStringLiteral("wake");
inline const QString kByPoll = QStringLiteral("poll");

} // namespace hv::delivery
