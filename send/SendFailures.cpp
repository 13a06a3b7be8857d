#include "SendFailures.h"

#include "Failure.h"
#include "shared/FailureTable.h"

namespace hv {

std::optional<ExitStatus> SendFailures::statusFor(Operation operation, const Failure& failure) {
    if (operation == Operation::Purge &&
        FailureTable::responseTo(FailureTable::Operation::Purge, failure).outcome == FailureTable::Outcome::NextStep)
        return std::nullopt;
    switch (FailureTable::causeOf(failure)) {
    case FailureTable::Cause::LoginRefused:
        return ExitStatus::LoginRefused;
    case FailureTable::Cause::CannotOpen:
    case FailureTable::Cause::WaitRanOut:
        // Nothing was stored; the same command later may well succeed.
        return ExitStatus::Unreachable;
    default:
        return ExitStatus::Failed;
    }
}

QString SendFailures::reasonFor(const Failure& f, const QString& host) {
    const QString server = QStringLiteral("the database server \"%1\"").arg(host);
    switch (FailureTable::causeOf(f)) {
    case FailureTable::Cause::LoginRefused:
        return server + QStringLiteral(" refused the login");
    case FailureTable::Cause::CannotOpen:
        return QStringLiteral("cannot reach ") + server + QStringLiteral(": ") + f.description();
    case FailureTable::Cause::WaitRanOut:
        return server + QStringLiteral(" did not finish in time: ") + f.description();
    case FailureTable::Cause::PermissionDenied:
        return server + QStringLiteral(" denied the rights for it: ") + f.description();
    default:
        return server + QStringLiteral(" refused it: ") + f.description();
    }
}

} // namespace hv
