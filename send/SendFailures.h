#pragma once

#include "ExitStatus.h"

#include <QString>
#include <optional>

namespace hv {

class Failure;

// halvane-send's failure table: what a database failure does to each of its operations. Failures
// are told apart as the console tells them apart; the purge goes on wherever the console's goes
// on, and everything else ends the command with the status a script can act on.
class SendFailures {
public:
    enum class Operation {
        Purge,      // the purge of old live alerts before every submission
        Submission, // the catalogue check, the comments and both rows
        Export,     // reading the alert log
    };

    // The status that ends the command, or nothing when it goes on with its next step.
    static std::optional<ExitStatus> statusFor(Operation operation, const Failure& failure);

    // The failure in words, naming the server, for the one line on standard error.
    static QString reasonFor(const Failure& failure, const QString& host);
};

} // namespace hv
