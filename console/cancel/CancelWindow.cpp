#include "cancel/CancelWindow.h"

#include "Failure.h"
#include "Formats.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <optional>

namespace hv {

namespace {
SingleWindow<CancelWindow> g_window;
}

CancelWindow::CancelWindow(ConsoleContext& ctx, QString user) : m_ctx(ctx), m_user(std::move(user)) {
    setObjectName(QStringLiteral("frmCancel"));
    setWindowTitle(QStringLiteral("Cancel An Alert"));

    QLabel* hint =
        WindowParts::label(QStringLiteral("lblHint"),
                           QStringLiteral("Alerts shown on the workstations now. Choose one and press "
                                          "Cancel Alert: every workstation closes its popup at its next poll."),
                           this);
    hint->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstAlerts"));
    m_list->setHeaderLabels({QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("Code"),
                             QStringLiteral("Location"), QStringLiteral("Message")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setAllColumnsShowFocus(true);
    m_list->setFixedSize(600, 220);
    m_list->header()->resizeSection(0, 90);
    m_list->header()->resizeSection(1, 80);
    m_list->header()->resizeSection(2, 130);
    m_list->header()->resizeSection(3, 130);

    m_none = WindowParts::label(QStringLiteral("lblNone"),
                                QStringLiteral("No alert is being shown on the workstations."), this);
    m_blind = WindowParts::label(QStringLiteral("lblBlind"), QString(), this);
    m_blind->setWordWrap(true);
    m_blind->setFixedWidth(600);
    m_blind->setStyleSheet(QStringLiteral("color: darkred"));
    m_blind->hide();

    // Enter in the list must not cancel anything by itself.
    m_cancel = WindowParts::button(QStringLiteral("cmdCancelAlert"), QStringLiteral("Cancel Alert"),
                                   QStringLiteral("Click here to cancel the chosen alert on every workstation"), this);
    QPushButton* refreshButton = WindowParts::button(QStringLiteral("cmdRefresh"), QStringLiteral("Refresh"),
                                                     QStringLiteral("Click here to read the list again"), this);
    QPushButton* closeButton =
        WindowParts::button(QStringLiteral("cmdClose"), QStringLiteral("Close"), QString(), this);
    connect(m_cancel, &QPushButton::clicked, this, &CancelWindow::cancelChosen);
    connect(refreshButton, &QPushButton::clicked, this, &CancelWindow::refresh);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_cancel->setEnabled(!m_list->selectedItems().isEmpty()); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_cancel);
    buttons->addStretch();
    buttons->addWidget(refreshButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_list);
    layout->addWidget(m_none);
    layout->addWidget(m_blind);
    layout->addLayout(buttons);
    hint->setFixedWidth(600);
    showList();
    setFixedSize(sizeHint());
}

CancelWindow* CancelWindow::open(ConsoleContext& ctx, const QString& user) {
    CancelWindow& window = g_window.open([&] { return new CancelWindow(ctx, user); });
    window.m_user = user;
    window.refresh();
    return &window;
}

CancelWindow* CancelWindow::current() {
    return g_window.current();
}

QString CancelWindow::describe(const CancelStore::LiveAlert& alert) {
    QString text = formatAmPm(alert.codeTime) + QStringLiteral(" - CODE ") + alert.codeName +
                   QStringLiteral("\nLocation = ") + alert.codeLocation;
    if (!alert.codeMessage.isEmpty()) text += u'\n' + alert.codeMessage;
    return text;
}

void CancelWindow::refresh() {
    QList<CancelStore::LiveAlert> alerts;
    int blind = 0;
    try {
        m_ctx.database().run<CancelStore>([&](CancelStore& cancellations) {
            alerts = cancellations.readCancellable();
            blind = cancellations.workstationsBlindToCancellations();
        });
    } catch (const Failure& f) {
        // What the list showed may be stale: nothing is offered that cannot be checked.
        m_alerts.clear();
        showList();
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::CancelListLoad, f), m_ctx.msg,
                            m_ctx.exit);
        return;
    }
    m_alerts = alerts;
    // A cancellation these cannot see: said before anyone relies on it.
    m_blind->setText(
        blind == 1
            ? QStringLiteral("1 workstation cannot see cancellations: it keeps showing a cancelled alert until its "
                             "three minutes are over. Run the accounts script again on the database server (see the "
                             "README).")
            : QStringLiteral("%1 workstations cannot see cancellations: they keep showing a cancelled alert until its "
                             "three minutes are over. Run the accounts script again on the database server (see the "
                             "README).")
                  .arg(blind));
    m_blind->setVisible(blind > 0);
    setFixedSize(sizeHint());
    showList();
}

void CancelWindow::showList() {
    m_list->clear();
    for (const CancelStore::LiveAlert& a : std::as_const(m_alerts)) {
        new QTreeWidgetItem(m_list, {formatMonthDayYear(a.codeDate), formatAmPm(a.codeTime), a.codeName, a.codeLocation,
                                     QString(a.codeMessage).replace(u'\n', u' ')});
    }
    m_none->setVisible(m_alerts.isEmpty());
    m_list->setEnabled(!m_alerts.isEmpty());
    if (!m_alerts.isEmpty()) {
        // The latest alert is the one most likely sent by mistake.
        m_list->setCurrentItem(m_list->topLevelItem(m_list->topLevelItemCount() - 1));
        m_list->setFocus(Qt::OtherFocusReason);
    }
    m_cancel->setEnabled(!m_list->selectedItems().isEmpty());
}

void CancelWindow::cancelChosen() {
    const int row = m_list->currentItem() ? m_list->indexOfTopLevelItem(m_list->currentItem()) : -1;
    if (row < 0 || row >= m_alerts.size() || m_list->selectedItems().isEmpty()) return;
    const CancelStore::LiveAlert alert = m_alerts.at(row);
    const Answer answer = m_ctx.msg.show(
        QStringLiteral("Cancel Alert"),
        QStringLiteral("Cancel this alert on every workstation?\n\n") + describe(alert) +
            QStringLiteral("\n\nEach workstation closes its popup at its next poll. The alert stays in the log."),
        Buttons::YesNo, Icon::Question);
    if (answer != Answer::Yes) return;

    std::optional<CancelStore::Outcome> outcome;
    try {
        const QString user = m_user;
        const QString host = QSysInfo::machineHostName();
        m_ctx.database().run<CancelStore>(
            [&](CancelStore& cancellations) { outcome = cancellations.cancel(alert, user, host); });
    } catch (const Failure& f) {
        // Nothing was stored; the list stays as it was, so the operator can try again.
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::CancelSave, f), m_ctx.msg, m_ctx.exit);
        return;
    }
    switch (*outcome) {
    case CancelStore::Outcome::Cancelled:
        m_ctx.wake().send({}, {{alert.id, alert.codeDate, alert.codeTime}});
        m_ctx.msg.show(QStringLiteral("Alert Cancelled"),
                       QStringLiteral("The alert has been cancelled. Each workstation closes its popup at its next "
                                      "poll; nothing rings."),
                       Buttons::Ok, Icon::Information);
        break;
    case CancelStore::Outcome::AlreadyCancelled:
        m_ctx.msg.show(QStringLiteral("Alert Already Cancelled"),
                       QStringLiteral("This alert has already been cancelled from another console."), Buttons::Ok,
                       Icon::Information);
        break;
    case CancelStore::Outcome::NoLongerShown:
    case CancelStore::Outcome::NotLogged:
        m_ctx.msg.show(QStringLiteral("Alert No Longer Shown"),
                       QStringLiteral("This alert is no longer shown on the workstations: its three minutes are over. "
                                      "Nothing has been stored."),
                       Buttons::Ok, Icon::Information);
        break;
    }
    refresh();
}

} // namespace hv
