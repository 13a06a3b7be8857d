#include "SendFailures.h"

#include "DatabaseErrors.h"
#include "Failure.h"

namespace hv {

using dberror::Cause;

std::optional<ExitStatus> SendFailures::statusFor(Operation operation, const Failure& failure) {
    const Cause cause = dberror::causeOf(failure);
    // The purge is housekeeping, as in the console: only a failure that would stop the submission
    // too ends the command; a lock or a deadlock between two purges never keeps an alert back.
    if (operation == Operation::Purge && cause != Cause::LoginRefused && cause != Cause::CannotOpen &&
        cause != Cause::PermissionDenied)
        return std::nullopt;
    switch (cause) {
    case Cause::LoginRefused:
        return ExitStatus::LoginRefused;
    case Cause::CannotOpen:
    case Cause::WaitRanOut:
        // Nothing was stored; the same command later may well succeed.
        return ExitStatus::Unreachable;
    default:
        return ExitStatus::Failed;
    }
}

QString SendFailures::reasonFor(const Failure& f, const QString& host) {
    const QString server = QStringLiteral("the database server \"%1\"").arg(host);
    switch (dberror::causeOf(f)) {
    case Cause::LoginRefused:
        return server + QStringLiteral(" refused the login");
    case Cause::CannotOpen:
        return QStringLiteral("cannot reach ") + server + QStringLiteral(": ") + f.description();
    case Cause::WaitRanOut:
        return server + QStringLiteral(" did not finish in time: ") + f.description();
    case Cause::PermissionDenied:
        return server + QStringLiteral(" denied the rights for it: ") + f.description();
    default:
        return server + QStringLiteral(" refused it: ") + f.description();
    }
}

} // namespace hv
