#include "CatalogueEditor.h"

#include "AdminTexts.h"
#include "Connection.h"
#include "ConsoleContext.h"
#include "FocusHolder.h"
#include "Handler.h"
#include "LengthLimit.h"
#include "LimitedTextEdit.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kAddNew = QStringLiteral("Add New");
const QString kCancel = QStringLiteral("Cancel");
const QString kToolTipAdd = QStringLiteral("Click here to add a new record");
const QString kToolTipCancel = QStringLiteral("Click here to cancel");

QPointer<CatalogueEditor> g_openEditor;

// The hourglass over the window while a delete runs; every way out restores the normal pointer.
class BusyPointer {
public:
    explicit BusyPointer(QWidget* w) : m_w(w) { on(); }
    ~BusyPointer() { off(); }
    void on() { m_w->setCursor(Qt::WaitCursor); }
    void off() { m_w->unsetCursor(); }

private:
    QWidget* m_w;
};

QVariant nullText() {
    return QVariant(QMetaType::fromType<QString>());
}

} // namespace

CatalogueEditor::CatalogueEditor(EditorConfig config, ConsoleContext& ctx, QWidget* parent)
    : QDialog(parent), m_config(std::move(config)), m_ctx(ctx) {
    build();
}

CatalogueEditor::~CatalogueEditor() = default;

void CatalogueEditor::build() {
    setObjectName(m_config.formName);
    setWindowTitle(m_config.caption);
    admin::makeFixedDialog(this);

    // First in tab order, outside the client area.
    m_holder = new FocusHolder(m_config.focusHolderName, this);

    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int i = 0; i < m_config.fields.size(); ++i) {
        const EditorField& f = m_config.fields[i];
        auto* label = new QLabel(f.label, this);
        label->setTextFormat(Qt::PlainText);
        QWidget* field = nullptr;
        if (f.kind == EditorField::Kind::MultiLine) {
            auto* edit = new LimitedTextEdit(f.limit, this);
            edit->setFixedSize(340, 100);
            connect(edit, &LimitedTextEdit::valueChanged, this, [this, i] { onFieldChanged(i); });
            field = edit;
        } else {
            auto* edit = new QLineEdit(this);
            edit->setValidator(new LengthLimit(f.limit, edit));
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
        m_filled.append(QString());
    }
    if (m_config.enterInSecondTogglesMode && m_fields.size() > 1) m_fields[1]->installEventFilter(this);
    outer->addLayout(grid);

    auto makeButton = [this](const QString& name, const QString& caption, const QString& tip) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setToolTip(tip);
        // Enter in a field must never press a button of its own accord.
        b->setAutoDefault(false);
        b->setDefault(false);
        return b;
    };
    m_command2 = makeButton(QStringLiteral("Command2"), kAddNew, m_config.addNewToolTip);
    m_command3 = makeButton(QStringLiteral("Command3"), QStringLiteral("Update"),
                            QStringLiteral("Click here to save and update the current record"));
    m_command4 = makeButton(QStringLiteral("Command4"), QStringLiteral("Delete"),
                            QStringLiteral("Click to Delete the current record"));
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

    setFixedSize(sizeHint());
    focusHolder();
}

void CatalogueEditor::showModal(const EditorConfig& config, ConsoleContext& ctx, QWidget* parent) {
    if (g_openEditor) {
        g_openEditor->raise();
        g_openEditor->activateWindow();
        return;
    }
    // On the heap and deleted on close: the owner may go while the editor is still open.
    auto* editor = new CatalogueEditor(config, ctx, parent);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    g_openEditor = editor;
    if (!editor->load()) {
        delete editor;
        return;
    }
    editor->exec();
}

// ---- fields ---------------------------------------------------------------------------------

QString CatalogueEditor::fieldText(int i) const {
    if (auto* e = qobject_cast<QLineEdit*>(m_fields[i])) return e->text();
    return static_cast<LimitedTextEdit*>(m_fields[i])->text();
}

void CatalogueEditor::setFieldText(int i, const QString& text) {
    if (auto* e = qobject_cast<QLineEdit*>(m_fields[i])) {
        // A long stored value stays whole.
        e->findChild<LengthLimit*>(QString(), Qt::FindDirectChildrenOnly)->allow(text);
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

bool CatalogueEditor::addMode() const {
    return m_command2->text() == kCancel;
}

void CatalogueEditor::setBrowseCaption() {
    m_command2->setText(kAddNew);
    m_command2->setToolTip(kToolTipAdd);
}

void CatalogueEditor::enableBrowsing() {
    m_command2->setEnabled(true);
    m_command4->setEnabled(true);
    m_previous->setEnabled(true);
    m_next->setEnabled(true);
}

void CatalogueEditor::onFieldChanged(int i) {
    if (m_config.fields[i].watched) m_command3->setEnabled(!fieldText(i).isEmpty());
}

// ---- the record set -------------------------------------------------------------------------

void CatalogueEditor::openConnection() {
    m_conn.reset();
    hv::ConnectionOptions options;
    // Count rows matched, not rows changed: saving a row unchanged must not look like a lost row.
    options.foundRows = true;
    m_conn = std::make_unique<hv::Connection>(m_ctx.connectionString(), options);
}

void CatalogueEditor::openMainSet() {
    if (!m_conn) openConnection();
    QList<QVariantList> rows;
    for (const QSqlRecord& r : m_conn->select(m_config.mainQuery)) {
        QVariantList values;
        for (const EditorField& f : m_config.fields) {
            const int c = r.indexOf(f.column);
            if (c < 0) throw hv::Failure(3265, QStringLiteral("Item not found in this collection: %1").arg(f.column));
            values.append(r.value(c));
        }
        rows.append(values);
    }
    m_rows = rows;
    m_pos = m_rows.isEmpty() ? -1 : 0;
}

void CatalogueEditor::fillfields() {
    if (bof() || eof()) {
        if (bof()) {
            if (!m_rows.isEmpty()) m_pos = 0;
            m_previous->setEnabled(false);
            // With no row left nothing may go on showing values of a row that is gone.
            if (m_rows.isEmpty())
                for (int i = 0; i < m_fields.size(); ++i)
                    clearField(i);
            m_ctx.msg.show(QStringLiteral("First Record"), QStringLiteral("You are at the first record."),
                           hv::Buttons::Ok, hv::Icon::Information);
        } else {
            m_pos = m_rows.size() - 1;
            m_next->setEnabled(false);
            m_ctx.msg.show(QStringLiteral("Last Record"), QStringLiteral("You are at the last record."),
                           hv::Buttons::Ok, hv::Icon::Information);
        }
        return;
    }
    const QVariantList& row = m_rows[m_pos];
    for (int i = 0; i < m_fields.size(); ++i) {
        setFieldText(i, hv::textOf(row[i]));
        m_filled[i] = fieldText(i);
    }
}

bool CatalogueEditor::reloadrecords() {
    m_conn.reset();
    try {
        openConnection();
        openMainSet();
    } catch (const hv::Failure& f) {
        dropConnection();
        reportFailure(QStringLiteral("Database Error"),
                      QStringLiteral("The %1 could not be read again from the database.").arg(m_config.plural), f);
        return false;
    }
    fillfields();
    return true;
}

void CatalogueEditor::dropConnection() {
    // After a failure the next action starts on a new connection: a lost one is of no further use,
    // and a new session also sees rights that the administrator has changed since.
    m_conn.reset();
}

void CatalogueEditor::reportFailure(const QString& title, const QString& what, const hv::Failure& f) {
    m_ctx.msg.show(title, what + u' ' + admin::reasonFor(f) + QStringLiteral(" Contact your computer administrator"),
                   hv::Buttons::Ok, hv::Icon::Critical);
}

void CatalogueEditor::reportChangedElsewhere(const QString& outcome) {
    m_ctx.msg.show(QStringLiteral("Record Changed"),
                   QStringLiteral("This record has been changed or deleted at another computer since it was shown. ") +
                       outcome + QStringLiteral(" The records are shown again as they are now."),
                   hv::Buttons::Ok, hv::Icon::Information);
}

QString CatalogueEditor::lockCondition() const {
    QStringList parts;
    for (const EditorField& f : m_config.fields)
        parts << QStringLiteral("BINARY %1 <=> BINARY ?").arg(f.column);
    return parts.join(QStringLiteral(" AND "));
}

// ---- window load ----------------------------------------------------------------------------

bool CatalogueEditor::load() {
    if (m_config.loadFailuresEndProgram) {
        bool ended = false;
        hv::Handler handler([&](const hv::Failure& f) {
            if (f.number() == hv::code::CannotOpen) {
                ended = true;
                m_ctx.msg.show(QStringLiteral("Database Not Found"),
                               QStringLiteral("Database not found. Contact your computer administrator"),
                               hv::Buttons::Ok, hv::Icon::Critical);
                m_ctx.exit.endProgram();
            }
            if (f.number() == hv::code::LoginRefused) {
                ended = true;
                m_ctx.msg.show(admin::kWrongPasswordTitle, admin::kWrongPasswordText, hv::Buttons::Ok,
                               hv::Icon::Critical);
                m_ctx.exit.endProgram();
            }
            return hv::skipNoCurrentRow(f);
        });
        // Any other failure stops the load quietly; the window opens with what was filled so far.
        handler.run([&] {
            handler.step([&] { openConnection(); });
            handler.step([&] { openMainSet(); });
            handler.step([&] { fillfields(); });
        });
        return !ended;
    }
    try {
        openConnection();
        openMainSet();
    } catch (const hv::Failure& f) {
        m_conn.reset();
        reportFailure(QStringLiteral("Database Error"),
                      QStringLiteral("The %1 could not be read from the database, so the window will not open.")
                          .arg(m_config.plural),
                      f);
        return false;
    }
    fillfields();
    return true;
}

// ---- navigation -----------------------------------------------------------------------------

void CatalogueEditor::onMoveNext() {
    m_previous->setEnabled(true);
    if (!eof()) {
        ++m_pos;
        fillfields();
    }
    focusHolder();
}

void CatalogueEditor::onMovePrevious() {
    m_next->setEnabled(true);
    if (!bof()) {
        --m_pos;
        fillfields();
    }
    focusHolder();
}

// ---- Add New / Cancel -----------------------------------------------------------------------

void CatalogueEditor::onToggleMode() {
    if (!addMode()) {
        for (int i = 0; i < m_fields.size(); ++i)
            clearField(i);
        m_command2->setText(kCancel);
        m_command2->setToolTip(kToolTipCancel);
        m_command3->setEnabled(false);
        m_command4->setEnabled(false);
        m_previous->setEnabled(false);
        m_next->setEnabled(false);
        focusField(0);
        return;
    }
    m_command2->setText(kAddNew);
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_config.fields[i].clearedOnCancel) clearField(i);
    m_command2->setToolTip(kToolTipAdd);
    m_command3->setEnabled(true);
    enableBrowsing();
    if (!eof()) fillfields();
    focusHolder();
}

// ---- Update ---------------------------------------------------------------------------------

void CatalogueEditor::onUpdate() {
    for (int i = 0; i < m_fields.size(); ++i) {
        const EditorField& f = m_config.fields[i];
        if (!f.blankMessage.isEmpty() && fieldText(i).isEmpty()) {
            m_ctx.msg.show(QStringLiteral("Empty Field"), f.blankMessage, hv::Buttons::Ok, hv::Icon::Information);
            focusField(i);
            return;
        }
    }
    if (addMode())
        addRow();
    else
        saveRow();
}

void CatalogueEditor::addRow() {
    const QString name = fieldText(0);
    try {
        if (!m_conn) openConnection();
        // Compared here, character for character: the server's collation would ignore case and
        // trailing spaces.
        bool duplicate = false;
        m_conn->forEach(m_config.checkQuery, {}, [&](const QSqlRecord& r) {
            if (!duplicate && !r.value(m_config.name().column).isNull() &&
                r.value(m_config.name().column).toString() == name)
                duplicate = true;
        });
        if (duplicate) {
            m_ctx.msg.show(m_config.duplicateTitle, m_config.duplicateText, hv::Buttons::Ok, hv::Icon::Critical);
            focusField(0);
            return;
        }
        QStringList columns, marks;
        QVariantList values;
        for (int i = 0; i < m_fields.size(); ++i) {
            columns << m_config.fields[i].column;
            marks << QStringLiteral("?");
            values << fieldText(i);
        }
        m_conn->execute(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(m_config.table, columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                        values);
    } catch (const hv::Failure& f) {
        dropConnection();
        // The typed values stay and the window stays in add mode, so the user can try again.
        reportFailure(QStringLiteral("Update Failed"), QStringLiteral("The new record has not been added."), f);
        focusField(0);
        return;
    }
    setBrowseCaption();
    enableBrowsing();
    const QString kept = name;
    reloadrecords();
    m_ctx.msg.show(QStringLiteral("Saved"),
                   m_config.addedStart + kept + QStringLiteral(") has been added to the database."), hv::Buttons::Ok,
                   hv::Icon::None);
    focusHolder();
}

void CatalogueEditor::saveRow() {
    enableBrowsing();
    if (bof() || eof()) {
        m_ctx.msg.show(QStringLiteral("No Record To Update"),
                       QStringLiteral("There is no record to update. Click Add New to create a new record."),
                       hv::Buttons::Ok, hv::Icon::Information);
        focusHolder();
        return;
    }
    const QVariantList& stored = m_rows[m_pos];
    QStringList sets;
    QVariantList values;
    for (int i = 0; i < m_fields.size(); ++i) {
        sets << QStringLiteral("%1 = ?").arg(m_config.fields[i].column);
        const QString text = fieldText(i);
        values << (text == m_filled[i] ? stored[i] : QVariant(text));
    }
    for (const QVariant& v : stored)
        values << (v.isNull() ? nullText() : v);
    qint64 matched = 0;
    try {
        if (!m_conn) openConnection();
        matched = m_conn->execute(QStringLiteral("UPDATE %1 SET %2 WHERE %3 LIMIT 1")
                                      .arg(m_config.table, sets.join(QStringLiteral(", ")), lockCondition()),
                                  values);
    } catch (const hv::Failure& f) {
        dropConnection();
        reportFailure(QStringLiteral("Update Failed"), QStringLiteral("Your changes have not been saved."), f);
        return;
    }
    if (matched == 0) {
        reportChangedElsewhere(QStringLiteral("Your changes have not been saved."));
        reloadrecords();
        focusHolder();
        return;
    }
    reloadrecords();
    m_ctx.msg.show(QStringLiteral("Updates"), QStringLiteral("Your changes have been saved."), hv::Buttons::Ok,
                   hv::Icon::Information);
    focusHolder();
}

// ---- Delete ---------------------------------------------------------------------------------

void CatalogueEditor::onDelete() {
    BusyPointer busy(this);
    if (fieldText(0).isEmpty()) {
        busy.off();
        m_ctx.msg.show(QStringLiteral("No Record To Delete"), QStringLiteral("No Record to Delete."), hv::Buttons::Ok,
                       hv::Icon::None);
        return;
    }
    busy.off();
    if (m_ctx.msg.show(QStringLiteral("Delete?"), QStringLiteral("Are you sure you want to delete this Record?"),
                       hv::Buttons::YesNo, hv::Icon::Question) != hv::Answer::Yes) {
        focusField(0);
        return;
    }
    busy.on();
    if (bof() || eof()) {
        // The name was typed on an empty list: there is no row behind it to delete.
        busy.off();
        m_ctx.msg.show(QStringLiteral("No Record To Delete"), QStringLiteral("No Record to Delete."), hv::Buttons::Ok,
                       hv::Icon::None);
        focusHolder();
        return;
    }
    QVariantList values;
    for (const QVariant& v : m_rows[m_pos])
        values << (v.isNull() ? nullText() : v);
    qint64 matched = 0;
    try {
        if (!m_conn) openConnection();
        matched = m_conn->execute(
            QStringLiteral("DELETE FROM %1 WHERE %2 LIMIT 1").arg(m_config.table, lockCondition()), values);
    } catch (const hv::Failure& f) {
        dropConnection();
        busy.off();
        reportFailure(QStringLiteral("Delete Failed"), QStringLiteral("The record has not been deleted."), f);
        focusHolder();
        return;
    }
    if (matched == 0) {
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
        m_ctx.msg.show(QStringLiteral("Deleted"), m_config.deletedText, hv::Buttons::Ok, hv::Icon::Information);
}

// ---- keys and showing -----------------------------------------------------------------------

bool CatalogueEditor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && m_fields.size() > 1 && watched == m_fields[1]) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            onToggleMode();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CatalogueEditor::keyPressEvent(QKeyEvent* event) {
    // Like every window of the console, Escape does not close it; only the close box does.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CatalogueEditor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    admin::centreOnScreen(this);
}
