#include "popup/FullScreenWindow.h"

#include "Formats.h"
#include "platform/Platform.h"
#include "popup/StackKeeper.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace hv {

namespace {

QLabel* line(QWidget* parent, const char* name, const QString& text, qreal points, bool bold) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    // Alert text comes from the database: a "<" in it is text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    QFont font = label->font();
    font.setPointSizeF(points);
    font.setBold(bold);
    label->setFont(font);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

} // namespace

FullScreenWindow::FullScreenWindow(const PolledAlert& alert, int moreLive, QScreen* screen)
    // Left alone by the window manager, as the balloon is, so that the stack keeper can keep it
    // above full-screen windows; it takes the focus itself when shown.
    : QWidget(nullptr,
              Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint),
      m_key(alert.key), m_offersAnswers(!alert.presentation.answers.isEmpty()) {
    setObjectName(QStringLiteral("frmFullScreen"));
    setWindowTitle(QStringLiteral("CODE ") + alert.codeName);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(160, 0, 0));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(60, 40, 60, 40);
    layout->setSpacing(18);
    layout->addStretch(1);
    layout->addWidget(line(this, "lblCode", QStringLiteral("CODE ") + alert.codeName, 48, true));
    layout->addWidget(line(this, "lblLocation", QStringLiteral("Location = ") + alert.codeLocation, 30, true));
    if (!alert.timeIsNull && alert.key.codeTime.isValid())
        layout->addWidget(line(this, "lblTime", formatAmPm(alert.key.codeTime), 22, false));
    if (!alert.comments.trimmed().isEmpty())
        layout->addWidget(line(this, "lblComments", alert.comments.trimmed(), 26, false));
    if (!alert.codeMessage.trimmed().isEmpty())
        layout->addWidget(line(this, "lblMessage", alert.codeMessage.trimmed(), 26, true));
    layout->addStretch(1);

    if (m_offersAnswers) {
        auto* row = new QHBoxLayout;
        row->setSpacing(30);
        row->addStretch(1);
        const AlertPresentation& p = alert.presentation;
        for (qsizetype i = 0; i < p.answers.size(); ++i) {
            auto* button = new QPushButton(p.answers[i], this);
            button->setObjectName(QStringLiteral("cmdAnswer%1").arg(i + 1));
            // No mnemonic: an Alt+letter from the user's work must not answer.
            button->setText(QString(p.answers[i]).replace(u'&', QStringLiteral("&&")));
            button->setAutoDefault(false);
            button->setDefault(false);
            button->setFocusPolicy(Qt::StrongFocus);
            button->setMinimumSize(260, 90);
            QFont font = button->font();
            font.setPointSizeF(22);
            font.setBold(true);
            button->setFont(font);
            // The call for help stands out; every answer is plain to read on the red.
            button->setStyleSheet(p.helpAnswer == i
                                      ? QStringLiteral("QPushButton { background: rgb(255, 255, 0); color: black; }"
                                                       "QPushButton:focus { border: 4px solid white; }")
                                      : QStringLiteral("QPushButton { background: white; color: black; }"
                                                       "QPushButton:focus { border: 4px solid rgb(255, 255, 0); }"));
            button->installEventFilter(this);
            const QString text = p.answers[i];
            connect(button, &QPushButton::clicked, this, [this, text] { answer(text); });
            m_buttons << button;
            row->addWidget(button);
        }
        row->addStretch(1);
        layout->addLayout(row);
    } else {
        layout->addWidget(line(this, "lblHint", QStringLiteral("Click anywhere to close."), 16, false));
    }
    if (moreLive > 0)
        layout->addWidget(line(this, "lblMore",
                               moreLive == 1 ? QStringLiteral("1 more emergency is live.")
                                             : QStringLiteral("%1 more emergencies are live.").arg(moreLive),
                               16, false));
    layout->addStretch(1);
    setAccessibleName(windowTitle());
    // Tab is taken before any key handler of the window's: the guard watches the window too.
    installEventFilter(this);
}

FullScreenWindow::~FullScreenWindow() = default;

bool FullScreenWindow::keyAllowed(QKeyEvent* event) {
    const int key = event->key();
    if (event->type() == QEvent::KeyPress) {
        // Held down (the key repeats) or pressed before there was time to read: not an answer.
        if (event->isAutoRepeat() || !m_shown.isValid() || m_shown.elapsed() < KeyGraceMs) {
            m_pressedHere.remove(key);
            return false;
        }
        m_pressedHere.insert(key);
        return true;
    }
    if (event->isAutoRepeat()) return false;
    // A release whose press came before (held since the user's work): nothing.
    return m_pressedHere.remove(key);
}

bool FullScreenWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease ||
        event->type() == QEvent::ShortcutOverride) {
        // A shortcut would act on a key before the guard saw it: there are none here.
        if (event->type() == QEvent::ShortcutOverride) return false;
        if (!keyAllowed(static_cast<QKeyEvent*>(event))) return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FullScreenWindow::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (!m_offersAnswers) answer(QString());
}

void FullScreenWindow::answer(const QString& text) {
    if (m_done) return;
    m_done = true;
    emit closedByUser(text);
}

void FullScreenWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_shown.start();
    m_pressedHere.clear();
    if (!m_keeper) m_keeper = makeStackKeeper(this);
    QAccessibleEvent shown(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

void FullScreenWindow::hideEvent(QHideEvent* event) {
    m_keeper.reset();
    QWidget::hideEvent(event);
}

} // namespace hv
