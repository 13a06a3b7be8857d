#include "admin/CatalogueEditor.h"

#include "Failure.h"
#include "Handler.h"
#include "shared/ConsoleContext.h"
#include "shared/ConsoleTexts.h"
#include "widgets/FocusHolder.h"
#include "widgets/Hourglass.h"
#include "widgets/LengthLimit.h"
#include "widgets/LimitedTextEdit.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace hv {

namespace {

const QString kAddNew = QStringLiteral("Add New");
const QString kCancel = QStringLiteral("Cancel");
const QString kToolTipAdd = QStringLiteral("Click here to add a new record");
const QString kToolTipCancel = QStringLiteral("Click here to cancel");
const QString kNoRecordToDeleteTitle = QStringLiteral("No Record To Delete");
const QString kNoRecordToDeleteText = QStringLiteral("No Record to Delete.");

SingleWindow<CatalogueEditor> g_editor;

} // namespace

CatalogueEditor::CatalogueEditor(EditorConfig config, ConsoleContext& ctx, QWidget* parent)
    : FixedDialog(parent), m_config(std::move(config)), m_ctx(ctx),
      m_store(ctx.database().store<CatalogueStore>(m_config.catalogue)) {
    build();
}

CatalogueEditor::~CatalogueEditor() = default;

void CatalogueEditor::build() {
    setObjectName(m_config.formName);
    setWindowTitle(m_config.caption);

    // First in tab order, outside the client area.
    m_holder = new FocusHolder(m_config.focusHolderName, this);

    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int i = 0; i < m_config.fields.size(); ++i) {
        const EditorField& f = m_config.fields[i];
        QLabel* label = WindowParts::label(QString(), f.label, this);
        QWidget* field = nullptr;
        LengthLimit* limit = nullptr;
        if (f.kind == EditorField::Kind::MultiLine) {
            auto* edit = new LimitedTextEdit(f.limit, LimitedTextEdit::Enter::BreaksLine, this);
            edit->setFixedSize(340, 100);
            connect(edit, &LimitedTextEdit::valueChanged, this, [this, i] { onFieldChanged(i); });
            field = edit;
        } else {
            auto* edit = new QLineEdit(this);
            limit = new LengthLimit(f.limit, edit);
            edit->setMinimumWidth(340);
            if (f.kind == EditorField::Kind::Masked) edit->setEchoMode(QLineEdit::Password);
            connect(edit, &QLineEdit::textChanged, this, [this, i] { onFieldChanged(i); });
            field = edit;
        }
        field->setObjectName(f.objectName);
        if (!f.toolTip.isEmpty()) field->setToolTip(f.toolTip);
        label->setBuddy(field);
        grid->addWidget(label, i, 0, f.kind == EditorField::Kind::MultiLine ? Qt::AlignTop : Qt::AlignVCenter);
        grid->addWidget(field, i, 1);
        m_fields.append(field);
        m_limits.append(limit);
    }
    if (m_config.enterInSecondTogglesMode && m_fields.size() > 1) m_fields[1]->installEventFilter(this);
    outer->addLayout(grid);

    // Enter in a field must never press a button of its own accord.
    m_command2 = WindowParts::button(QStringLiteral("Command2"), kAddNew, m_config.addNewToolTip, this);
    m_command3 = WindowParts::button(QStringLiteral("Command3"), QStringLiteral("Update"),
                                     QStringLiteral("Click here to save and update the current record"), this);
    m_command4 = WindowParts::button(QStringLiteral("Command4"), QStringLiteral("Delete"),
                                     QStringLiteral("Click to Delete the current record"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_command2);
    buttons->addWidget(m_command3);
    buttons->addWidget(m_command4);
    outer->addLayout(buttons);

    auto makeArrow = [this](const QString& name, QStyle::StandardPixmap pixmap, const QString& tip) {
        auto* b = new QToolButton(this);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(pixmap));
        b->setIconSize(QSize(24, 24));
        b->setToolTip(tip);
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    m_previous = makeArrow(QStringLiteral("cmdMovePrevious"), QStyle::SP_ArrowLeft,
                           QStringLiteral("Click here to move to the previous record"));
    m_next = makeArrow(QStringLiteral("cmdMoveNext"), QStyle::SP_ArrowRight,
                       QStringLiteral("Click here to move to the next record"));
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(m_previous);
    arrows->addWidget(m_next);
    arrows->addStretch();
    outer->addLayout(arrows);

    QList<QWidget*> tabOrder = m_fields;
    tabOrder << m_command2 << m_command3 << m_command4 << m_previous << m_next;
    QWidget* previous = m_holder;
    for (QWidget* w : tabOrder) {
        setTabOrder(previous, w);
        previous = w;
    }

    connect(m_next, &QToolButton::clicked, this, &CatalogueEditor::onMoveNext);
    connect(m_previous, &QToolButton::clicked, this, &CatalogueEditor::onMovePrevious);
    connect(m_command2, &QPushButton::clicked, this, &CatalogueEditor::onToggleMode);
    connect(m_command3, &QPushButton::clicked, this, &CatalogueEditor::onUpdate);
    connect(m_command4, &QPushButton::clicked, this, &CatalogueEditor::onDelete);

    showButtons();
    setFixedSize(sizeHint());
    focusHolder();
}

void CatalogueEditor::showModal(const EditorConfig& config, ConsoleContext& ctx, QWidget* parent) {
    if (CatalogueEditor* open = g_editor.current()) {
        open->raise();
        open->activateWindow();
        return;
    }
    // On the heap and deleted on close: the owner may go while the editor is still open.
    CatalogueEditor& editor = g_editor.instance([&] { return new CatalogueEditor(config, ctx, parent); });
    if (!editor.load()) {
        delete &editor;
        return;
    }
    editor.exec();
}

// ---- fields ---------------------------------------------------------------------------------

QString CatalogueEditor::fieldText(int i) const {
    if (auto* e = qobject_cast<QLineEdit*>(m_fields[i])) return e->text();
    return static_cast<LimitedTextEdit*>(m_fields[i])->text();
}

QStringList CatalogueEditor::fieldTexts() const {
    QStringList texts;
    for (int i = 0; i < m_fields.size(); ++i)
        texts << fieldText(i);
    return texts;
}

void CatalogueEditor::setFieldText(int i, const QString& text) {
    if (auto* e = qobject_cast<QLineEdit*>(m_fields[i])) {
        // A long stored value stays whole.
        m_limits[i]->allow(text);
        e->setText(text);
        return;
    }
    static_cast<LimitedTextEdit*>(m_fields[i])->setText(text);
}

void CatalogueEditor::clearField(int i) {
    setFieldText(i, QString());
}

void CatalogueEditor::focusHolder() {
    m_holder->setFocus(Qt::OtherFocusReason);
}

void CatalogueEditor::focusField(int i) {
    m_fields[i]->setFocus(Qt::OtherFocusReason);
}

void CatalogueEditor::showButtons() {
    const bool adding = m_store.adding();
    m_command2->setText(adding ? kCancel : kAddNew);
    m_command2->setToolTip(adding ? kToolTipCancel : m_addModeSeen ? kToolTipAdd : m_config.addNewToolTip);
    m_command3->setEnabled(m_updateAllowed);
    m_command4->setEnabled(!adding);
    m_previous->setEnabled(!adding && !m_firstMet);
    m_next->setEnabled(!adding && !m_lastMet);
}

void CatalogueEditor::leaveEnds() {
    m_firstMet = false;
    m_lastMet = false;
    showButtons();
}

void CatalogueEditor::onFieldChanged(int i) {
    if (!m_config.fields[i].watched) return;
    m_updateAllowed = !fieldText(i).isEmpty();
    showButtons();
}

// ---- the database -----------------------------------------------------------------------------

std::optional<Failure> CatalogueEditor::attempt(const std::function<void()>& step) {
    try {
        m_ctx.database().run(step);
        return std::nullopt;
    } catch (const Failure& f) {
        return f;
    }
}

void CatalogueEditor::report(FailureTable::Operation operation, const Failure& failure) {
    FailureTable::apply(FailureTable::responseTo(operation, failure, m_config.catalogue.plural), m_ctx.msg, m_ctx.exit);
}

void CatalogueEditor::reportChangedElsewhere(const QString& outcome) {
    m_ctx.msg.show(QStringLiteral("Record Changed"),
                   QStringLiteral("This record has been changed or deleted at another computer since it was shown. ") +
                       outcome + QStringLiteral(" The records are shown again as they are now."),
                   Buttons::Ok, Icon::Information);
}

void CatalogueEditor::fillfields() {
    switch (m_store.settle()) {
    case CatalogueStore::Edge::First:
        m_firstMet = true;
        showButtons();
        // With no row left nothing may go on showing values of a row that is gone.
        if (m_store.size() == 0)
            for (int i = 0; i < m_fields.size(); ++i)
                clearField(i);
        m_ctx.msg.show(QStringLiteral("First Record"), QStringLiteral("You are at the first record."), Buttons::Ok,
                       Icon::Information);
        return;
    case CatalogueStore::Edge::Last:
        m_lastMet = true;
        showButtons();
        m_ctx.msg.show(QStringLiteral("Last Record"), QStringLiteral("You are at the last record."), Buttons::Ok,
                       Icon::Information);
        return;
    case CatalogueStore::Edge::None:
        break;
    }
    const QStringList values = m_store.current();
    for (int i = 0; i < m_fields.size(); ++i)
        setFieldText(i, values.value(i));
    m_store.remember(fieldTexts());
}

bool CatalogueEditor::reloadrecords() {
    if (const auto failed = attempt([this] { m_store.load(); })) {
        report(FailureTable::Operation::EditorReload, *failed);
        return false;
    }
    fillfields();
    return true;
}

// ---- window load ----------------------------------------------------------------------------

bool CatalogueEditor::load() {
    if (m_config.loadFailuresEndProgram) {
        Handler handler(FailureTable::policyFor(FailureTable::Operation::LocationsEditorLoad, m_ctx.msg, m_ctx.exit));
        // Any other failure stops the load quietly; the window opens with what was filled so far.
        const bool ran = handler.run([&] {
            handler.step([&] { m_ctx.database().run([this] { m_store.load(); }); });
            handler.step([&] { fillfields(); });
        });
        return ran || handler.endedBy() != nullptr;
    }
    if (const auto failed = attempt([this] { m_store.load(); })) {
        report(FailureTable::Operation::EditorLoad, *failed);
        return false;
    }
    fillfields();
    return true;
}

// ---- navigation -----------------------------------------------------------------------------

void CatalogueEditor::onMoveNext() {
    m_firstMet = false;
    showButtons();
    if (!m_store.eof()) {
        m_store.moveNext();
        fillfields();
    }
    focusHolder();
}

void CatalogueEditor::onMovePrevious() {
    m_lastMet = false;
    showButtons();
    if (!m_store.bof()) {
        m_store.movePrevious();
        fillfields();
    }
    focusHolder();
}

// ---- Add New / Cancel -----------------------------------------------------------------------

void CatalogueEditor::onToggleMode() {
    if (!m_store.adding()) {
        for (int i = 0; i < m_fields.size(); ++i)
            clearField(i);
        m_store.startAdding();
        m_addModeSeen = true;
        m_updateAllowed = false;
        showButtons();
        focusField(0);
        return;
    }
    m_store.stopAdding();
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_config.fields[i].clearedOnCancel) clearField(i);
    m_updateAllowed = true;
    leaveEnds();
    if (!m_store.eof()) fillfields();
    focusHolder();
}

// ---- Update ---------------------------------------------------------------------------------

void CatalogueEditor::onUpdate() {
    for (int i = 0; i < m_fields.size(); ++i) {
        const EditorField& f = m_config.fields[i];
        if (!f.blankMessage.isEmpty() && fieldText(i).isEmpty()) {
            m_ctx.msg.show(QStringLiteral("Empty Field"), f.blankMessage, Buttons::Ok, Icon::Information);
            focusField(i);
            return;
        }
    }
    if (m_store.adding())
        addRow();
    else
        saveRow();
}

void CatalogueEditor::addRow() {
    const QStringList values = fieldTexts();
    CatalogueStore::Outcome outcome = CatalogueStore::Outcome::Done;
    if (const auto failed = attempt([&] { outcome = m_store.add(values); })) {
        // The typed values stay and the window stays in add mode, so the user can try again.
        report(FailureTable::Operation::EditorAdd, *failed);
        focusField(0);
        return;
    }
    if (outcome == CatalogueStore::Outcome::Duplicate) {
        m_ctx.msg.show(m_config.duplicateTitle, m_config.duplicateText, Buttons::Ok, Icon::Critical);
        focusField(0);
        return;
    }
    // The store browses again.
    leaveEnds();
    reloadrecords();
    m_ctx.msg.show(QStringLiteral("Saved"),
                   m_config.addedStart + values.front() + QStringLiteral(") has been added to the database."),
                   Buttons::Ok, Icon::None);
    focusHolder();
}

void CatalogueEditor::saveRow() {
    leaveEnds();
    if (m_store.bof() || m_store.eof()) {
        m_ctx.msg.show(QStringLiteral("No Record To Update"),
                       QStringLiteral("There is no record to update. Click Add New to create a new record."),
                       Buttons::Ok, Icon::Information);
        focusHolder();
        return;
    }
    const QStringList values = fieldTexts();
    CatalogueStore::Outcome outcome = CatalogueStore::Outcome::Done;
    if (const auto failed = attempt([&] { outcome = m_store.save(values); })) {
        report(FailureTable::Operation::EditorSave, *failed);
        return;
    }
    if (outcome == CatalogueStore::Outcome::ChangedElsewhere) {
        reportChangedElsewhere(text::kChangesNotSaved);
        reloadrecords();
        focusHolder();
        return;
    }
    reloadrecords();
    m_ctx.msg.show(QStringLiteral("Updates"), QStringLiteral("Your changes have been saved."), Buttons::Ok,
                   Icon::Information);
    focusHolder();
}

// ---- Delete ---------------------------------------------------------------------------------

void CatalogueEditor::onDelete() {
    // The hourglass while the delete runs.
    Hourglass busy(this);
    if (fieldText(0).isEmpty()) {
        busy.off();
        m_ctx.msg.show(kNoRecordToDeleteTitle, kNoRecordToDeleteText, Buttons::Ok, Icon::None);
        return;
    }
    busy.off();
    if (m_ctx.msg.show(QStringLiteral("Delete?"), QStringLiteral("Are you sure you want to delete this Record?"),
                       Buttons::YesNo, Icon::Question) != Answer::Yes) {
        focusField(0);
        return;
    }
    busy.on();
    if (m_store.bof() || m_store.eof()) {
        // The name was typed on an empty list: there is no row behind it to delete.
        busy.off();
        m_ctx.msg.show(kNoRecordToDeleteTitle, kNoRecordToDeleteText, Buttons::Ok, Icon::None);
        focusHolder();
        return;
    }
    CatalogueStore::Outcome outcome = CatalogueStore::Outcome::Done;
    if (const auto failed = attempt([&] { outcome = m_store.remove(); })) {
        busy.off();
        report(FailureTable::Operation::EditorDelete, *failed);
        focusHolder();
        return;
    }
    if (outcome == CatalogueStore::Outcome::ChangedElsewhere) {
        busy.off();
        reportChangedElsewhere(QStringLiteral("Nothing has been deleted."));
        reloadrecords();
        focusHolder();
        return;
    }
    reloadrecords();
    focusHolder();
    busy.off();
    if (!m_config.deletedText.isEmpty())
        m_ctx.msg.show(QStringLiteral("Deleted"), m_config.deletedText, Buttons::Ok, Icon::Information);
}

// ---- keys -------------------------------------------------------------------------------------

bool CatalogueEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_fields.size() > 1 && watched == m_fields[1]) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onToggleMode();
            return true;
        }
    }
    return FixedDialog::eventFilter(watched, event);
}

} // namespace hv
