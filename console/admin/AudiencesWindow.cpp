#include "admin/AudiencesWindow.h"

#include "Failure.h"
#include "HostPattern.h"
#include "shared/ConsoleContext.h"
#include "shared/ConsoleTexts.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace hv {

namespace {

SingleWindow<AudiencesWindow> g_window;

const QString kNotSavedTitle = QStringLiteral("Audience Not Saved");
const QString kPatternNotAddedTitle = QStringLiteral("Pattern Not Added");

QString workstations(int n) {
    return n == 1 ? QStringLiteral("1 workstation") : QStringLiteral("%1 workstations").arg(n);
}

} // namespace

AudiencesWindow::AudiencesWindow(ConsoleContext& ctx, QWidget* parent) : FixedDialog(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmAudiences"));
    setWindowTitle(QStringLiteral("Audiences"));

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabAudiences"));

    // The audiences and their members.
    auto* members = new QWidget;
    auto* grid = new QGridLayout(members);
    grid->addWidget(WindowParts::label(QStringLiteral("lblAudiences"), QStringLiteral("Audiences:"), members), 0, 0);
    m_audiences = new QListWidget(members);
    m_audiences->setObjectName(QStringLiteral("lstAudiences"));
    grid->addWidget(m_audiences, 1, 0, 5, 1);
    auto* audienceButtons = new QHBoxLayout;
    QPushButton* create = WindowParts::button(QStringLiteral("cmdNewAudience"), QStringLiteral("New..."),
                                              QStringLiteral("Click here to make a new audience"), members);
    m_rename = WindowParts::button(QStringLiteral("cmdRenameAudience"), QStringLiteral("Rename..."),
                                   QStringLiteral("Click here to rename the audience"), members);
    m_delete = WindowParts::button(QStringLiteral("cmdDeleteAudience"), QStringLiteral("Delete"),
                                   QStringLiteral("Click here to delete the audience"), members);
    for (QPushButton* b : {create, m_rename, m_delete})
        audienceButtons->addWidget(b);
    grid->addLayout(audienceButtons, 6, 0);

    grid->addWidget(WindowParts::label(QStringLiteral("lblPatterns"),
                                       QStringLiteral("Host-name patterns and hosts (* any characters, ? one):"),
                                       members),
                    0, 1, 1, 2);
    m_patterns = new QListWidget(members);
    m_patterns->setObjectName(QStringLiteral("lstPatterns"));
    grid->addWidget(m_patterns, 1, 1, 1, 2);
    m_audienceCount = WindowParts::label(QStringLiteral("lblAudienceCount"), {}, members);
    grid->addWidget(m_audienceCount, 2, 1, 1, 2);
    m_pattern = new QLineEdit(members);
    m_pattern->setObjectName(QStringLiteral("txtPattern"));
    grid->addWidget(m_pattern, 3, 1);
    m_addPattern = WindowParts::button(QStringLiteral("cmdAddPattern"), QStringLiteral("Add Pattern"),
                                       QStringLiteral("Click here to add the pattern to the audience"), members);
    grid->addWidget(m_addPattern, 3, 2);
    m_patternCount = WindowParts::label(QStringLiteral("lblPatternCount"), {}, members);
    grid->addWidget(m_patternCount, 4, 1, 1, 2);
    m_hosts = new QComboBox(members);
    m_hosts->setObjectName(QStringLiteral("cboHosts"));
    grid->addWidget(m_hosts, 5, 1);
    m_addHost = WindowParts::button(QStringLiteral("cmdAddHost"), QStringLiteral("Add Host"),
                                    QStringLiteral("Click here to add the workstation to the audience"), members);
    grid->addWidget(m_addHost, 5, 2);
    m_removePattern = WindowParts::button(QStringLiteral("cmdRemovePattern"), QStringLiteral("Remove"),
                                          QStringLiteral("Click here to remove the pattern or host"), members);
    grid->addWidget(m_removePattern, 6, 2);
    m_tabs->addTab(members, QStringLiteral("Audiences"));

    // Each code's reach.
    auto* codes = new QWidget;
    auto* codesLayout = new QVBoxLayout(codes);
    codesLayout->addWidget(WindowParts::label(
        QStringLiteral("lblCodes"),
        QStringLiteral("Checked codes reach only the audience of the alert's location; the others reach everyone."),
        codes));
    m_codes = new QListWidget(codes);
    m_codes->setObjectName(QStringLiteral("lstCodes"));
    codesLayout->addWidget(m_codes);
    m_tabs->addTab(codes, QStringLiteral("Codes"));

    // Each location's audience.
    auto* locations = new QWidget;
    auto* locationsLayout = new QVBoxLayout(locations);
    locationsLayout->addWidget(
        WindowParts::label(QStringLiteral("lblLocations"),
                           QStringLiteral("The audience that a checked code reaches at each location:"), locations));
    m_locations = new QTableWidget(0, 2, locations);
    m_locations->setObjectName(QStringLiteral("grdLocations"));
    m_locations->setHorizontalHeaderLabels({QStringLiteral("Location"), QStringLiteral("Audience")});
    m_locations->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_locations->verticalHeader()->hide();
    m_locations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    locationsLayout->addWidget(m_locations);
    m_tabs->addTab(locations, QStringLiteral("Locations"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    QPushButton* close = WindowParts::button(QStringLiteral("cmdClose"), QStringLiteral("Close"),
                                             QStringLiteral("Click here to close this window"), this);
    layout->addWidget(close, 0, Qt::AlignRight);

    connect(create, &QPushButton::clicked, this, &AudiencesWindow::newAudience);
    connect(m_rename, &QPushButton::clicked, this, &AudiencesWindow::renameAudience);
    connect(m_delete, &QPushButton::clicked, this, &AudiencesWindow::deleteAudience);
    connect(m_addPattern, &QPushButton::clicked, this, &AudiencesWindow::addPattern);
    connect(m_pattern, &QLineEdit::returnPressed, this, &AudiencesWindow::addPattern);
    connect(m_addHost, &QPushButton::clicked, this, &AudiencesWindow::addHost);
    connect(m_removePattern, &QPushButton::clicked, this, &AudiencesWindow::removePattern);
    connect(m_pattern, &QLineEdit::textChanged, this, &AudiencesWindow::showPatternCount);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_audiences, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_showing) return;
        m_chosenId = row >= 0 && row < m_picture.audiences.size() ? m_picture.audiences[row].id : 0;
        showAudience();
    });
    connect(m_codes, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (m_showing) return;
        const QString code = item->text();
        const bool on = item->checkState() == Qt::Checked;
        // Later: the list is rebuilt, and the item still being changed with it.
        QMetaObject::invokeMethod(
            this, [this, code, on] { change([&](AudienceStore& s) { s.setLocationOnly(code, on); }); },
            Qt::QueuedConnection);
    });
    resize(720, 460);
    setFixedSize(size());
}

void AudiencesWindow::showModal(ConsoleContext& ctx, QWidget* parent) {
    if (AudiencesWindow* open = g_window.current()) {
        open->raise();
        open->activateWindow();
        return;
    }
    AudiencesWindow& window = g_window.instance([&] { return new AudiencesWindow(ctx, parent); });
    if (!window.load()) {
        delete &window;
        return;
    }
    window.exec();
}

bool AudiencesWindow::load() {
    try {
        m_ctx.database().run<AudienceStore>([&](AudienceStore& s) { m_picture = s.read(); });
    } catch (const Failure& f) {
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::AudiencesLoad, f), m_ctx.msg, m_ctx.exit);
        return false;
    }
    showPicture();
    return true;
}

void AudiencesWindow::change(const std::function<void(AudienceStore&)>& step) {
    try {
        m_ctx.database().run<AudienceStore>(step);
    } catch (const Failure& f) {
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::AudiencesSave, f), m_ctx.msg, m_ctx.exit);
    }
    // What was saved or not, another console may have changed meanwhile: show what the database holds.
    load();
}

const AudienceStore::Audience* AudiencesWindow::chosen() const {
    for (const AudienceStore::Audience& a : m_picture.audiences)
        if (a.id == m_chosenId) return &a;
    return nullptr;
}

void AudiencesWindow::showPicture() {
    m_showing = true;
    m_audiences->clear();
    int row = -1;
    for (const AudienceStore::Audience& a : m_picture.audiences) {
        if (a.id == m_chosenId) row = m_audiences->count();
        m_audiences->addItem(a.name);
    }
    if (row < 0 && !m_picture.audiences.isEmpty()) row = 0;
    m_chosenId = row >= 0 ? m_picture.audiences[row].id : 0;
    m_audiences->setCurrentRow(row);

    m_hosts->clear();
    QSet<QString> offered;
    for (const AudienceStore::Host& h : m_picture.hosts) {
        if (offered.contains(h.name)) continue;
        offered.insert(h.name);
        m_hosts->addItem(h.name);
    }

    m_codes->clear();
    for (const QString& code : m_picture.codes) {
        auto* item = new QListWidgetItem(code, m_codes);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(m_picture.locationOnlyCodes.contains(code) ? Qt::Checked : Qt::Unchecked);
    }

    m_locations->setRowCount(int(m_picture.locations.size()));
    for (int i = 0; i < m_picture.locations.size(); ++i) {
        const QString location = m_picture.locations[i];
        m_locations->setItem(i, 0, new QTableWidgetItem(location));
        int named = 0;
        for (const auto& [place, id] : m_picture.placement)
            if (place == location) named = id;
        auto* box = new QComboBox;
        box->setObjectName(QStringLiteral("cboLocationAudience"));
        box->addItem(QStringLiteral("Everyone"), 0);
        for (const AudienceStore::Audience& a : m_picture.audiences)
            box->addItem(a.name, a.id);
        box->setCurrentIndex(qMax(0, box->findData(named)));
        connect(box, &QComboBox::currentIndexChanged, this, [this, box, location] {
            if (m_showing) return;
            const int id = box->currentData().toInt();
            // Later: the table is rebuilt, and this box with it.
            QMetaObject::invokeMethod(
                this, [this, location, id] { change([&](AudienceStore& s) { s.setLocationAudience(location, id); }); },
                Qt::QueuedConnection);
        });
        m_locations->setCellWidget(i, 1, box);
    }
    m_showing = false;
    showAudience();
}

void AudiencesWindow::showAudience() {
    const AudienceStore::Audience* a = chosen();
    m_patterns->clear();
    if (a) m_patterns->addItems(a->patterns);
    if (m_patterns->count() > 0) m_patterns->setCurrentRow(0);
    for (QWidget* w : std::initializer_list<QWidget*>{m_rename, m_delete, m_pattern, m_addPattern, m_hosts, m_addHost,
                                                      m_removePattern, m_patterns})
        w->setEnabled(a != nullptr);
    m_addHost->setEnabled(a && m_hosts->count() > 0);
    if (!a) {
        m_audienceCount->setText(QStringLiteral("Click New... to make an audience."));
    } else if (a->patterns.isEmpty()) {
        m_audienceCount->setText(QStringLiteral("No patterns or hosts yet: alerts for this audience reach everyone."));
    } else {
        m_audienceCount->setText(
            QStringLiteral("In this audience: %1 known, %2 checked in recently.")
                .arg(workstations(AudienceStore::countMatching(a->patterns, m_picture.hosts, false)))
                .arg(AudienceStore::countMatching(a->patterns, m_picture.hosts, true)));
    }
    showPatternCount();
}

void AudiencesWindow::showPatternCount() {
    const QString pattern = m_pattern->text();
    if (pattern.isEmpty()) {
        m_patternCount->clear();
        return;
    }
    const QString problem = hostpattern::problemWith(pattern);
    if (!problem.isEmpty()) {
        m_patternCount->setText(problem);
        return;
    }
    m_patternCount->setText(QStringLiteral("Matches %1 of %2 known, %3 checked in recently.")
                                .arg(AudienceStore::countMatching({pattern}, m_picture.hosts, false))
                                .arg(workstations(int(m_picture.hosts.size())))
                                .arg(AudienceStore::countMatching({pattern}, m_picture.hosts, true)));
}

void AudiencesWindow::newAudience() {
    const QString name =
        m_ctx.msg.input(QStringLiteral("Type the name of the new audience."), QStringLiteral("New Audience"));
    if (name.isEmpty()) return; // cancelled
    if (const QString problem = AudienceStore::nameProblem(name); !problem.isEmpty()) {
        m_ctx.msg.show(kNotSavedTitle, problem, Buttons::Ok, Icon::Warning);
        return;
    }
    bool made = true;
    change([&](AudienceStore& s) { made = s.create(name); });
    if (!made) {
        m_ctx.msg.show(kNotSavedTitle,
                       QStringLiteral("There is already an audience named \"%1\". Choose another name.").arg(name),
                       Buttons::Ok, Icon::Warning);
        return;
    }
    for (const AudienceStore::Audience& a : m_picture.audiences)
        if (a.name.compare(name, Qt::CaseInsensitive) == 0) m_chosenId = a.id;
    showPicture();
    m_pattern->setFocus(Qt::OtherFocusReason);
}

void AudiencesWindow::renameAudience() {
    const AudienceStore::Audience* a = chosen();
    if (!a) return;
    const int id = a->id;
    const QString name = m_ctx.msg.input(QStringLiteral("Type the new name of the audience \"%1\".").arg(a->name),
                                         QStringLiteral("Rename Audience"));
    if (name.isEmpty()) return;
    if (const QString problem = AudienceStore::nameProblem(name); !problem.isEmpty()) {
        m_ctx.msg.show(kNotSavedTitle, problem, Buttons::Ok, Icon::Warning);
        return;
    }
    bool renamed = true;
    change([&](AudienceStore& s) { renamed = s.rename(id, name); });
    if (!renamed)
        m_ctx.msg.show(kNotSavedTitle,
                       QStringLiteral("There is already an audience named \"%1\". Choose another name.").arg(name),
                       Buttons::Ok, Icon::Warning);
}

void AudiencesWindow::deleteAudience() {
    const AudienceStore::Audience* a = chosen();
    if (!a) return;
    const int id = a->id;
    QStringList using_;
    for (const auto& [place, named] : m_picture.placement)
        if (named == id) using_ << place;
    using_.sort();
    QString question = QStringLiteral("Delete the audience \"%1\"?").arg(a->name);
    if (!using_.isEmpty())
        question = QStringLiteral("The audience \"%1\" is the audience of %2: %3. Alerts there will reach everyone. "
                                  "Delete it?")
                       .arg(a->name,
                            using_.size() == 1 ? QStringLiteral("1 location")
                                               : QStringLiteral("%1 locations").arg(using_.size()),
                            using_.join(QStringLiteral(", ")));
    if (m_ctx.msg.show(QStringLiteral("Delete Audience"), question, Buttons::YesNo, Icon::Question) != Answer::Yes)
        return;
    change([&](AudienceStore& s) { s.remove(id); });
}

void AudiencesWindow::addMember(const QString& pattern) {
    const AudienceStore::Audience* a = chosen();
    if (!a) return;
    const int id = a->id;
    if (const QString problem = hostpattern::problemWith(pattern); !problem.isEmpty()) {
        m_ctx.msg.show(kPatternNotAddedTitle, problem, Buttons::Ok, Icon::Warning);
        return;
    }
    bool added = true;
    change([&](AudienceStore& s) { added = s.addPattern(id, pattern); });
    if (!added) {
        m_ctx.msg.show(kPatternNotAddedTitle,
                       QStringLiteral("The audience already has the pattern \"%1\".").arg(pattern), Buttons::Ok,
                       Icon::Warning);
        return;
    }
    m_pattern->clear();
    if (AudienceStore::countMatching({pattern}, m_picture.hosts, false) == 0)
        m_ctx.msg.show(QStringLiteral("Pattern Added"),
                       QStringLiteral("No workstation known to the database matches \"%1\" yet. The pattern has been "
                                      "added: workstations that check in later with a matching name belong to the "
                                      "audience.")
                           .arg(pattern),
                       Buttons::Ok, Icon::Information);
}

void AudiencesWindow::addPattern() {
    addMember(m_pattern->text());
}

void AudiencesWindow::addHost() {
    addMember(m_hosts->currentText());
}

void AudiencesWindow::removePattern() {
    const AudienceStore::Audience* a = chosen();
    QListWidgetItem* item = m_patterns->currentItem();
    if (!a || !item) return;
    const int id = a->id;
    const QString pattern = item->text();
    change([&](AudienceStore& s) { s.removePattern(id, pattern); });
}

} // namespace hv
