#include "admin/PresentationsWindow.h"

#include "Failure.h"
#include "shared/ConsoleContext.h"
#include "shared/ConsoleTexts.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace hv {

namespace {

SingleWindow<PresentationsWindow> g_window;

const QString kAcknowledge = QStringLiteral("Acknowledge");
enum AnswerMode { NoAnswers, AcknowledgeOnly, OwnAnswers };

QString described(const AlertPresentation& p) {
    QString text =
        p.fullScreen ? QStringLiteral("Shown over the whole screen") : QStringLiteral("Shown in the balloon");
    text += p.untilAnswered
                ? QStringLiteral(", rings every %1 seconds until answered").arg(AlertPresentation::kRingAgainSeconds)
                : QStringLiteral(", rings once");
    if (p.answers.isEmpty()) return text + QStringLiteral(", no answers.");
    text += QStringLiteral(", answers: ") + p.answers.join(QStringLiteral(", "));
    if (p.helpAnswer >= 0) text += QStringLiteral(" (\"%1\" calls for help)").arg(p.answers[p.helpAnswer]);
    return text + u'.';
}

} // namespace

PresentationsWindow::PresentationsWindow(ConsoleContext& ctx, QWidget* parent) : FixedDialog(parent), m_ctx(ctx) {
    setObjectName(QStringLiteral("frmPresentations"));
    setWindowTitle(QStringLiteral("Presentations"));

    m_codes = new QListWidget(this);
    m_codes->setObjectName(QStringLiteral("lstCodes"));

    auto* form = new QFormLayout;
    m_presentation = new QComboBox(this);
    m_presentation->setObjectName(QStringLiteral("cboPresentation"));
    m_presentation->addItems({QStringLiteral("Balloon"), QStringLiteral("Full screen")});
    form->addRow(QStringLiteral("Shown in:"), m_presentation);
    m_ring = new QComboBox(this);
    m_ring->setObjectName(QStringLiteral("cboRing"));
    m_ring->addItems({QStringLiteral("Once"), QStringLiteral("Until answered")});
    form->addRow(QStringLiteral("Rings:"), m_ring);
    m_answers = new QComboBox(this);
    m_answers->setObjectName(QStringLiteral("cboAnswers"));
    m_answers->addItems({QStringLiteral("None"), kAcknowledge, QStringLiteral("The site's own")});
    form->addRow(QStringLiteral("Answers:"), m_answers);
    for (int i = 1; i <= AlertPresentation::kMaxAnswers; ++i) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("txtAnswer%1").arg(i));
        edit->setMaxLength(AlertPresentation::kAnswerLength);
        form->addRow(QStringLiteral("Answer %1:").arg(i), edit);
        m_own << edit;
        connect(edit, &QLineEdit::textChanged, this, [this] {
            showHelpChoices();
            formChanged();
        });
    }
    m_help = new QComboBox(this);
    m_help->setObjectName(QStringLiteral("cboHelp"));
    form->addRow(QStringLiteral("Calls for help:"), m_help);
    m_status = WindowParts::label(QStringLiteral("lblPresentation"), {}, this);
    m_status->setWordWrap(true);

    m_save = WindowParts::button(QStringLiteral("cmdSave"), QStringLiteral("Save"),
                                 QStringLiteral("Click here to save the presentation of the code"), this);
    QPushButton* close = WindowParts::button(QStringLiteral("cmdClose"), QStringLiteral("Close"),
                                             QStringLiteral("Click here to close this window"), this);

    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(
        QStringLiteral("How the workstations show the alerts of the chosen code. Alerts already sent keep theirs."),
        this));
    right->addLayout(form);
    right->addWidget(m_status);
    right->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(close);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_codes, 1);
    layout->addLayout(right, 2);

    for (QComboBox* combo : {m_presentation, m_ring, m_answers, m_help})
        connect(combo, &QComboBox::currentIndexChanged, this, [this] {
            showHelpChoices();
            formChanged();
        });
    connect(m_save, &QPushButton::clicked, this, &PresentationsWindow::save);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_codes, &QListWidget::currentTextChanged, this, [this](const QString& code) {
        if (m_showing || code == m_code) return;
        if (changed()) {
            const Answer a =
                m_ctx.msg.show(QStringLiteral("Save Presentation"),
                               QStringLiteral("Save the changes to the presentation of \"%1\"?").arg(m_code),
                               Buttons::YesNo, Icon::Question);
            if (a == Answer::Yes && !save()) {
                // Not stored: the form stays on the code it belongs to.
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        m_showing = true;
                        const auto found = m_codes->findItems(m_code, Qt::MatchExactly);
                        if (!found.isEmpty()) m_codes->setCurrentItem(found.front());
                        m_showing = false;
                    },
                    Qt::QueuedConnection);
                return;
            }
        }
        m_code = code;
        showCode();
    });
    resize(680, 420);
    setFixedSize(size());
}

void PresentationsWindow::showModal(ConsoleContext& ctx, QWidget* parent) {
    if (PresentationsWindow* open = g_window.current()) {
        open->raise();
        open->activateWindow();
        return;
    }
    PresentationsWindow& window = g_window.instance([&] { return new PresentationsWindow(ctx, parent); });
    if (!window.load()) {
        delete &window;
        return;
    }
    window.exec();
}

bool PresentationsWindow::load() {
    try {
        m_ctx.database().run<PresentationStore>([&](PresentationStore& s) { m_picture = s.read(); });
    } catch (const Failure& f) {
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::PresentationsLoad, f), m_ctx.msg,
                            m_ctx.exit);
        return false;
    }
    m_showing = true;
    m_codes->clear();
    m_codes->addItems(m_picture.codes);
    if (!m_picture.codes.contains(m_code)) m_code = m_picture.codes.value(0);
    const auto found = m_codes->findItems(m_code, Qt::MatchExactly);
    if (!found.isEmpty()) m_codes->setCurrentItem(found.front());
    m_showing = false;
    showCode();
    return true;
}

void PresentationsWindow::showCode() {
    const AlertPresentation p = m_picture.byCode.value(m_code);
    m_showing = true;
    m_presentation->setCurrentIndex(p.fullScreen ? 1 : 0);
    m_ring->setCurrentIndex(p.untilAnswered ? 1 : 0);
    const bool acknowledge = p.answers == QStringList{kAcknowledge};
    m_answers->setCurrentIndex(p.answers.isEmpty() ? NoAnswers : acknowledge ? AcknowledgeOnly : OwnAnswers);
    for (int i = 0; i < m_own.size(); ++i)
        m_own[i]->setText(acknowledge ? QString() : p.answers.value(i));
    showHelpChoices();
    m_help->setCurrentIndex(p.helpAnswer + 1);
    m_showing = false;
    const bool any = !m_code.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{m_presentation, m_ring, m_answers, m_help})
        w->setEnabled(any);
    formChanged();
}

void PresentationsWindow::showHelpChoices() {
    const bool own = m_answers->currentIndex() == OwnAnswers;
    for (QLineEdit* edit : std::as_const(m_own))
        edit->setEnabled(own && !m_code.isEmpty());
    const int chosen = m_help->currentIndex();
    const QString chosenText = m_help->currentText();
    const QSignalBlocker quiet(m_help);
    m_help->clear();
    m_help->addItem(QStringLiteral("None"));
    if (own)
        for (QLineEdit* edit : std::as_const(m_own))
            if (!edit->text().trimmed().isEmpty()) m_help->addItem(edit->text());
    // The call for help follows its answer while the others are typed.
    const int again = m_help->findText(chosenText);
    m_help->setCurrentIndex(chosen > 0 && again > 0 ? again : 0);
    m_help->setEnabled(own && m_help->count() > 1);
}

AlertPresentation PresentationsWindow::edited() const {
    AlertPresentation p;
    p.fullScreen = m_presentation->currentIndex() == 1;
    p.untilAnswered = m_ring->currentIndex() == 1;
    if (m_answers->currentIndex() == AcknowledgeOnly) p.answers = QStringList{kAcknowledge};
    if (m_answers->currentIndex() == OwnAnswers) {
        // Places left empty close up; an answer of blanks only is a mistake the check names.
        for (QLineEdit* edit : m_own)
            if (!edit->text().isEmpty()) p.answers << edit->text();
        if (m_help->currentIndex() > 0) p.helpAnswer = int(p.answers.indexOf(m_help->currentText()));
    }
    return p;
}

bool PresentationsWindow::changed() const {
    return !m_code.isEmpty() && edited() != m_picture.byCode.value(m_code);
}

void PresentationsWindow::formChanged() {
    if (m_showing) return;
    m_save->setEnabled(changed());
    m_status->setText(m_code.isEmpty() ? QStringLiteral("There are no codes yet: add them with Add/Edit Codes.")
                      : changed()      ? QStringLiteral("Not saved yet.")
                                       : described(m_picture.byCode.value(m_code)));
}

bool PresentationsWindow::save() {
    if (m_code.isEmpty()) return false;
    const AlertPresentation p = edited();
    if (const QString problem = p.problem(); !problem.isEmpty()) {
        m_ctx.msg.show(text::kPresentationNotSavedTitle, problem, Buttons::Ok, Icon::Warning);
        return false;
    }
    if (m_answers->currentIndex() == OwnAnswers && p.answers.isEmpty()) {
        m_ctx.msg.show(text::kPresentationNotSavedTitle,
                       QStringLiteral("Type at least one answer, or choose None or Acknowledge."), Buttons::Ok,
                       Icon::Warning);
        return false;
    }
    const QString code = m_code;
    bool saved = true;
    try {
        m_ctx.database().run<PresentationStore>([&](PresentationStore& s) { s.save(code, p); });
    } catch (const Failure& f) {
        saved = false;
        FailureTable::apply(FailureTable::responseTo(FailureTable::Operation::PresentationsSave, f), m_ctx.msg,
                            m_ctx.exit);
    }
    // What was saved or not, another console may have changed meanwhile: show what the database holds.
    if (saved) load();
    return saved;
}

} // namespace hv
