#pragma once

// The promises the programs make to each other and to the site, each written once: how long an
// alert is current, how often a workstation asks and reports, and how long any statement may take.
// The console reads back what the tray clients do by the same numbers.
namespace hv::site {

// An alert is shown for this long after the start of its minute, by the database server's clock.
inline constexpr int kAlertWindowSeconds = 180;
// Every workstation polls this often.
inline constexpr int kPollSeconds = 15;
inline constexpr int kPollIntervalMs = kPollSeconds * 1000;
// A workstation checks in about this often, on the connection of one poll in so many.
inline constexpr int kCheckInSeconds = 60;
inline constexpr int kPollsPerCheckIn = kCheckInSeconds / kPollSeconds;
// A workstation is silent once it is this many poll intervals past a check-in it owed.
inline constexpr int kSilentAfterMissedPolls = 2;
// Beyond this the workstations, which judge an alert's age by the server's clock, show it late or
// not at all; whoever submits warns.
inline constexpr long long kClockToleranceSeconds = 60;
// Beyond this a submission is refused before anything is purged or stored: an alert dated by such
// a clock would never be shown in time, and a purge by it could take live alerts of the server's day.
inline constexpr long long kClockRefusalSeconds = 3600;

// Statement bounds. A poll: the server works on one statement at most kPollStatementSeconds,
// waiting for a lock included; the client waits kPollReadSeconds for any answer at all (longer,
// so that a server that still answers says why itself) and kPollConnectSeconds for a node to
// accept and greet. With these, a poll that meets a dead or hung node and then reads from the next
// still ends well inside the poll interval.
inline constexpr int kPollStatementSeconds = 5;
inline constexpr int kPollReadSeconds = 6;
inline constexpr int kPollConnectSeconds = 3;
// A workstation's delivery writes: shorter than a poll's own bound, so that the next poll is never
// held up for long.
inline constexpr int kDeliveryStatementSeconds = 2;
// The console (and halvane-send): a table another session holds locked ends a statement after
// kConsoleLockWaitSeconds with the server's own error; a server that stops answering ends it after
// kConsoleReadSeconds. The purge before a submission is housekeeping and gives up sooner.
inline constexpr int kConsoleLockWaitSeconds = 10;
inline constexpr int kConsoleReadSeconds = 30;
inline constexpr int kConsoleWriteSeconds = 30;
inline constexpr int kPurgeLockWaitSeconds = 2;
// The console's delivery windows read every few seconds: they give up on a locked table long
// before the console's usual bound, and the next refresh tries again.
inline constexpr int kDeliveryReadLockWaitSeconds = 3;
inline constexpr int kDeliveryReadSeconds = 15;

} // namespace hv::site
