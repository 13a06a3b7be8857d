#include "delivery/WorkstationsWindow.h"

#include "Formats.h"
#include "delivery/DeliveryReports.h"
#include "delivery/WorkstationsModel.h"
#include "reports/ReportsEntry.h"
#include "shared/ConsoleContext.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace hv {

namespace {

SingleWindow<WorkstationsWindow> g_window;

struct Snapshot {
    QList<DeliveryStore::Workstation> rows;
    QDateTime serverNow;
    bool cut = false;
};

} // namespace

WorkstationsWindow::WorkstationsWindow(ConsoleContext& ctx) : m_ctx(ctx), m_model(new WorkstationsModel(this)) {
    setObjectName(QStringLiteral("frmWorkstations"));
    setWindowTitle(QStringLiteral("Workstations"));
    setWindowFlag(Qt::Window);

    m_counts = WindowParts::label(QStringLiteral("lblCounts"), QString(), this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("lstWorkstations"));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    const int widths[WorkstationsModel::ColumnCount] = {150, 90, 60, 230, 160, 95, 95, 95, 320, 260, 200, 200, 200};
    for (int c = 0; c < WorkstationsModel::ColumnCount; ++c)
        m_list->header()->resizeSection(c, widths[c]);

    m_report = WindowParts::button(QStringLiteral("cmdReport"), QStringLiteral("&Report"),
                                   QStringLiteral("Show this list as a report that can be searched and printed"), this);
    m_close = WindowParts::button(QStringLiteral("cmdClose"), QStringLiteral("&Close"),
                                  QStringLiteral("Close this window"), this);
    m_status = WindowParts::label(QStringLiteral("lblStatus"), QStringLiteral("Reading..."), this);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_report);
    bottom->addWidget(m_close);
    bottom->addWidget(m_status, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_counts);
    layout->addWidget(m_list, 1);
    layout->addLayout(bottom);
    resize(1100, 520);
    WindowParts::centreOnScreen(this);

    connect(m_report, &QPushButton::clicked, this, &WorkstationsWindow::cmdReport_Click);
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &WorkstationsWindow::refresh);
    m_timer->start();
    refresh();
}

WorkstationsWindow* WorkstationsWindow::open(ConsoleContext& ctx) {
    return &g_window.open([&] { return new WorkstationsWindow(ctx); });
}

WorkstationsWindow* WorkstationsWindow::current() {
    return g_window.current();
}

void WorkstationsWindow::refresh() {
    if (m_reading) return;
    m_reading = true;
    m_ctx.database().refresh<DeliveryStore, Snapshot>(
        this,
        [](DeliveryStore& store) {
            Snapshot snapshot;
            snapshot.rows = store.workstations(&snapshot.serverNow, &snapshot.cut);
            return snapshot;
        },
        [this](const JobResult<Snapshot>& answer) {
            onRead(answer.value.rows, answer.value.serverNow, answer.failure);
            if (answer.value.cut)
                m_status->setText(m_status->text() +
                                  QStringLiteral("; more workstations than a read takes: the first %1 are shown")
                                      .arg(formatGrouped(DeliveryStore::kMostRows)));
        });
}

void WorkstationsWindow::onRead(const QList<DeliveryStore::Workstation>& rows, const QDateTime& serverNow,
                                const std::optional<Failure>& failure) {
    m_reading = false;
    if (failure) {
        const FailureTable::Response response =
            FailureTable::responseTo(FailureTable::Operation::DeliveryRead, *failure);
        if (response.outcome == FailureTable::Outcome::EndProgram) {
            m_timer->stop();
            FailureTable::apply(response, m_ctx.msg, m_ctx.exit);
            return;
        }
        if (failure->nativeCode() == DeliveryStore::kNoSuchTable)
            m_status->setText(QStringLiteral(
                "This database keeps no delivery records yet. Apply upgrade.sql on the database server (see the "
                "README); the workstations then check in."));
        else
            m_status->setText(QStringLiteral("Not read: ") + FailureTable::reasonFor(*failure) +
                              QStringLiteral(" Trying again every few seconds."));
        return;
    }
    int silent = 0;
    for (const DeliveryStore::Workstation& w : rows)
        silent += w.silent ? 1 : 0;
    m_model->setRows(rows, serverNow);
    m_list->setColumnHidden(WorkstationsModel::WakeUp, !m_model->anyWakeUp());
    m_list->setColumnHidden(WorkstationsModel::Address, !m_model->anyAddress());
    m_list->setColumnHidden(WorkstationsModel::CannotRead, !m_model->anyCannotRead());
    m_list->setColumnHidden(WorkstationsModel::Audiences, !m_model->anyAudience());
    m_read = true;
    m_counts->setText(QStringLiteral("Workstations: %1    Listening: %2    Silent: %3")
                          .arg(formatGrouped(rows.size()), formatGrouped(rows.size() - silent), formatGrouped(silent)));
    m_status->setText(QStringLiteral("Updated ") + formatAmPm(serverNow.time(), true));
}

void WorkstationsWindow::cmdReport_Click() {
    if (!m_read) return;
    showReport(DeliveryReports::workstations(m_model->rows(), m_model->serverNow()), m_ctx, this);
}

} // namespace hv
