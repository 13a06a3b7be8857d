#pragma once

#include "Failure.h"

namespace hv {

// How every program tells database failures apart: the one place where the server's and the
// client library's error numbers are read. Callers ask these questions instead of comparing
// numbers themselves, so that a rule learnt once (a cluster node that lost its quorum is as good
// as gone) holds for every statement of every program.
namespace dberror {

// Numbers the programs react to by name.
inline constexpr int kNoSuchTable = 1146;   // a table an older database does not have yet
inline constexpr int kNoSuchColumn = 1054;  // a column added to a table after it was made
inline constexpr int kDuplicateKey = 1062;  // the row is there already
inline constexpr int kConflict = 1213;      // deadlock, or a Galera transaction that lost to another node's
inline constexpr int kNoSuchRoutine = 1305; // a procedure an older database does not have yet
inline constexpr int kRoutineDenied = 1370; // no right to run a procedure
// Not the server's: a change whose COMMIT went unanswered and that could not be looked for since
// (CheckedWrite), so that nobody is told it was not stored when it may have been.
inline constexpr int kOutcomeUnknown = -2;

// The documented failure number for one native error of the server or the client library:
// refused logins, "cannot reach or open" and "permission denied" as the handlers know them; any
// other number stays as it is.
qint64 numberFor(int native);

enum class Cause {
    LoginRefused,
    CannotOpen,
    PermissionDenied,
    // The server gave up waiting for a lock that another session held, or ran out of statement
    // time: a bound ran out and the statement did nothing.
    WaitRanOut,
    NoCurrentRow,
    FileNotFound,
    InputPastEnd,
    PrinterError,
    Other,
};
Cause causeOf(const Failure& failure);

bool waitRanOut(const Failure& failure);
// The failure is the node's, not the request's: it is not there, went away under the statement,
// is shutting down, or is cut off from its cluster's quorum. Another node may do.
bool nodeLost(const Failure& failure);
// The server gave no answer of its own in time (lost, stopped, cut off, or a bound ran out), as
// opposed to refusing: the same statement may well go through later.
bool unanswered(const Failure& failure);
bool noSuchTable(const Failure& failure);
// A table or column that came later than this database, or that this account was not granted:
// the feature it serves is not there, and the program does what it did before it.
bool notHere(const Failure& failure);
// The procedure is not there (a database from before it), or the account may not run it.
bool noSuchRoutine(const Failure& failure);
bool outcomeUnknown(const Failure& failure);

} // namespace dberror
} // namespace hv
