#include "shared/ConsoleDatabase.h"

#include "Connection.h"
#include "SiteFacts.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace hv {

namespace {

bool hasPointer() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

} // namespace

ConsoleDatabase::ConsoleDatabase(std::function<Target()> target)
    : m_target(std::move(target)), m_steps(QStringLiteral("database")),
      m_refreshes(QStringLiteral("background reads")) {
    m_wait.showAfterMs = kBusyPointerAfterMs;
    m_wait.begin = [] {
        if (hasPointer()) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    };
    m_wait.end = [] {
        if (hasPointer()) QGuiApplication::restoreOverrideCursor();
    };
}

ConsoleDatabase::~ConsoleDatabase() {
    // A step is only ever under way while a window waits for it, so none is left here; a read under
    // way ends within its bounds: reaching a node, then the server's answer.
    const QDeadlineTimer deadline((ConnectionOptions().connectTimeoutSeconds + site::kConsoleReadSeconds) * 1000);
    m_refreshes.requestStop();
    m_steps.stop(deadline);
    m_refreshes.stop(deadline);
}

void ConsoleDatabase::run(const std::function<void()>& step) {
    m_steps.runAndWait(step, m_wait);
}

} // namespace hv
