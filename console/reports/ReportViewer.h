#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace hv {

class PrinterPort;
class MessagePort;

// frmScreenForm: the report viewer. Shows the report file, finds text in it step by step and
// prints it on the default printer. At most one exists; every report replaces it.
class ReportViewer : public QWidget {
    Q_OBJECT

public:
    static const QString kFindCaption;
    static const QString kNextCaption;
    static const QString kFindTip;
    static const QString kNextTip;

    ReportViewer(MessagePort& msg, const PrinterPort& printer);
    ~ReportViewer() override;

    // The viewer that is open now, if any.
    static ReportViewer* current();
    // Unloads the open viewer, so that the next report starts with a fresh one.
    static void closeCurrent();

    // Form_Load: reads the report file as plain text; raises failure 53 when it cannot be read.
    void load(const QString& reportPath);

    QPlainTextEdit* textArea() const { return m_text; }

    // The find state, for those who watch it.
    int lngFoundPos() const { return m_lngFoundPos; }
    bool blnFindStarted() const { return m_blnFindStarted; }
    const QString& strLastSearch() const { return m_strLastSearch; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void cmdFindText_Click();
    void fncFindText(const QString& search);
    void Command1_Click();

    MessagePort& m_msg;
    const PrinterPort& m_printer;
    QLineEdit* m_search;
    QPushButton* m_print;
    QPushButton* m_close;
    QPushButton* m_find;
    QPlainTextEdit* m_text;

    int m_lngFoundPos = 0;
    bool m_blnFindStarted = false;
    QString m_strLastSearch;
};

} // namespace hv
