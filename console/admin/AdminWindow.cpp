#include "admin/AdminWindow.h"

#include "Failure.h"
#include "PropertiesStore.h"
#include "Strings.h"
#include "TraySettingsStore.h"
#include "admin/AudiencesWindow.h"
#include "admin/CatalogueEditor.h"
#include "admin/EditorConfig.h"
#include "admin/PresentationsWindow.h"
#include "reports/ReportsEntry.h"
#include "shared/ConsoleContext.h"
#include "shared/ConsoleTexts.h"
#include "shared/FailureTable.h"
#include "widgets/FocusHolder.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace hv {

namespace {
SingleWindow<AdminWindow> g_window;
}

AdminWindow::AdminWindow(ConsoleContext& ctx) : m_ctx(ctx) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Properties"));

    m_holder = new FocusHolder(QStringLiteral("Text1"), this);

    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("MenuBar"));
    QAction* exitAction = menuBar->addAction(QStringLiteral("Exit"));
    exitAction->setObjectName(QStringLiteral("mnuExit"));
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    QMenu* reports = menuBar->addMenu(QStringLiteral("Reports"));
    reports->setObjectName(QStringLiteral("mnuReport"));
    const struct {
        const char* name;
        const char* caption;
        ReportKind kind;
    } items[] = {
        {"mnuAllAlertsReport", "All Halvane Records", ReportKind::AllAlerts},
        {"mnuSearchStringWithDate", "By Search String With Date Range", ReportKind::SearchWithDateRange},
        {"mnAllUser", "All Users", ReportKind::AllUsers},
        {"mnuAllCodes", "All Codes && Comments", ReportKind::AllCodes},
        {"mnuAllLocations", "All Locations", ReportKind::AllLocations},
        {"mnuMSGToolTipText", "Display Current System Tray's Tool Tip Text", ReportKind::TrayToolTip},
    };
    for (const auto& item : items) {
        QAction* a = reports->addAction(QString::fromUtf8(item.caption));
        a->setObjectName(QString::fromUtf8(item.name));
        connect(a, &QAction::triggered, this, [this, kind = item.kind] { runReport(kind, m_ctx, this); });
    }

    // After the documented menus: the settings every workstation reads at its polls.
    QMenu* workstations = menuBar->addMenu(QStringLiteral("Workstations"));
    workstations->setObjectName(QStringLiteral("mnuWorkstations"));
    m_readAloud = workstations->addAction(QStringLiteral("Read Alerts Aloud"));
    m_readAloud->setObjectName(QStringLiteral("mnuReadAloud"));
    m_readAloud->setCheckable(true);
    connect(workstations, &QMenu::aboutToShow, this, &AdminWindow::showReadAloud);
    connect(m_readAloud, &QAction::triggered, this, &AdminWindow::setReadAloud);
    QAction* audiences = workstations->addAction(QStringLiteral("Audiences..."));
    audiences->setObjectName(QStringLiteral("mnuAudiences"));
    connect(audiences, &QAction::triggered, this, [this] {
        m_holder->setFocus(Qt::OtherFocusReason);
        AudiencesWindow::showModal(m_ctx, this);
    });
    QAction* presentations = workstations->addAction(QStringLiteral("Presentations..."));
    presentations->setObjectName(QStringLiteral("mnuPresentations"));
    connect(presentations, &QAction::triggered, this, [this] {
        m_holder->setFocus(Qt::OtherFocusReason);
        PresentationsWindow::showModal(m_ctx, this);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    const struct {
        const char* name;
        const char* caption;
        const char* tip;
    } buttons[] = {
        {"Command1", "Add/Edit Users", "Click here to add or edit a user"},
        {"Command2", "Add/Edit Codes", "Click here to add or edit codes"},
        {"Command3", "Add/Edit Locations", "Click here to add or edit locations"},
        {"Command4", "Edit Tray's Tool Tip Text", "Click here to edit the workstations system tray tool tip text"},
    };
    QWidget* previous = m_holder;
    for (int i = 0; i < 4; ++i) {
        QPushButton* b = WindowParts::button(QString::fromUtf8(buttons[i].name), QString::fromUtf8(buttons[i].caption),
                                             QString::fromUtf8(buttons[i].tip), this);
        b->setFixedSize(260, 36);
        layout->addWidget(b);
        setTabOrder(previous, b);
        previous = b;
        if (i < 3)
            connect(b, &QPushButton::clicked, this, [this, i] { openEditor(i); });
        else
            connect(b, &QPushButton::clicked, this, &AdminWindow::editToolTipText);
    }
    setFixedSize(sizeHint());
    m_holder->setFocus(Qt::OtherFocusReason);
}

AdminWindow* AdminWindow::open(ConsoleContext& ctx) {
    return &g_window.open([&] { return new AdminWindow(ctx); });
}

AdminWindow* AdminWindow::current() {
    return g_window.current();
}

void AdminWindow::openEditor(int which) {
    m_holder->setFocus(Qt::OtherFocusReason);
    switch (which) {
    case 0:
        CatalogueEditor::showModal(EditorConfig::users(), m_ctx, this);
        break;
    case 1:
        CatalogueEditor::showModal(EditorConfig::codes(), m_ctx, this);
        break;
    default:
        CatalogueEditor::showModal(EditorConfig::locations(), m_ctx, this);
        break;
    }
}

void AdminWindow::showReadAloud() {
    // Read afresh at every opening, as another console may have changed it. Unreadable (an older
    // database without the table) shows it off, as the workstations then behave.
    bool on = false;
    try {
        m_ctx.database().run<TraySettingsStore>([&](TraySettingsStore& settings) { on = settings.readAloud(); });
    } catch (const Failure&) {
        on = false;
    }
    m_readAloud->setChecked(on);
}

void AdminWindow::setReadAloud(bool on) {
    m_holder->setFocus(Qt::OtherFocusReason);
    try {
        m_ctx.database().run<TraySettingsStore>([&](TraySettingsStore& settings) { settings.saveReadAloud(on); });
        m_readAloud->setChecked(on);
    } catch (const Failure& f) {
        m_readAloud->setChecked(!on);
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::ReadAloudSave, f), m_ctx.msg, m_ctx.exit);
    }
}

void AdminWindow::editToolTipText() {
    m_holder->setFocus(Qt::OtherFocusReason);
    const QString text = trimmedOf(m_ctx.msg.input(
        QStringLiteral("Type in the Tool Tip Text that will appear on the system tray application. Use this to "
                       "customize the application to match you company."),
        QStringLiteral("Type Tool Tip Text")));
    if (text.isEmpty()) return;
    bool found = false;
    try {
        m_ctx.database().run<PropertiesStore>(
            [&](PropertiesStore& properties) { found = properties.saveToolTipText(text); });
    } catch (const Failure& f) {
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::ToolTipSave, f), m_ctx.msg, m_ctx.exit);
        return;
    }
    if (!found) {
        m_ctx.msg.show(text::kToolTipNotSavedTitle,
                       QStringLiteral("The database holds no properties record to keep the tool tip text in. Nothing "
                                      "has been saved. Contact your computer administrator"),
                       Buttons::Ok, Icon::Critical);
        return;
    }
    m_ctx.msg.show(QStringLiteral("Updated Tool Tip Text"),
                   QStringLiteral("Your changes have been saved. The new System tray applications tool tip text will "
                                  "not show up until it is restarted."),
                   Buttons::Ok, Icon::Information);
}

} // namespace hv
