#include "TrayWindow.h"

#include "Connection.h"
#include "ConnectionString.h"
#include "Handler.h"
#include "IniFile.h"
#include "poll/Poller.h"
#include "TrayIconImage.h"

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

const QString kIniMissingTitle = QStringLiteral("Halvane c:\\halvane.ini error");
const QString kIniMissingText = QStringLiteral(
    "The file C:\\halvane.ini was not found. The halvane.ini should only have one line of text in it in the "
    "following format. MYSQLSERVERNAME=ServerComputerName. Have it all on the first line with no periods, spaces "
    "or quotes. So just use MYSQLSERVERNAME= then the name of the networked computer, host name, that is running "
    "the MYSQL server that should have already been installed. This workstation and the MySQL server needs to "
    "either have the firewall off, or allow port 3306. Please contact your computer administrator.");
const QString kWrongPasswordTitle = QStringLiteral("Wrong Password");
const QString kWrongPasswordText =
    QStringLiteral("You entered an incorrect password. This application will now close.");
const QString kReinstallText = QStringLiteral("Please reinstall this application.");
const QString kExitTitle = QStringLiteral("Halvane - Are You Sure?");
const QString kExitText = QStringLiteral("If you close this application this computer will not receive Halvanes until "
                                         "it is restarted. Are you sure you want to close Halvane?");

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
    setWindowTitle(QStringLiteral("HALVANE"));

    m_text1 = new QLineEdit(QStringLiteral("Text1"), this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_command1 = new QPushButton(QStringLiteral("OK"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setToolTip(QStringLiteral("Click here to send back to the system tray"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_text1, 0, 0);
    grid->addWidget(m_command1, 1, 0, Qt::AlignRight);
    setFixedSize(sizeHint());

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(m_options.pollIntervalMs);

    m_trayMenu = new QMenu(QStringLiteral("Menu"), this);
    m_trayMenu->setObjectName(QStringLiteral("TrayMenu"));
    m_mnuTestSound = m_trayMenu->addAction(QStringLiteral("Test Sound"));
    m_mnuTestSound->setObjectName(QStringLiteral("mnuTestSound"));
    m_ex = m_trayMenu->addAction(QStringLiteral("Exit"));
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
    m_poller.reset();
    m_volume.reset();
}

void TrayWindow::start() {
    hide();
    Handler h([this](const Failure& f) {
        failStart(f);
        return Reaction::NextStep;
    });
    const bool ran = h.run([&] {
        h.step([&] { loadIcon(); });
        h.step([&] { m_volume = m_makeRing(m_msg); });
        // halvane.ini handles its own failures: a missing file ends the program, anything else
        // leaves the host empty.
        try {
            strDataPath = fncReadINI(m_options.iniPath.isEmpty() ? iniFilePath() : m_options.iniPath);
        } catch (const Failure& f) {
            if (f.number() == code::FileNotFound) {
                m_msg.show(kIniMissingTitle, kIniMissingText, Buttons::Ok, Icon::Information);
                m_exit.endProgram();
            }
        }
        if (!m_volume) m_volume = std::make_unique<SilentRing>();
        m_poller = std::make_unique<Poller>(*m_popup, *m_volume, this);
        m_poller->setConnectionString(fncConnectionString(strDataPath));
        m_poller->setFatalHandler([this](const Failure&) {
            m_timer->stop();
            wrongPassword();
        });
        connect(m_poller.get(), &Poller::tooltipRead, this, [this](const QString& text) {
            strTrayToolTip = text;
            m_icon->setToolTip(trayTip(strTrayToolTip));
        });
        // A server that cannot be reached now must not keep this workstation deaf for good: the
        // poll starts anyway and fetches the tooltip once it gets through.
        m_poller->setTooltipPending(true);
        h.step([&] {
            readTooltip();
            m_poller->setTooltipPending(false);
        });
        m_timer->start();
        hide();
        addIcon();
    });
    if (!ran) m_timer->stop();
}

void TrayWindow::loadIcon() {
    QIcon icon;
    icon.addPixmap(pictureFrom(m_options.icon32.isEmpty() ? trayIconPng32() : m_options.icon32));
    icon.addPixmap(pictureFrom(m_options.icon16.isEmpty() ? trayIconPng16() : m_options.icon16));
    m_picture = icon;
    setWindowIcon(m_picture);
    m_icon->setIcon(m_picture);
}

void TrayWindow::readTooltip() {
    Connection conn(fncConnectionString(strDataPath));
    strTrayToolTip = textOf(firstRow(conn.select(tooltipStatement())), QStringLiteral("TraysToolTipText"));
}

void TrayWindow::failStart(const Failure& f) {
    if (f.number() == code::LoginRefused) {
        wrongPassword();
    } else if (f.number() == code::InvalidPicture) {
        removeIcon();
        m_msg.show(kWrongPasswordTitle, kReinstallText, Buttons::Ok, Icon::Critical);
        m_exit.endProgram();
    }
}

void TrayWindow::wrongPassword() {
    removeIcon();
    m_msg.show(kWrongPasswordTitle, kWrongPasswordText, Buttons::Ok, Icon::Critical);
    m_exit.endProgram();
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
    const Answer a = m_msg.show(kExitTitle, kExitText, Buttons::YesNo, Icon::None);
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
    if (m_poller) m_poller->shutdown();
    // A poll or a ring still on the stack (a nested event loop) keeps its objects until the
    // window goes.
    if (!(m_poller && (m_poller->isRinging() || m_poller->isBusy()))) {
        m_poller.reset();
        m_volume.reset();
    }
    m_popup->closePopup();
}

} // namespace hv
