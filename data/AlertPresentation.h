#pragma once

#include <QString>
#include <QStringList>

namespace hv {

// How the workstations present an alert: the balloon and one ring, as every alert was shown
// before presentations existed, unless its code says otherwise. A full-screen alert covers every
// monitor; "until answered" rings again while the alert is live and nobody at the workstation has
// answered; the answers are the buttons it offers, one of them perhaps the call for help.
struct AlertPresentation {
    static constexpr int kMaxAnswers = 4;
    static constexpr int kAnswerLength = 64;
    // How long after a ring an alert that rings until answered rings again.
    static constexpr int kRingAgainSeconds = 20;

    bool fullScreen = false;
    bool untilAnswered = false;
    QStringList answers;
    // The index in answers of the call for help; -1: none.
    int helpAnswer = -1;

    bool isDefault() const { return !fullScreen && !untilAnswered && answers.isEmpty(); }
    bool callsForHelp(const QString& answer) const {
        return helpAnswer >= 0 && helpAnswer < answers.size() && answers[helpAnswer] == answer;
    }
    // Why these answers cannot be stored; empty when they can. No answer may be blank, longer
    // than the column, or given twice, there are at most four, and only a full-screen alert,
    // which has the buttons, offers any.
    QString problem() const;
    bool operator==(const AlertPresentation&) const = default;

    // The words the tables keep.
    static QString presentationWord(bool fullScreen) {
        return fullScreen ? QStringLiteral("fullscreen") : QStringLiteral("balloon");
    }
    static QString ringWord(bool untilAnswered) {
        return untilAnswered ? QStringLiteral("untilanswered") : QStringLiteral("once");
    }
};

} // namespace hv
