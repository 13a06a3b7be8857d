#include "mainwindow/MainWindow.h"

#include "AlertStore.h"
#include "AudienceStore.h"
#include "DatabaseErrors.h"
#include "Failure.h"
#include "Formats.h"
#include "Handler.h"
#include "SiteFacts.h"
#include "Strings.h"
#include "WakeSettings.h"
#include "admin/LoginWindow.h"
#include "delivery/DeliveryWindow.h"
#include "delivery/WorkstationsWindow.h"
#include "mainwindow/CustomMessageDialog.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/WindowParts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <optional>

namespace hv {

const QString MainWindow::kWebAddress = QStringLiteral("https://www.halvane.example");

namespace {

constexpr int kClientWidth = 440;
constexpr int kClientHeight = 190;

QString moment(const QDateTime& at) {
    return formatMonthDayYear(at.date()) + u' ' + formatAmPm(at.time(), true);
}

QString amount(qint64 n, const char* unit) {
    return QStringLiteral("%1 %2%3").arg(formatGrouped(n), QLatin1String(unit), n == 1 ? "" : "s");
}

QString duration(qint64 seconds) {
    const qint64 days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60, secs = seconds % 60;
    QStringList parts;
    if (days) parts << amount(days, "day");
    if (hours) parts << amount(hours, "hour");
    if (minutes) parts << amount(minutes, "minute");
    if (secs || parts.isEmpty()) parts << amount(secs, "second");
    return parts.join(u' ');
}

} // namespace

MainWindow::MainWindow(ConsoleContext& ctx, QString iniPath, QWidget* parent)
    : QMainWindow(parent), m_ctx(ctx), m_iniPath(std::move(iniPath)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("HALVANE - ") + kWebAddress);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(client);

    Label1 = WindowParts::label(QStringLiteral("Label1"), QStringLiteral("Select Code"), client);
    Label1->setGeometry(24, 14, 392, 20);
    Combo1 = makeList("Combo1", QStringLiteral("Click here to select the type of code"));
    Combo1->setGeometry(24, 36, 392, 28);

    Label2 = WindowParts::label(QStringLiteral("Label2"), QStringLiteral("Code Location"), client);
    Label2->setGeometry(24, 76, 392, 20);
    Combo2 = makeList("Combo2", QStringLiteral("Click here to select the codes location"));
    Combo2->setGeometry(24, 98, 392, 28);

    Command1 = new QPushButton(QStringLiteral("Submit"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(
        QStringLiteral("Click here to Submit & Save this halvane. Once submitted all computers will show the alert"));
    Command1->setGeometry(160, 140, 120, 34);
    // Enter on the focused button presses it, as on the operators' other desktops.
    Command1->setAutoDefault(true);
    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);

    // The focus holder lies below the client area: it takes the keyboard away from both lists
    // without ever being seen. It must stay shown and enabled, or it could not take the focus.
    Text1 = new QLineEdit(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setGeometry(24, kClientHeight + 40, 100, 24);

    // Shown, with the window grown to hold it, only at a site whose codes reach audiences.
    m_reach = WindowParts::label(QStringLiteral("lblReach"), QString(), client);
    m_reach->setGeometry(24, kClientHeight, 392, 20);
    m_reach->hide();
    for (QComboBox* list : {Combo1, Combo2})
        connect(list, &QComboBox::currentTextChanged, this, &MainWindow::showReach);

    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Command1);
    setTabOrder(Command1, Text1);

    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction* mnuExit = mnuFile->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* mnuEdit = menuBar()->addMenu(QStringLiteral("Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    QAction* mnuAdminProperties = mnuEdit->addAction(QStringLiteral("Administrator Properties"));
    mnuAdminProperties->setObjectName(QStringLiteral("mnuAdminProperties"));
    connect(mnuAdminProperties, &QAction::triggered, this, &MainWindow::mnuAdminProperties_Click);
    QAction* mnuCancelAlert = mnuEdit->addAction(QStringLiteral("Cancel An Alert"));
    mnuCancelAlert->setObjectName(QStringLiteral("mnuCancelAlert"));
    connect(mnuCancelAlert, &QAction::triggered, this, &MainWindow::mnuCancelAlert_Click);

    QMenu* mnuDelivery = menuBar()->addMenu(QStringLiteral("Delivery"));
    mnuDelivery->setObjectName(QStringLiteral("mnuDelivery"));
    QAction* mnuAlertDelivery = mnuDelivery->addAction(QStringLiteral("Alert Delivery"));
    mnuAlertDelivery->setObjectName(QStringLiteral("mnuAlertDelivery"));
    connect(mnuAlertDelivery, &QAction::triggered, this, &MainWindow::mnuAlertDelivery_Click);
    QAction* mnuWorkstations = mnuDelivery->addAction(QStringLiteral("Workstations"));
    mnuWorkstations->setObjectName(QStringLiteral("mnuWorkstations"));
    connect(mnuWorkstations, &QAction::triggered, this, &MainWindow::mnuWorkstations_Click);

    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    QAction* mnuOnTheWeb = mnuHelp->addAction(QStringLiteral("Halvane On The Web"));
    mnuOnTheWeb->setObjectName(QStringLiteral("mnuOnTheWeb"));
    connect(mnuOnTheWeb, &QAction::triggered, this, &MainWindow::mnuOnTheWeb_Click);

    // The user cannot resize the window.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    Combo1->setFocus();
}

QComboBox* MainWindow::makeList(const char* name, const QString& toolTip) {
    auto* list = new QComboBox(centralWidget());
    list->setObjectName(QLatin1String(name));
    list->setToolTip(toolTip);
    list->setEditable(true);
    // The lists are for choosing only: Enter must not add what was typed or pasted, nothing may
    // be completed into the edit field, and composed text must not slip past the key filter.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->setAttribute(Qt::WA_InputMethodEnabled, false);
    list->lineEdit()->setAttribute(Qt::WA_InputMethodEnabled, false);
    list->setMaxVisibleItems(20);
    list->installEventFilter(this);
    return list;
}

bool MainWindow::load() {
    Handler handler(FailureTable::policyFor(FailureTable::Operation::StartUp, m_ctx.msg, m_ctx.exit));
    AlertStore::Choices choices;
    const bool completed = handler.run([&] {
        handler.step([&] {
            const IniSettings ini = fncReadINI(m_iniPath);
            m_ctx.strDataPath = ini.strDataPath;
            m_ctx.furtherServers = ini.furtherServers;
            m_ctx.access = ini.consoleAccess();
            m_ctx.wake().setSettings(WakeSettings::forConsole(ini));
            ini.warnAboutProblems(m_iniPath);
        });
        handler.step(
            [&] { m_ctx.database().run<AlertStore>([&](AlertStore& alerts) { alerts.readChoices(choices); }); });
    });
    // Each name is followed by an empty entry, in the order the database gave; what was read
    // before a failure stays in the lists.
    for (const auto& [list, names] : {std::pair{Combo1, &choices.codes}, std::pair{Combo2, &choices.locations}}) {
        for (const QString& name : *names) {
            list->addItem(name);
            list->addItem(QString());
        }
    }
    // Filling selects the first entry; the lists start with nothing chosen.
    clearLists();
    return completed || handler.endedBy() != nullptr;
}

void MainWindow::clearLists() {
    for (QComboBox* list : {Combo1, Combo2}) {
        list->setCurrentIndex(-1);
        list->clearEditText();
    }
}

void MainWindow::Command1_Click() {
    // Enter in the location list while a box of this submission is up must not start another.
    if (m_submitting) return;
    m_submitting = true;
    const struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{m_submitting};

    Handler purge(FailureTable::policyFor(FailureTable::Operation::Purge, m_ctx.msg, m_ctx.exit));
    std::optional<AlertStore::ClockRefused> clocks;
    const bool purged = purge.run([&] {
        purge.step([&] {
            const QDateTime now = m_ctx.clock.now();
            try {
                m_ctx.database().run<AlertStore>([&](AlertStore& alerts) { alerts.fncDeleteSevenDayOldRecords(now); });
            } catch (const AlertStore::ClockRefused& c) {
                clocks = c;
            }
        });
    });
    if (!purged) return; // the program ended
    if (clocks) {
        // Nothing purged, nothing stored; the choices stay for a try once the clock is right.
        refuseForClock(*clocks);
        return;
    }

    Text1->setFocus();
    if (trimmedOf(Combo1->currentText()).isEmpty()) {
        m_ctx.msg.show(QStringLiteral("Missing Code"),
                       QStringLiteral("You must select a code before saving this new record."), Buttons::Ok,
                       Icon::Information);
        Combo1->setFocus();
        return;
    }
    if (trimmedOf(Combo2->currentText()).isEmpty()) {
        m_ctx.msg.show(QStringLiteral("Missing Code"),
                       QStringLiteral("You must select a code location before saving this new record."), Buttons::Ok,
                       Icon::Information);
        Combo2->setFocus();
        return;
    }

    if (!reachConfirmed(Combo1->currentText(), Combo2->currentText())) {
        Combo2->setFocus();
        return;
    }

    Text1->setFocus();
    const Answer intMessageAnswer =
        m_ctx.msg.show(QStringLiteral("Custom Message"),
                       QStringLiteral("Would you like to type a custom message? This message will be in the popup "
                                      "window on each PC running HALVANE."),
                       Buttons::YesNo, Icon::None);

    AlertStore::Alert alert{Combo1->currentText(), Combo2->currentText(), std::nullopt};
    if (intMessageAnswer == Answer::Yes) {
        CustomMessageDialog form7(this);
        form7.exec();
        alert.codeMessage = form7.message();
        // Take the keyboard back from the closed window, so that it lands on the focus holder.
        activateWindow();
    }

    // Neither row is stored when this fails; the table says so to the user, and the choices stay
    // for another try. The token lets the database thread's retries after an unanswered COMMIT find
    // what landed instead of storing it twice.
    std::optional<AlertStore::Saved> saved;
    const QString token = AlertStore::newToken();
    Handler write(FailureTable::policyFor(FailureTable::Operation::Submission, m_ctx.msg, m_ctx.exit));
    write.run([&] {
        write.step([&] {
            try {
                m_ctx.database().run<AlertStore>(
                    [&](AlertStore& alerts) { saved = alerts.save(alert, m_ctx.clock, token); });
            } catch (const Failure& f) {
                // Not known to be stored, nor known not to be: the operator hears exactly that before
                // the table's reaction to a server out of reach.
                if (dberror::outcomeUnknown(f))
                    m_ctx.msg.show(
                        QStringLiteral("Halvane Perhaps Saved"),
                        QStringLiteral("The database server did not confirm the new halvane record, and it could not "
                                       "be asked afterwards whether the record was saved. Look at the workstations "
                                       "or at the alert report once the server answers before you send it again."),
                        Buttons::Ok, Icon::Warning);
                throw;
            }
        });
    });
    if (!saved) return;
    // Committed: the workstations hear of it now, while the operator reads the confirmation.
    m_ctx.wake().send(saved->alerts);

    Text1->setFocus();
    clearLists();
    m_ctx.msg.show(QStringLiteral("Halvane Saved"),
                   QStringLiteral("The new halvane record has been saved to the database."), Buttons::Ok,
                   Icon::Information);
    warnIfClocksDiffer(saved->consoleNow, saved->serverNow);
}

void MainWindow::showReach() {
    const QString code = trimmedOf(Combo1->currentText()).isEmpty() ? QString() : Combo1->currentText();
    const QString location = trimmedOf(Combo2->currentText()).isEmpty() ? QString() : Combo2->currentText();
    const int read = ++m_reachRead;
    m_ctx.database().refresh<AudienceStore, AudienceStore::Reach>(
        this, [code, location](AudienceStore& s) { return s.reachOf(code, location); },
        [this, read, code, location](const JobResult<AudienceStore::Reach>& answer) {
            if (read != m_reachRead) return; // a later choice has its own read
            // A database or account without audiences: every alert reaches everyone, as always.
            if (answer.failure || !answer.value.siteTargets) return;
            if (!m_reach->isVisible()) {
                m_reach->show();
                centralWidget()->setFixedSize(kClientWidth, kClientHeight + 24);
                setFixedSize(kClientWidth, kClientHeight + 24 + menuBar()->sizeHint().height());
            }
            if (code.isEmpty() || location.isEmpty())
                m_reach->clear();
            else if (!answer.value.audience)
                m_reach->setText(QStringLiteral("Reaches: Everyone"));
            else
                m_reach->setText(
                    QStringLiteral("Reaches: %1 (%2 checked in recently)")
                        .arg(answer.value.audience->name, amount(answer.value.recentWorkstations, "workstation")));
        });
}

bool MainWindow::reachConfirmed(const QString& code, const QString& location) {
    AudienceStore::Reach reach;
    try {
        m_ctx.database().run<AudienceStore>([&](AudienceStore& s) { reach = s.reachOf(code, location); });
    } catch (const Failure&) {
        // Unknown here; the submission decides the audience itself and never narrows it to nobody.
        return true;
    }
    if (!reach.audience || reach.recentWorkstations > 0) return true;
    Text1->setFocus();
    return m_ctx.msg.show(QStringLiteral("No Workstations In Audience"),
                          QStringLiteral("This alert reaches only the audience \"%1\", and none of its workstations "
                                         "has checked in recently. Send it anyway?")
                              .arg(reach.audience->name),
                          Buttons::YesNo, Icon::Warning) == Answer::Yes;
}

void MainWindow::refuseForClock(const AlertStore::ClockRefused& clocks) {
    const qint64 serverAhead = clocks.serverAheadSeconds();
    m_ctx.msg.show(
        QStringLiteral("Clock Difference"),
        QStringLiteral("The alert has not been saved: the clock of this computer is %1 %2 the clock of the database "
                       "server.\n\nThis computer: %3\nDatabase server: %4\n\nThe workstations show an alert for three "
                       "minutes by the database server's clock, so they would show this alert late or not at all. Set "
                       "the clock of this computer to the right time and submit the alert again.")
            .arg(duration(qAbs(serverAhead)), serverAhead > 0 ? QStringLiteral("behind") : QStringLiteral("ahead of"),
                 moment(clocks.consoleNow), moment(clocks.serverNow)),
        Buttons::Ok, Icon::Critical);
}

void MainWindow::warnIfClocksDiffer(const QDateTime& console, const QDateTime& server) {
    if (!console.isValid() || !server.isValid()) return;
    // Both clocks are compared as the wall-clock times that the workstations compare.
    const QDateTime a(console.date(), console.time(), Qt::UTC);
    const QDateTime b(server.date(), server.time(), Qt::UTC);
    const qint64 serverAhead = a.secsTo(b);
    const qint64 apart = qAbs(serverAhead);
    if (apart <= site::kClockToleranceSeconds) return;
    m_ctx.msg.show(
        QStringLiteral("Clock Difference"),
        QStringLiteral("The alert has been saved, but the clock of this computer is %1 %2 the clock of the database "
                       "server.\n\nThis computer: %3\nDatabase server: %4\n\nThe workstations show an alert for three "
                       "minutes by the database server's clock, so they may show this alert late or not at all. Set "
                       "both clocks to the same time.")
            .arg(duration(apart), serverAhead > 0 ? QStringLiteral("behind") : QStringLiteral("ahead of"),
                 moment(console), moment(server)),
        Buttons::Ok, Icon::Warning);
}

bool MainWindow::refuseTyping(QKeyEvent* key) {
    const QString text = key->text();
    if (text.isEmpty() || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return false;
    for (QChar c : text) {
        if (c.unicode() >= 32 && c.unicode() <= 190) return true;
    }
    return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Combo1 || watched == Combo2) && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            // Enter in the location list submits; in the code list it does nothing.
            if (watched == Combo2) Command1_Click();
            return true;
        }
        // Alt with a letter is a menu key, never typing: the list takes nothing from it.
        if ((key->modifiers() & Qt::AltModifier) && !(key->modifiers() & Qt::ControlModifier) &&
            !key->text().isEmpty() && key->text().front().isPrint())
            return true;
        if (refuseTyping(key)) {
            m_ctx.msg.show(QStringLiteral("Error - Can't Type Here"),
                           QStringLiteral("You can't type here. You can only select an item from the list."),
                           Buttons::Ok, Icon::Information);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Every other console window goes with the main window, each through its own closing.
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        QPointer<QWidget> other(w);
        if (other && other != this && other->isVisible()) other->close();
    }
    event->accept();
    QMainWindow::closeEvent(event);
    emit closed();
}

void MainWindow::endSession() {
    if (isVisible()) close();
}

void MainWindow::mnuAdminProperties_Click() {
    LoginWindow::open(m_ctx);
}

void MainWindow::mnuCancelAlert_Click() {
    LoginWindow::open(m_ctx, LoginWindow::Then::CancelAlert);
}

void MainWindow::mnuOnTheWeb_Click() {
    QDesktopServices::openUrl(QUrl(kWebAddress));
}

void MainWindow::mnuAlertDelivery_Click() {
    DeliveryWindow::open(m_ctx);
}

void MainWindow::mnuWorkstations_Click() {
    WorkstationsWindow::open(m_ctx);
}

} // namespace hv
