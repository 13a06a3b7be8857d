#include "Handler.h"

#include "Ports.h"

namespace hv {

bool Handler::run(const std::function<void()>& body) {
    m_ended.reset();
    try {
        body();
        return true;
    } catch (const Ended&) {
        return false;
    } catch (const ProgramEnded&) {
        return false;
    } catch (const Failure& f) {
        // A failure outside any step ends the handler after its policy has seen it.
        m_ended = f;
        try {
            m_policy(f);
        } catch (const ProgramEnded&) {
        }
        return false;
    } catch (const std::exception& e) {
        m_ended = Failure(code::Unexpected, QString::fromLocal8Bit(e.what()));
        return false;
    }
}

void Handler::step(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Failure& f) {
        if (m_policy(f) == Reaction::NextStep) return;
        m_ended = f;
        throw Ended{};
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        const Failure f(code::Unexpected, QString::fromLocal8Bit(e.what()));
        if (m_policy(f) == Reaction::NextStep) return;
        m_ended = f;
        throw Ended{};
    }
}

Reaction skipNoCurrentRow(const Failure& f) {
    return f.number() == code::NoCurrentRow ? Reaction::NextStep : Reaction::EndHandler;
}

} // namespace hv
