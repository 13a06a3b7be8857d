#include "TrayWindow.h"

#include "IniFile.h"
#include "ServerList.h"
#include "TrayIconImage.h"
#include "TrayTexts.h"
#include "platform/Platform.h"
#include "poll/Poller.h"
#ifdef HALVANE_WAKE_CHANNEL
#include "wake/WakeChannel.h"
#endif

#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTimer>

namespace hv {

namespace {

// Stands in for the volume object when it could not be created, so that polls still run.
class SilentRing : public RingPort {
public:
    void ring() override {}
};

QPixmap pictureFrom(const QByteArray& data) {
    QImage image;
    if (data.isEmpty() || !image.loadFromData(data) || image.isNull())
        throw Failure(code::InvalidPicture, QStringLiteral("Invalid picture"));
    return QPixmap::fromImage(image);
}

} // namespace

QString trayTip(const QString& text) {
    QString tip = text.left(64);
    // Never split a character that needs two code units.
    if (tip.size() == 64 && tip.back().isHighSurrogate()) tip.chop(1);
    // The desktop would take a text with tags for markup.
    if (Qt::mightBeRichText(tip)) tip = Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal);
    return tip;
}

TrayWindow::TrayWindow(MessagePort& msg, ExitPort& exit, std::unique_ptr<PopupPort> popup, RingFactory makeRing,
                       TrayOptions options)
    : QWidget(nullptr, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_msg(msg), m_exit(exit), m_popup(std::move(popup)), m_makeRing(std::move(makeRing)),
      m_options(std::move(options)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(trayText::WindowTitle);

    m_text1 = new QLineEdit(trayText::Text1, this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_command1 = new QPushButton(trayText::Command1, this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setToolTip(trayText::Command1Tip);
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_text1, 0, 0);
    grid->addWidget(m_command1, 1, 0, Qt::AlignRight);
    setFixedSize(sizeHint());

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(m_options.pollIntervalMs);

    m_trayMenu = new QMenu(trayText::MenuTitle, this);
    m_trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    m_mnuTestSound = m_trayMenu->addAction(trayText::TestSound);
    m_mnuTestSound->setObjectName(QStringLiteral("mnuTestSound"));
    m_ex = m_trayMenu->addAction(trayText::Exit);
    m_ex->setObjectName(QStringLiteral("Ex"));

    // Only the menu reacts to the mouse: Qt opens it on a right click itself, and clicks and
    // double clicks with the left button are left without an action.
    m_icon = new QSystemTrayIcon(this);
    m_icon->setObjectName(QStringLiteral("TrayIcon"));
    m_icon->setContextMenu(m_trayMenu);

    connect(m_command1, &QPushButton::clicked, this, [this] {
        hide();
        addIcon();
    });
    connect(m_mnuTestSound, &QAction::triggered, this, [this] {
        if (m_poller) m_poller->testSound();
    });
    connect(m_ex, &QAction::triggered, this, [this] { close(); });
    connect(m_timer, &QTimer::timeout, this, [this] {
        hide();
        if (m_poller) m_poller->tick();
    });
}

TrayWindow::~TrayWindow() {
    m_timer->stop();
    if (m_poller) m_poller->shutdown();
#ifdef HALVANE_WAKE_CHANNEL
    m_wake.reset();
#endif
    m_poller.reset();
}

void TrayWindow::start() {
    hide();
    Handler h([this](const Failure& f) { return react(TrayOperation::StartUp, f); });
    h.run([&] {
        h.step([&] { loadIcon(); });
        std::unique_ptr<RingPort> volume;
        h.step([&] { volume = m_makeRing(m_msg); });
        readIni();
        if (!volume) volume = std::make_unique<SilentRing>();
        m_poller = std::make_unique<Poller>(*m_popup, std::move(volume), this);
        m_poller->setServers(ServerList::forHosts(strDataPath, furtherServers));
        m_poller->setAccess(access);
        if (m_options.makeVoice) m_poller->setVoice(m_options.makeVoice);
        m_poller->setFailureReaction([this](TrayOperation op, const Failure& f) { return react(op, f); });
        connect(m_poller.get(), &Poller::tooltipRead, this, [this](const QString& text) {
            strTrayToolTip = text;
            m_icon->setToolTip(trayTip(strTrayToolTip));
        });
        // The read happens on the poller's thread: a server that is slow, locked or away holds up
        // neither the icon nor the polls, and a poll reads the text once the server answers. The
        // wake-up channel is there first, so that the first check-in says it is.
        startWakeChannel();
        m_poller->readTooltipAtStart();
        m_timer->start();
        hide();
        addIcon();
    });
}

void TrayWindow::readIni() {
    Handler h([this](const Failure& f) { return react(TrayOperation::ReadIni, f); });
    const bool read = h.run([&] {
        h.step([&] {
            const QString path = m_options.iniPath.isEmpty() ? iniFilePath() : m_options.iniPath;
            const IniSettings ini = fncReadINI(path);
            strDataPath = ini.strDataPath;
            furtherServers = ini.furtherServers;
            access = ini.trayAccess();
            wake = WakeSettings::forTray(ini);
            ini.warnAboutProblems(path);
        });
    });
    // The program ended inside the handler: nothing of the start may run after it.
    if (!read) throw ProgramEnded{};
}

void TrayWindow::startWakeChannel() {
#ifdef HALVANE_WAKE_CHANNEL
    if (!wake.enabled()) return;
    const WorkstationIdentity me = thisWorkstation();
    m_wake = std::make_unique<WakeChannel>(wake, WakeChannel::clientIdFor(me.hostName, me.desktopUser));
    m_wake->setHostName(me.hostName);
    connect(m_wake.get(), &WakeChannel::woken, m_poller.get(), &Poller::woken);
    m_poller->setWakeState([channel = m_wake.get()] { return channel->state(); });
    m_wake->start();
#endif
}

void TrayWindow::loadIcon() {
    QIcon icon;
    icon.addPixmap(pictureFrom(m_options.icon32.isEmpty() ? trayIconPng32() : m_options.icon32));
    icon.addPixmap(pictureFrom(m_options.icon16.isEmpty() ? trayIconPng16() : m_options.icon16));
    m_picture = icon;
    setWindowIcon(m_picture);
    m_icon->setIcon(m_picture);
}

Reaction TrayWindow::react(TrayOperation op, const Failure& f) {
    const TrayFailureRule rule = TrayFailures::rule(op, f.number());
    if (rule.outcome == TrayOutcome::EndProgram) {
        m_ending = true;
        m_timer->stop();
        if (m_poller) m_poller->halt();
        removeIcon();
        if (rule.box) m_msg.show(rule.box->title, rule.box->text, rule.box->buttons, rule.box->icon);
        m_exit.endProgram();
    }
    return TrayFailures::reaction(rule);
}

void TrayWindow::addIcon() {
    if (m_ending) return;
    m_icon->setToolTip(trayTip(strTrayToolTip));
    m_icon->show();
}

void TrayWindow::removeIcon() {
    m_icon->hide();
}

void TrayWindow::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isMinimized()) {
        hide();
        addIcon();
    }
}

void TrayWindow::closeEvent(QCloseEvent* e) {
    if (m_ending) {
        e->accept();
        return;
    }
    e->ignore();
    if (m_asking) return;
    m_asking = true;
    const TrayBox& q = trayText::ExitQuestion;
    const Answer a = m_msg.show(q.title, q.text, q.buttons, q.icon);
    m_asking = false;
    // The session may have ended while the question was open.
    if (m_ending || a != Answer::Yes) return;
    m_ending = true;
    releaseAll();
    e->accept();
    emit ended();
}

void TrayWindow::endSession() {
    if (m_ending) return;
    m_ending = true;
    releaseAll();
    emit ended();
}

void TrayWindow::releaseAll() {
    removeIcon();
    m_timer->stop();
    // The poller itself stays until the window goes: one of its handlers may be on the stack
    // (a box of its own open in a nested event loop).
    if (m_poller) m_leftBehind = !m_poller->shutdown();
#ifdef HALVANE_WAKE_CHANNEL
    if (m_wake && !m_wake->shutdown(QDeadlineTimer(Poller::ShutdownMs))) m_leftBehind = true;
#endif
    m_popup->closePopup();
}

} // namespace hv
