#pragma once

#include "Failure.h"

#include <functional>
#include <optional>

namespace hv {

// What a handler does with a failure: go on with its next step, or end.
enum class Reaction { NextStep, EndHandler };
using FailurePolicy = std::function<Reaction(const Failure&)>;

// Runs one event handler step by step under its failure policy. A failure inside step() is given
// to the policy, which may show its boxes and end the program; then either the next step runs or
// the whole handler ends. The rule lives here once instead of in every window.
class Handler {
public:
    explicit Handler(FailurePolicy policy) : m_policy(std::move(policy)) {}

    // Runs the body; true when it ran to its end, false when a failure or a program end stopped it.
    bool run(const std::function<void()>& body);
    // One step of the body.
    void step(const std::function<void()>& fn);

    // The failure that ended the handler, if any.
    const Failure* endedBy() const { return m_ended ? &*m_ended : nullptr; }

private:
    struct Ended {};
    FailurePolicy m_policy;
    std::optional<Failure> m_ended;
};

// The usual rule: 3021 goes on with the next step; the fatal numbers are the policy's own.
Reaction skipNoCurrentRow(const Failure& f);

} // namespace hv
