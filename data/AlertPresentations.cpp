#include "AlertPresentations.h"

#include "Connection.h"
#include "DatabaseErrors.h"
#include "Failure.h"
#include "SiteFacts.h"

#include <QSet>

namespace hv {

namespace {

QVariantList keyOf(const SavedAlert& alert) {
    return {alert.codeDate.toString(QStringLiteral("yyyy-MM-dd")), alert.codeTime.toString(QStringLiteral("HH:mm:ss")),
            alert.alertId};
}

} // namespace

QString AlertPresentation::problem() const {
    if (answers.size() > kMaxAnswers) return QStringLiteral("At most %1 answers can be offered.").arg(kMaxAnswers);
    QSet<QString> seen;
    for (const QString& a : answers) {
        if (a.trimmed().isEmpty() || a.trimmed() != a)
            return QStringLiteral("An answer may not be empty or begin or end with a blank.");
        if (a.size() > kAnswerLength)
            return QStringLiteral("An answer may be at most %1 characters long.").arg(kAnswerLength);
        if (seen.contains(a)) return QStringLiteral("The answer \"%1\" is offered twice.").arg(a);
        seen.insert(a);
    }
    if (helpAnswer >= answers.size()) return QStringLiteral("The call for help must be one of the answers.");
    // The balloon has no buttons: answers offered there could never be given.
    if (!answers.isEmpty() && !fullScreen)
        return QStringLiteral("Answers are offered on full-screen alerts only: choose Full screen, or no answers.");
    return {};
}

QString AlertPresentations::columns() {
    return QStringLiteral("Presentation, RingMode, Answer1, Answer2, Answer3, Answer4, HelpAnswer");
}

QString AlertPresentations::liveStatement() {
    return QStringLiteral("SELECT AlertID, CodeDate, CodeTime, %2 FROM alertpresentations "
                          "Where CodeDate BETWEEN DATE(NOW() - INTERVAL %1 SECOND) AND DATE(NOW()) AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) < %1 AND "
                          "TIMESTAMPDIFF(SECOND, TIMESTAMP(CodeDate, CodeTime), NOW()) > 0")
        .arg(site::kAlertWindowSeconds)
        .arg(columns());
}

AlertPresentation AlertPresentations::fromRow(const QSqlRecord& row, int first) {
    AlertPresentation p;
    p.fullScreen = row.value(first).toString() == AlertPresentation::presentationWord(true);
    p.untilAnswered = row.value(first + 1).toString() == AlertPresentation::ringWord(true);
    const int help = row.value(first + 6).toInt();
    // Answers in button order; an empty place is skipped, and the call for help follows its answer.
    // Only a full-screen alert has the buttons: a row that offers answers in the balloon (set by
    // hand) offers none.
    for (int i = 0; i < AlertPresentation::kMaxAnswers && p.fullScreen; ++i) {
        const QVariant v = row.value(first + 2 + i);
        if (v.isNull() || v.toString().trimmed().isEmpty()) continue;
        if (help == i + 1) p.helpAnswer = int(p.answers.size());
        p.answers << v.toString();
    }
    return p;
}

QVariantList AlertPresentations::values(const AlertPresentation& p) {
    QVariantList out{AlertPresentation::presentationWord(p.fullScreen), AlertPresentation::ringWord(p.untilAnswered)};
    for (int i = 0; i < AlertPresentation::kMaxAnswers; ++i)
        out << (i < p.answers.size() ? QVariant(p.answers[i]) : QVariant(QMetaType(QMetaType::QString)));
    out << (p.helpAnswer >= 0 ? p.helpAnswer + 1 : 0);
    return out;
}

std::optional<AlertPresentation> AlertPresentations::resolve(Connection& connection, const QString& codeName) {
    if (m_unavailable) return std::nullopt;
    try {
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral("SELECT %1 FROM codepresentations WHERE CodeName = ?").arg(columns()), {codeName});
        if (found.isEmpty()) return std::nullopt;
        const AlertPresentation p = fromRow(found.front(), 0);
        if (p.isDefault()) return std::nullopt;
        return p;
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        m_unavailable = true;
        return std::nullopt;
    }
}

void AlertPresentations::write(Connection& connection, SavedAlert& alert) {
    if (m_unavailable) alert.presentation.reset();
    if (!alert.presentation || alert.presentation->isDefault()) {
        alert.presentation.reset();
        return;
    }
    try {
        connection.execute(QStringLiteral("INSERT INTO alertpresentations (CodeDate, CodeTime, AlertID, LogID, %1) "
                                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                               .arg(columns()),
                           keyOf(alert) + QVariantList{alert.logId} + values(*alert.presentation));
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        m_unavailable = true;
        alert.presentation.reset();
    }
}

std::optional<AlertPresentation> AlertPresentations::read(Connection& connection, const SavedAlert& alert) {
    try {
        const QList<QSqlRecord> found = connection.select(
            QStringLiteral("SELECT %1 FROM alertpresentations WHERE CodeDate = ? AND CodeTime = ? AND AlertID = ?")
                .arg(columns()),
            keyOf(alert));
        if (found.isEmpty()) return std::nullopt;
        return fromRow(found.front(), 0);
    } catch (const Failure& f) {
        if (!dberror::notHere(f)) throw;
        return std::nullopt;
    }
}

} // namespace hv
