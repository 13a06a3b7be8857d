#include "DatabaseErrors.h"

namespace hv::dberror {

namespace {

constexpr int kLockWaitTimeout = 1205;
constexpr int kStatementTimeMariaDb = 1969; // max_statement_time exceeded
constexpr int kStatementTimeMySql = 3024;   // max_execution_time exceeded

} // namespace

qint64 numberFor(int native) {
    switch (native) {
    case 1045: // access denied for user (wrong password or unknown user)
    case 1698:
        return code::LoginRefused;
    case 1044: // access denied to a database
    case 1142: // command denied on a table
    case 1143: // command denied on a column
    case 1227: // a privilege is missing
    case 1370: // no EXECUTE right on a routine
        return code::PermissionDenied;
    case 1040: // too many connections
    case 1049: // unknown database
    case 1129: // host blocked
    case 1130: // host not allowed to connect
    case 1203: // user has too many connections
    case 1226: // a resource limit was reached
    case 2002: // no server at that address
    case 2003:
    case 2005: // host name unknown
    case 2006: // server gone away
    case 2013: // connection lost during a statement
    case 2026: // TLS failed
    case 2059: // authentication plugin cannot be loaded
        return code::CannotOpen;
    default:
        return native;
    }
}

namespace {

bool is(const Failure& f, int number) {
    return f.nativeCode() == number || f.number() == number;
}

} // namespace

bool waitRanOut(const Failure& f) {
    return is(f, kLockWaitTimeout) || is(f, kStatementTimeMariaDb);
}

Cause causeOf(const Failure& f) {
    if (waitRanOut(f)) return Cause::WaitRanOut;
    switch (f.number()) {
    case code::LoginRefused:
        return Cause::LoginRefused;
    case code::CannotOpen:
        return Cause::CannotOpen;
    case code::PermissionDenied:
        return Cause::PermissionDenied;
    case code::NoCurrentRow:
        return Cause::NoCurrentRow;
    case code::FileNotFound:
        return Cause::FileNotFound;
    case code::InputPastEnd:
        return Cause::InputPastEnd;
    case code::PrinterError:
        return Cause::PrinterError;
    default:
        return Cause::Other;
    }
}

bool nodeLost(const Failure& f) {
    // Whatever keeps a connection from being opened or kept is this node's trouble (down, gone
    // under a statement, too slow to answer, its name unknown, too busy); the next node may do.
    if (f.number() == code::CannotOpen) return true;
    switch (f.nativeCode()) {
    case 1047: // the node is not (yet) part of a cluster with quorum
    case 1180: // a node without quorum refuses the commit
    case 1053: // the node is shutting down, for patches or a restart
    case 1927: // its shutdown ended this connection
        return true;
    default:
        return false;
    }
}

bool unanswered(const Failure& f) {
    return nodeLost(f) || waitRanOut(f) || is(f, kStatementTimeMySql);
}

bool noSuchTable(const Failure& f) {
    return f.number() == kNoSuchTable;
}

bool notHere(const Failure& f) {
    return noSuchTable(f) || f.nativeCode() == kNoSuchColumn || f.number() == code::PermissionDenied;
}

bool outcomeUnknown(const Failure& f) {
    return f.nativeCode() == kOutcomeUnknown;
}

bool noSuchRoutine(const Failure& f) {
    return is(f, kNoSuchRoutine) || f.nativeCode() == kRoutineDenied;
}

} // namespace hv::dberror
