#include "delivery/DeliveryWindow.h"

#include "Formats.h"
#include "delivery/DeliveryBreakdown.h"
#include "delivery/DeliveryReports.h"
#include "reports/ReportsEntry.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace hv {

const QString DeliveryWindow::kMostRecent = QStringLiteral("Most recent alert");

namespace {

SingleWindow<DeliveryWindow> g_window;

} // namespace

struct DeliveryWindow::Read {
    bool follow = true;
    std::optional<DeliveryStore::LoggedAlert> chosen;
    QDate day;
    bool dayChosen = false;

    QList<DeliveryStore::LoggedAlert> dayAlerts;
    std::optional<DeliveryStore::LoggedAlert> target;
    std::optional<DeliveryStore::Delivery> delivery;
    bool noTables = false;
};

DeliveryWindow::DeliveryWindow(ConsoleContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("frmDelivery"));
    setWindowTitle(QStringLiteral("Alert Delivery"));
    setWindowFlag(Qt::Window);

    m_alerts = new QComboBox(this);
    m_alerts->setObjectName(QStringLiteral("cboAlert"));
    m_alerts->setToolTip(QStringLiteral("The alert whose delivery is shown"));
    m_alerts->addItem(kMostRecent);
    m_alerts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_alerts->setMinimumContentsLength(40);
    m_day = new QDateEdit(this);
    m_day->setObjectName(QStringLiteral("dtpDay"));
    m_day->setToolTip(QStringLiteral("The day whose alerts the list offers"));
    m_day->setCalendarPopup(true);
    m_day->setDate(m_ctx.clock.now().date());
    m_day->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));

    m_alert = WindowParts::label(QStringLiteral("lblAlert"), QString(), this);
    m_alert->setWordWrap(true);
    m_counts = WindowParts::label(QStringLiteral("lblCounts"), QString(), this);
    m_counts->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstDelivery"));
    m_list->setHeaderLabels(
        {QStringLiteral("Workstation"), QStringLiteral("User"), QStringLiteral("When"), QStringLiteral("Detail")});
    m_list->setUniformRowHeights(true);
    m_list->setRootIsDecorated(true);
    m_list->header()->resizeSection(0, 160);
    m_list->header()->resizeSection(1, 100);
    m_list->header()->resizeSection(2, 230);

    m_report =
        WindowParts::button(QStringLiteral("cmdReport"), QStringLiteral("&Report"),
                            QStringLiteral("Show this delivery as a report that can be searched and printed"), this);
    m_close = WindowParts::button(QStringLiteral("cmdClose"), QStringLiteral("&Close"),
                                  QStringLiteral("Close this window"), this);
    m_status = WindowParts::label(QStringLiteral("lblStatus"), QStringLiteral("Reading..."), this);

    auto* top = new QHBoxLayout;
    top->addWidget(WindowParts::label(QStringLiteral("lblAlertCaption"), QStringLiteral("Alert:"), this));
    top->addWidget(m_alerts, 1);
    top->addWidget(WindowParts::label(QStringLiteral("lblDayCaption"), QStringLiteral("Day:"), this));
    top->addWidget(m_day);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_report);
    bottom->addWidget(m_close);
    bottom->addWidget(m_status, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_alert);
    layout->addWidget(m_counts);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);
    resize(900, 560);
    WindowParts::centreOnScreen(this);

    connect(m_alerts, &QComboBox::activated, this, &DeliveryWindow::alertChosen);
    connect(m_day, &QDateEdit::dateChanged, this, [this](QDate day) {
        m_dayChosen = true;
        showDay(day);
    });
    connect(m_report, &QPushButton::clicked, this, &DeliveryWindow::cmdReport_Click);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &DeliveryWindow::refresh);
    m_timer->start();
    refresh();
}

DeliveryWindow::~DeliveryWindow() = default;

DeliveryWindow* DeliveryWindow::open(ConsoleContext& ctx) {
    return &g_window.open([&] { return new DeliveryWindow(ctx); });
}

DeliveryWindow* DeliveryWindow::current() {
    return g_window.current();
}

void DeliveryWindow::refresh() {
    if (m_reading) {
        m_again = true;
        return;
    }
    startRead();
}

void DeliveryWindow::showDay(const QDate& day) {
    if (m_day->date() != day) {
        const QSignalBlocker quiet(m_day);
        m_day->setDate(day);
    }
    refresh();
}

void DeliveryWindow::startRead() {
    m_reading = true;
    m_again = false;
    Read ask;
    ask.follow = !m_chosen.has_value();
    ask.chosen = m_chosen;
    ask.day = m_day->date();
    ask.dayChosen = m_dayChosen;
    m_ctx.database().refresh<DeliveryStore, Read>(
        this,
        [ask](DeliveryStore& store) {
            Read read = ask;
            read.target = read.follow ? store.latestAlert() : read.chosen;
            // Until the operator picks a day, the list offers the day of the alert shown.
            if (!read.dayChosen && read.target) read.day = read.target->codeDate;
            read.dayAlerts = store.alertsOn(read.day);
            if (!read.target) return read;
            try {
                read.delivery = store.deliveryOf(*read.target);
            } catch (const Failure& f) {
                if (f.nativeCode() != DeliveryStore::kNoSuchTable) throw;
                read.noTables = true;
            }
            return read;
        },
        [this](const JobResult<Read>& answer) { onRead(answer.value, answer.failure); });
}

void DeliveryWindow::onRead(const Read& read, const std::optional<Failure>& failure) {
    m_reading = false;
    if (failure) {
        const FailureTable::Response response =
            FailureTable::responseTo(FailureTable::Operation::DeliveryRead, *failure);
        if (response.outcome == FailureTable::Outcome::EndProgram) {
            m_timer->stop();
            FailureTable::apply(response, m_ctx.msg, m_ctx.exit);
            return;
        }
        m_status->setText(QStringLiteral("Not read: ") + FailureTable::reasonFor(*failure) +
                          QStringLiteral(" Trying again every few seconds."));
    } else {
        // The operator may have chosen another alert or day while this was read.
        const bool current = read.follow == !m_chosen.has_value() && (read.follow || read.chosen == m_chosen);
        if (!m_dayChosen && read.day.isValid() && read.day != m_day->date()) {
            const QSignalBlocker quiet(m_day);
            m_day->setDate(read.day);
        }
        if (read.day == m_day->date()) fillAlertList(read.dayAlerts);
        if (current) {
            if (read.delivery) {
                showDelivery(*read.delivery);
            } else {
                m_shown.reset();
                m_shownSignature.clear();
                m_alert->setText(read.target ? DeliveryBreakdown::alertLine(*read.target)
                                             : QStringLiteral("No alert has been sent yet."));
                m_counts->clear();
                m_list->clear();
            }
            if (read.noTables)
                m_status->setText(QStringLiteral(
                    "This database keeps no delivery records yet. Apply upgrade.sql on the database server (see the "
                    "README); the workstations then report every alert."));
            else if (read.delivery)
                m_status->setText(QStringLiteral("Updated ") + formatAmPm(read.delivery->serverNow.time(), true) +
                                  (read.delivery->cut ? QStringLiteral("; more rows than a read takes: the first %1 "
                                                                       "are shown")
                                                            .arg(formatGrouped(DeliveryStore::kMostRows))
                                                      : QString()));
            else
                m_status->setText(QStringLiteral("Updated"));
        }
    }
    if (m_again) startRead();
}

void DeliveryWindow::fillAlertList(const QList<DeliveryStore::LoggedAlert>& alerts) {
    if (alerts == m_dayAlerts && m_alerts->count() == alerts.size() + 1) return;
    m_dayAlerts = alerts;
    const QSignalBlocker quiet(m_alerts);
    m_alerts->clear();
    m_alerts->addItem(kMostRecent);
    int chosenIndex = 0;
    for (const DeliveryStore::LoggedAlert& a : alerts) {
        m_alerts->addItem(formatAmPm(a.codeTime) + QStringLiteral(" - CODE ") + a.codeName +
                          QStringLiteral(" - Location = ") + a.codeLocation);
        if (m_chosen && m_chosen->id == a.id) chosenIndex = m_alerts->count() - 1;
    }
    // An alert chosen on another day stays shown; the list then stands on none of its entries.
    m_alerts->setCurrentIndex(m_chosen && chosenIndex == 0 ? -1 : chosenIndex);
}

void DeliveryWindow::alertChosen(int index) {
    if (index <= 0)
        m_chosen.reset();
    else
        m_chosen = m_dayAlerts.value(index - 1);
    refresh();
}

void DeliveryWindow::showDelivery(const DeliveryStore::Delivery& d) {
    const DeliveryBreakdown b = DeliveryBreakdown::of(d);
    QString alertText = DeliveryBreakdown::alertLine(d.alert);
    if (!d.alert.codeMessage.isEmpty()) alertText += QStringLiteral("\nMessage: ") + d.alert.codeMessage;
    if (d.cancellation) alertText += u'\n' + DeliveryReports::cancellationLine(*d.cancellation);
    if (d.audience) alertText += u'\n' + b.audienceLine(d);
    if (const QString answers = DeliveryBreakdown::answersLine(d); !answers.isEmpty()) alertText += u'\n' + answers;
    m_alert->setText(alertText);
    QStringList counts;
    QString signature;
    const QList<DeliveryBreakdown::Group> groups = DeliveryBreakdown::shown(d);
    for (const DeliveryBreakdown::Group group : groups) {
        const int g = int(group);
        counts << DeliveryBreakdown::caption(group) + QStringLiteral(": ") + formatGrouped(b.count(group));
        for (const DeliveryBreakdown::Entry& e : b.entries(group))
            signature +=
                QString::number(g) + e.hostName + u'\t' + e.desktopUser + u'\t' + e.when + u'\t' + e.detail + u'\n';
    }
    m_counts->setText(counts.join(QStringLiteral("    ")));
    m_shown = d;
    // Rebuilt only when something changed, so that the operator's scrolling and selection survive
    // the refreshes in between.
    if (signature == m_shownSignature && m_list->topLevelItemCount() == groups.size()) return;
    m_shownSignature = signature;
    m_list->setUpdatesEnabled(false);
    m_list->clear();
    for (const DeliveryBreakdown::Group group : groups) {
        auto* head = new QTreeWidgetItem(m_list);
        head->setText(0,
                      QStringLiteral("%1 (%2)").arg(DeliveryBreakdown::caption(group), formatGrouped(b.count(group))));
        head->setFirstColumnSpanned(true);
        QFont bold = head->font(0);
        bold.setBold(true);
        head->setFont(0, bold);
        QList<QTreeWidgetItem*> children;
        children.reserve(b.count(group));
        for (const DeliveryBreakdown::Entry& e : b.entries(group)) {
            auto* item = new QTreeWidgetItem(QStringList{e.hostName, e.desktopUser, e.when, e.detail});
            item->setToolTip(3, e.detail);
            children << item;
        }
        // Someone needs help: the first thing the operator sees, in red.
        if (group == DeliveryBreakdown::CalledForHelp && !children.isEmpty()) {
            for (QTreeWidgetItem* item : std::as_const(children))
                for (int c = 0; c < 4; ++c) {
                    item->setForeground(c, QColor(200, 0, 0));
                    QFont f = item->font(c);
                    f.setBold(true);
                    item->setFont(c, f);
                }
            head->setForeground(0, QColor(200, 0, 0));
        }
        head->addChildren(children);
        head->setExpanded(true);
    }
    m_list->setUpdatesEnabled(true);
}

void DeliveryWindow::cmdReport_Click() {
    if (!m_shown) return;
    showReport(DeliveryReports::delivery(*m_shown, DeliveryBreakdown::of(*m_shown)), m_ctx, this);
}

} // namespace hv
