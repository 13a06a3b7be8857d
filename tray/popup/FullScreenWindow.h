#pragma once

#include "PollSnapshot.h"

#include <QElapsedTimer>
#include <QList>
#include <QSet>
#include <QWidget>
#include <memory>

class QLabel;
class QPushButton;
class QScreen;

namespace hv {

class StackKeeper;

// frmFullScreen: an emergency over the whole of one screen (FullScreenAlerts puts one on every
// screen), above every other window as the balloon is, in large type: the code, the location, the
// time, the standing comments and the message, and the answers the alert offers. Unlike the
// balloon it takes the focus, but nothing the user was typing or holding down answers it: a key
// counts only when it was pressed after the window appeared and after a moment to look, and only
// with a button chosen (Tab) first; a click answers at once. Without answers a click anywhere
// closes it.
class FullScreenWindow : public QWidget {
    Q_OBJECT

public:
    // How long after it appears the keyboard is not listened to: what the user was typing goes
    // nowhere.
    static constexpr int KeyGraceMs = 1500;

    FullScreenWindow(const PolledAlert& alert, int moreLive, QScreen* screen = nullptr);
    ~FullScreenWindow() override;

    const AlertKey& key() const { return m_key; }
    // The answer buttons in their order (cmdAnswer1 ...).
    QList<QPushButton*> answerButtons() const { return m_buttons; }

signals:
    // The user answered (or, without answers, closed it: the answer is empty).
    void closedByUser(const QString& answer);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Whether a key event may reach a button; the rest are swallowed.
    bool keyAllowed(QKeyEvent* event);
    void answer(const QString& text);

    AlertKey m_key;
    bool m_offersAnswers = false;
    QList<QPushButton*> m_buttons;
    QElapsedTimer m_shown;
    // Keys whose press this window saw after the grace; a release counts only for those.
    QSet<int> m_pressedHere;
    bool m_done = false;
    std::unique_ptr<StackKeeper> m_keeper;
};

} // namespace hv
