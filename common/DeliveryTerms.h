#pragma once

#include <QString>

// What the tray clients write into the delivery tables and the console reads back: the words for
// the outcome of a ring, and the promises a workstation makes about how often it is heard from.
namespace hv::delivery {

// receipts.RingResult
inline const QString kPlayed = QStringLiteral("played");
inline const QString kNoDevice = QStringLiteral("no device");
inline const QString kFailed = QStringLiteral("failed");

// How often a tray client polls and checks in. A workstation is silent once it is more than two
// poll intervals past a check-in it owed.
inline constexpr int kPollSeconds = 15;
inline constexpr int kCheckInSeconds = 60;
inline constexpr int kSilentAfterMissedPolls = 2;

} // namespace hv::delivery
