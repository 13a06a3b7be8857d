#include "ConsoleKit.h"
#include "Failure.h"
#include "PdfText.h"
#include "reports/PrinterPort.h"
#include "reports/ReportPrinter.h"
#include "reports/ReportViewer.h"

#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

using hv::PrinterPort;
using hv::ReportPrinter;
using hv::ReportViewer;

namespace {

const QString kRule(79, u'_');
const QString kFindTip =
    QStringLiteral("Enter Search Text In Text Box And Click Find. Click again to Find the Next match.");
const QString kNextTip = QStringLiteral("Click Again to find the next match");

const QStringList kReport{" ",
                          "Complete List of All Users",
                          " ",
                          "Print Date: 4/2/12",
                          " ",
                          kRule,
                          "User Name: admin",
                          kRule,
                          "User Name: carol",
                          kRule,
                          " ",
                          " ",
                          "Total Number Of Records: (2)"};

} // namespace

class TestReportViewer : public QObject {
    Q_OBJECT

    QTemporaryDir m_temp;
    ScriptedMessagePort m_msg;
    PrinterPort m_pdf = PrinterPort::none();
    QPointer<ReportViewer> m_viewer;

    QString pdfPath() const { return m_temp.path() + "/printed.pdf"; }

    void writeReport(const QStringList& lines) {
        QFile f(m_temp.path() + "/report.txt");
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QString& l : lines)
            f.write(l.toUtf8() + "\r\n");
    }

    // A viewer as a report leaves it: loaded, in Courier New, shown and active.
    ReportViewer* open(const QStringList& lines, const PrinterPort& printer) {
        writeReport(lines);
        auto* v = new ReportViewer(m_msg, printer);
        v->load(m_temp.path() + "/report.txt");
        QFont font = v->textArea()->font();
        font.setFamily("Courier New");
        v->textArea()->setFont(font);
        v->setWindowTitle("Complete List of All Users (2)");
        v->show();
        v->activateWindow();
        if (!QTest::qWaitForWindowActive(v)) qWarning("viewer did not become active");
        m_viewer = v;
        return v;
    }

    QLineEdit* box() const { return m_viewer->findChild<QLineEdit*>("txtSearch"); }
    QPushButton* findButton() const { return m_viewer->findChild<QPushButton*>("cmdFindText"); }
    QPlainTextEdit* area() const { return m_viewer->textArea(); }
    void clickFind() { QTest::mouseClick(findButton(), Qt::LeftButton); }
    QString selected() const { return area()->textCursor().selectedText(); }
    int selectionStart() const { return area()->textCursor().selectionStart(); }

    PdfText printed(const QStringList& lines) {
        QFile::remove(pdfPath());
        open(lines, m_pdf);
        QTest::mouseClick(m_viewer->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        return PdfText::read(pdfPath());
    }

private slots:
    void initTestCase() {
        QVERIFY(m_temp.isValid());
        m_pdf = PrinterPort::pdfFile(pdfPath(), "Office Laser");
    }

    void init() { m_msg.boxes.clear(); }

    void cleanup() { ReportViewer::closeCurrent(); }

    void layoutAndStartingState() {
        open(kReport, m_pdf);
        QCOMPARE(m_viewer->objectName(), QStringLiteral("frmScreenForm"));
        QCOMPARE(m_viewer->size(), QSize(698, 546));
        auto* print = m_viewer->findChild<QPushButton*>("Command1");
        auto* close = m_viewer->findChild<QPushButton*>("cmdCloseScreenPrint");
        QCOMPARE(print->text(), QStringLiteral("Print"));
        QCOMPARE(print->toolTip(), QStringLiteral("Click to Print Report to Printer (Office Laser)"));
        QCOMPARE(close->text(), QStringLiteral("Close"));
        QCOMPARE(close->toolTip(), QStringLiteral("Close This Report Window"));
        QCOMPARE(findButton()->text(), QStringLiteral("Find"));
        QCOMPARE(findButton()->toolTip(), kFindTip);
        QCOMPARE(box()->toolTip(), QStringLiteral("Enter Search Text In Text Box And Click Find"));
        QCOMPARE(area()->toPlainText(), kReport.join('\n') + '\n');
        QVERIFY(area()->isReadOnly());
        // The search box holds the focus; Tab goes Print, Close, Find, the text area.
        QCOMPARE(QApplication::focusWidget(), box());
        for (QWidget* next : QList<QWidget*>{print, close, findButton(), area(), box()}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        // Close unloads the viewer.
        QTest::mouseClick(close, Qt::LeftButton);
        QTRY_VERIFY(!m_viewer);
        QVERIFY(!ReportViewer::current());
    }

    void fourUnderscoresStepAlongTheRuleLine() {
        open(kReport, m_pdf);
        const QString text = area()->toPlainText();
        const int first = int(text.indexOf(kRule));
        const int second = int(text.indexOf(kRule, first + 79));
        QTest::keyClicks(box(), "____");
        clickFind();
        QCOMPARE(m_viewer->lngFoundPos(), first);
        QCOMPARE(selectionStart(), first);
        QCOMPARE(selected(), QStringLiteral("____"));
        QCOMPARE(QApplication::focusWidget(), area());
        QCOMPARE(findButton()->text(), QStringLiteral("&Next"));
        QCOMPARE(findButton()->toolTip(), kNextTip);
        // Enter in the text area steps on, one character at a time, and never edits the text.
        for (int step = 1; step <= 75; ++step) {
            QTest::keyClick(area(), Qt::Key_Return);
            QCOMPARE(selectionStart(), first + step);
        }
        QTest::keyClick(area(), Qt::Key_Enter);
        QCOMPARE(selectionStart(), second);
        QCOMPARE(area()->toPlainText(), text);
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void changedTextRestartsAndNotFound() {
        open(kReport, m_pdf);
        const QString text = area()->toPlainText();
        QTest::keyClicks(box(), "____");
        clickFind();
        clickFind();
        box()->clear();
        // Typed letters become capitals; the search ignores letter case.
        QTest::keyClicks(box(), "user");
        QCOMPARE(box()->text(), QStringLiteral("USER"));
        clickFind();
        QCOMPARE(m_viewer->lngFoundPos(), int(text.indexOf("Users")));
        QCOMPARE(findButton()->text(), QStringLiteral("&Next"));
        QCOMPARE(m_viewer->strLastSearch(), QStringLiteral("USER"));
        clickFind();
        QCOMPARE(selectionStart(), int(text.indexOf("User Name: admin")));
        clickFind();
        QCOMPARE(selectionStart(), int(text.indexOf("User Name: carol")));
        QCOMPARE(m_msg.boxes.size(), 0);

        clickFind();
        QCOMPARE(m_msg.boxes.size(), 1);
        QCOMPARE(m_msg.boxes[0].title, QStringLiteral("Not Found"));
        QCOMPARE(m_msg.boxes[0].text, QStringLiteral("Text Not Found."));
        QCOMPARE(m_msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(m_msg.boxes[0].icon, hv::Icon::Information);
        QCOMPARE(QApplication::focusWidget(), box());
        QCOMPARE(findButton()->text(), QStringLiteral("&Find"));
        QCOMPARE(findButton()->toolTip(), kFindTip);
        QCOMPARE(m_viewer->lngFoundPos(), -1);
        QVERIFY(!m_viewer->blnFindStarted());

        // "&Find": Enter in the text area does nothing; the next click starts at the top again.
        area()->setFocus();
        const QTextCursor before = area()->textCursor();
        QTest::keyClick(area(), Qt::Key_Return);
        QCOMPARE(area()->textCursor(), before);
        QCOMPARE(area()->toPlainText(), text);
        QCOMPARE(m_msg.boxes.size(), 1);
        QTest::keyClick(box(), Qt::Key_Return);
        QCOMPARE(selectionStart(), int(text.indexOf("Users")));
    }

    void emptySearchBox() {
        open(kReport, m_pdf);
        QTest::keyClicks(box(), "zz");
        clickFind();
        QCOMPARE(m_msg.boxes.size(), 1);
        box()->clear();
        QTest::keyClicks(box(), "ad");
        clickFind();
        QCOMPARE(findButton()->text(), QStringLiteral("&Next"));
        QCOMPARE(findButton()->toolTip(), kNextTip);
        m_msg.boxes.clear();
        // Emptying the box changes the caption only.
        box()->selectAll();
        QTest::keyClick(box(), Qt::Key_Backspace);
        QCOMPARE(findButton()->text(), QStringLiteral("&Find"));
        QCOMPARE(findButton()->toolTip(), kNextTip);
        // Enter in the empty box does nothing at all.
        QTest::keyClick(box(), Qt::Key_Return);
        QCOMPARE(m_msg.boxes.size(), 0);
        area()->setFocus();
        clickFind();
        QCOMPARE(m_msg.boxes.size(), 1);
        QCOMPARE(m_msg.boxes[0].title, QStringLiteral("Error - Empty Field"));
        QCOMPARE(m_msg.boxes[0].text, QStringLiteral("The Search Text Box is Empty."));
        QCOMPARE(m_msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(m_msg.boxes[0].icon, hv::Icon::Information);
        QCOMPARE(QApplication::focusWidget(), box());
        QCOMPARE(findButton()->text(), QStringLiteral("&Find"));
        QCOMPARE(findButton()->toolTip(), kFindTip);
        // The find state is left as it was.
        QCOMPARE(m_viewer->strLastSearch(), QStringLiteral("AD"));
        QCOMPARE(selected(), QStringLiteral("ad"));
    }

    void pastedTextKeepsItsCase() {
        open(kReport, m_pdf);
        QTest::keyClicks(box(), "ad");
        QGuiApplication::clipboard()->setText("min");
        QTest::keyClick(box(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(box()->text(), QStringLiteral("ADmin"));
        QTest::keyClick(box(), Qt::Key_Return);
        QCOMPARE(selected(), QStringLiteral("admin"));
    }

    void printsOneInchInsideThePaper() {
        QStringList lines = kReport;
        const QString longMessage = QString("Evacuate now ").repeated(46).left(600);
        lines.insert(8, "Code Message:  " + longMessage);
        // A first line with ink, so that its box shows where the text begins.
        lines[0] = "Halvane";
        const PdfText pdf = printed(lines);
        QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
        QCOMPARE(m_msg.boxes.size(), 0);
        QCOMPARE(pdf.pages.size(), 1);
        const QSizeF paper = pdf.pages[0];
        QCOMPARE(paper, QSizeF(612, 792)); // Letter
        qreal left = 1e9, top = 1e9, right = 0, bottom = 0;
        QString all;
        for (const PdfWord& w : pdf.words) {
            left = qMin(left, w.box.left());
            top = qMin(top, w.box.top());
            right = qMax(right, w.box.right());
            bottom = qMax(bottom, w.box.bottom());
            all += w.text;
        }
        QVERIFY2(qAbs(left - 72) <= 1, qPrintable(QString::number(left)));
        QVERIFY2(qAbs(top - 72) <= 1, qPrintable(QString::number(top)));
        QVERIFY2(right <= paper.width() - 72 + 0.5, qPrintable(QString::number(right)));
        QVERIFY2(bottom <= paper.height() - 72, qPrintable(QString::number(bottom)));
        // The 600-character message wraps inside the margin and loses nothing; no page number.
        QString expected = lines.join(QString());
        expected.remove(' ');
        QCOMPARE(all, expected);
        // Printing leaves the text and the find state alone; the focus goes to the search box.
        QCOMPARE(area()->toPlainText(), lines.join('\n') + '\n');
        QCOMPARE(QApplication::focusWidget(), box());
        QCOMPARE(m_viewer->lngFoundPos(), 0);
    }

    void wholeLinesPerPageAndNoExtraPage() {
        QStringList numbered;
        for (int i = 1; i <= 200; ++i)
            numbered << QStringLiteral("Line %1").arg(i, 4, 10, QChar('0'));
        PdfText pdf = printed(numbered);
        QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
        QVERIFY(pdf.pages.size() >= 2);
        const int perPage = int(pdf.onPage(0).size()) / 2;
        QVERIFY(perPage > 20);
        // Page two goes on with the next line, at the top margin again.
        QCOMPARE(pdf.onPage(1).value(1).text, QStringLiteral("%1").arg(perPage + 1, 4, 10, QChar('0')));
        QVERIFY(qAbs(pdf.onPage(1).value(0).box.top() - 72) <= 1);
        QVERIFY(pdf.onPage(0).last().box.bottom() <= 792 - 72);

        // Exactly one page full, with the file's final line break: one page, no empty one after it.
        pdf = printed(numbered.mid(0, perPage));
        QCOMPARE(pdf.pages.size(), 1);
        pdf = printed(numbered.mid(0, 2 * perPage));
        QCOMPARE(pdf.pages.size(), 2);
        pdf = printed(numbered.mid(0, 2 * perPage + 1));
        QCOMPARE(pdf.pages.size(), 3);
        QCOMPARE(m_msg.boxes.size(), 0);
    }

    void printerErrorsLeaveTheViewerUsable() {
        // The job refused: a file that cannot be written.
        PrinterPort refusing = PrinterPort::pdfFile(m_temp.path() + "/no/such/folder/x.pdf", "Gone");
        open(kReport, refusing);
        QTest::mouseClick(m_viewer->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(m_msg.boxes.size(), 1);
        QCOMPARE(m_msg.boxes[0].title, QStringLiteral("Printer Error"));
        QCOMPARE(m_msg.boxes[0].text, QStringLiteral("This computer either doesn't have a default printer setup, or "
                                                     "there was an error with the printer."));
        QCOMPARE(m_msg.boxes[0].buttons, hv::Buttons::Ok);
        QCOMPARE(m_msg.boxes[0].icon, hv::Icon::Critical);
        QVERIFY(m_viewer && m_viewer->isVisible());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QTest::keyClicks(box(), "carol");
        QTest::keyClick(box(), Qt::Key_Return);
        QCOMPARE(selected(), QStringLiteral("carol"));

        // The printer gone since the report was written.
        const PrinterPort none = PrinterPort::none();
        open(kReport, none);
        QCOMPARE(m_viewer->findChild<QPushButton*>("Command1")->toolTip(),
                 QStringLiteral("Click to Print Report to Printer ()"));
        QTest::mouseClick(m_viewer->findChild<QPushButton*>("Command1"), Qt::LeftButton);
        QCOMPARE(m_msg.boxes.size(), 2);
        QCOMPARE(m_msg.boxes[1].title, QStringLiteral("Printer Error"));
        QVERIFY(m_viewer->isVisible());
    }

    void noRoomForALineEndsTheJob() {
        QTextDocument doc("one line\ntwo lines\n");
        QFont font("Courier New");
        font.setPointSizeF(9);
        QFile::remove(pdfPath());
        // Margins that leave less than one line's height between them.
        try {
            ReportPrinter(m_pdf).fncPrintRichText(doc, font, 1440, 7900, 1440, 7900, "tight");
            QFAIL("printing with no room for a line should have failed");
        } catch (const hv::Failure& f) {
            QCOMPARE(f.number(), hv::code::PrinterError);
        }
    }
};

QTEST_MAIN(TestReportViewer)
#include "tst_report_viewer.moc"
