#include "reports/ReportViewer.h"

#include "Failure.h"
#include "Ports.h"
#include "Twips.h"
#include "reports/PrinterPort.h"
#include "reports/ReportPrinter.h"
#include "shared/FailureTable.h"
#include "widgets/SingleWindow.h"
#include "widgets/WindowParts.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace hv {

const QString ReportViewer::kFindCaption = QStringLiteral("&Find");
const QString ReportViewer::kNextCaption = QStringLiteral("&Next");
const QString ReportViewer::kFindTip =
    QStringLiteral("Enter Search Text In Text Box And Click Find. Click again to Find the Next match.");
const QString ReportViewer::kNextTip = QStringLiteral("Click Again to find the next match");

namespace {

SingleWindow<ReportViewer> g_viewer;

bool isEnter(const QKeyEvent* e) {
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

} // namespace

ReportViewer::ReportViewer(MessagePort& msg, const PrinterPort& printer)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_msg(msg), m_printer(printer) {
    setObjectName(QStringLiteral("frmScreenForm"));
    setFixedSize(twipsToPixels(10470), twipsToPixels(8190));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("txtSearch"));
    m_search->setToolTip(QStringLiteral("Enter Search Text In Text Box And Click Find"));
    m_search->setGeometry(twipsRect(9000, 95, 1335, 285));

    m_print = WindowParts::button(QStringLiteral("Command1"), QStringLiteral("Print"),
                                  QStringLiteral("Print This Report"), this);
    m_print->setGeometry(twipsRect(120, 100, 735, 255));

    m_close = WindowParts::button(QStringLiteral("cmdCloseScreenPrint"), QStringLiteral("Close"),
                                  QStringLiteral("Close This Report Window"), this);
    m_close->setGeometry(twipsRect(855, 100, 735, 255));

    m_find = WindowParts::button(QStringLiteral("cmdFindText"), QStringLiteral("Find"), kFindTip, this);
    m_find->setGeometry(twipsRect(8160, 100, 735, 255));

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("rcPrintToScreen"));
    m_text->setGeometry(twipsRect(120, 480, 10215, 7575));
    // Read-only, yet it takes the focus and shows the selected match; Enter after a match must
    // never replace the selection.
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setFocusPolicy(Qt::StrongFocus);
    m_text->setUndoRedoEnabled(false);
    // A size at which the 79-character rule line fits the area's width in a fixed-pitch font,
    // and on paper between one-inch margins.
    QFont font = m_text->font();
    font.setPointSizeF(9);
    m_text->setFont(font);

    for (QPushButton* b : {m_print, m_close, m_find})
        b->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(m_search, m_print);
    setTabOrder(m_print, m_close);
    setTabOrder(m_close, m_find);
    setTabOrder(m_find, m_text);

    m_search->installEventFilter(this);
    m_text->installEventFilter(this);

    connect(m_print, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(m_close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_find, &QPushButton::clicked, this, [this] { cmdFindText_Click(); });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.isEmpty()) m_find->setText(kFindCaption);
    });

    WindowParts::centreOnScreen(this);
    m_search->setFocus();

    g_viewer.replaceWith(this);
}

ReportViewer::~ReportViewer() = default;

ReportViewer* ReportViewer::current() {
    return g_viewer.current();
}

void ReportViewer::closeCurrent() {
    g_viewer.close();
}

void ReportViewer::load(const QString& reportPath) {
    QFile file(reportPath);
    if (!file.open(QIODevice::ReadOnly)) throw Failure(code::FileNotFound, file.errorString());
    QString text = QString::fromUtf8(file.readAll());
    file.close();

    // One paragraph per line would make a long report slow and heavy (Qt keeps a block per
    // paragraph), so lines are grouped into paragraphs of kLinesPerBlock joined by line separators.
    // Both count as one character, so positions, finding and printing are the same as for plain lines.
    constexpr int kLinesPerBlock = 64;
    QChar* out = text.data();
    const QChar* in = text.constData();
    const qsizetype size = text.size();
    qsizetype written = 0;
    int lineInBlock = 0;
    for (qsizetype i = 0; i < size; ++i) {
        QChar c = in[i];
        if (c == u'\r' && i + 1 < size && in[i + 1] == u'\n') continue;
        if (c == u'\n') {
            const bool last = i + 1 == size;
            if (!last && ++lineInBlock < kLinesPerBlock) {
                c = QChar::LineSeparator;
            } else {
                lineInBlock = 0;
            }
        }
        out[written++] = c;
    }
    text.truncate(written);
    m_text->setPlainText(text);
    m_print->setToolTip(QStringLiteral("Click to Print Report to Printer (") + m_printer.deviceName() + u')');
}

bool ReportViewer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_search) {
        if (isEnter(key)) {
            if (!m_search->text().isEmpty()) cmdFindText_Click();
            return true;
        }
        const QString typed = key->text();
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && typed.size() == 1 && typed[0] >= u'a' && typed[0] <= u'z') {
            m_search->insert(typed.toUpper());
            return true;
        }
    } else if (watched == m_text && isEnter(key)) {
        if (!m_search->text().isEmpty() && m_find->text() == kNextCaption) cmdFindText_Click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ReportViewer::cmdFindText_Click() {
    m_find->setToolTip(kNextTip);
    m_find->setText(kNextCaption);
    fncFindText(m_search->text());
}

void ReportViewer::fncFindText(const QString& search) {
    if (search.isEmpty()) {
        m_find->setToolTip(kFindTip);
        m_find->setText(kFindCaption);
        m_msg.show(QStringLiteral("Error - Empty Field"), QStringLiteral("The Search Text Box is Empty."), Buttons::Ok,
                   Icon::Information);
        m_search->setFocus();
        return;
    }
    if (search != m_strLastSearch) {
        m_blnFindStarted = false;
        m_find->setText(kNextCaption);
    }
    m_strLastSearch = search;

    int from = 0;
    if (m_blnFindStarted) {
        from = m_lngFoundPos + 1;
    } else {
        m_blnFindStarted = true;
    }
    // Forward only, any letter case, parts of words; continuing one character after the last
    // match's start visits overlapping matches too.
    const QTextCursor found = m_text->document()->find(search, from);
    m_lngFoundPos = found.isNull() ? -1 : found.selectionStart();

    if (m_lngFoundPos >= 0) {
        m_text->setFocus();
        QTextCursor select(m_text->document());
        select.setPosition(m_lngFoundPos);
        select.setPosition(m_lngFoundPos + int(search.size()), QTextCursor::KeepAnchor);
        m_text->setTextCursor(select);
        return;
    }
    m_blnFindStarted = false;
    m_find->setToolTip(kFindTip);
    m_find->setText(kFindCaption);
    m_msg.show(QStringLiteral("Not Found"), QStringLiteral("Text Not Found."), Buttons::Ok, Icon::Information);
    m_search->setFocus();
}

void ReportViewer::Command1_Click() {
    m_search->setFocus();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        ReportPrinter(m_printer).fncPrintRichText(*m_text->document(), m_text->font(), 1440, 1440, 1440, 1440,
                                                  windowTitle());
        QApplication::restoreOverrideCursor();
    } catch (const Failure& f) {
        QApplication::restoreOverrideCursor();
        FailureTable::showBoxes(FailureTable::responseTo(FailureTable::Operation::Print, f), m_msg);
    }
}

} // namespace hv
