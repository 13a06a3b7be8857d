#pragma once

#include <QString>

namespace hv {

// The custom message of an alert as its column keeps it.
class MessageText {
public:
    // What the message column holds, counted as the console's message field counts.
    static constexpr qsizetype kMaxLength = 600;

    // Cuts the message to what the column holds, never in the middle of a character; the length
    // it had when it was cut, else 0.
    static qsizetype fit(QString& message);
    // The warning for a message cut from `given` characters to `kept`.
    static QString cutWarning(qsizetype given, qsizetype kept);
};

} // namespace hv
