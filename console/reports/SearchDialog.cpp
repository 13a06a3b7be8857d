#include "reports/SearchDialog.h"

#include "Ports.h"
#include "Twips.h"
#include "widgets/WindowParts.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace hv {

namespace {

QLabel* boldLabel(const QString& name, const QString& text, const QRect& where, QWidget* parent) {
    QLabel* label = WindowParts::label(name, text, parent);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(9.75);
    font.setBold(true);
    label->setFont(font);
    label->setGeometry(where);
    return label;
}

QDateEdit* datePicker(const QString& name, const QDate& today, const QRect& where, QWidget* parent) {
    auto* picker = new QDateEdit(today, parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setGeometry(where);
    return picker;
}

} // namespace

SearchDialog::SearchDialog(const Clock& clock, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Select Report Date Range & Search String"));
    setFixedSize(twipsToPixels(4350), twipsToPixels(2265));
    setModal(true);

    const QDate today = clock.now().date();
    // The labels reach up to their inputs: the desktop's bold substitute is wider than the original font.
    boldLabel(QStringLiteral("Label1"), QStringLiteral("Start Date:"), twipsRect(788, 165, 1180, 240), this);
    m_start = datePicker(QStringLiteral("DTPicker1"), today, twipsRect(1988, 165, 1335, 255), this);
    boldLabel(QStringLiteral("Label2"), QStringLiteral("End Date:"), twipsRect(788, 615, 1180, 240), this);
    m_end = datePicker(QStringLiteral("DTPicker2"), today, twipsRect(1988, 622, 1335, 255), this);
    boldLabel(QStringLiteral("Label3"), QStringLiteral("Search:"), twipsRect(795, 1080, 1180, 240), this);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("Text1"));
    m_search->setGeometry(twipsRect(1988, 1080, 1935, 285));
    m_search->clear();

    // Enter does not stand for "OK" here; only a click (or Space on the button) takes the values.
    QPushButton* ok = WindowParts::button(QStringLiteral("Command1"), QStringLiteral("OK"), QString(), this);
    QFont bold = ok->font();
    bold.setPointSizeF(8.25);
    bold.setBold(true);
    ok->setFont(bold);
    ok->setGeometry(twipsRect(1568, 1680, 1215, 375));
    connect(ok, &QPushButton::clicked, this, [this] { Command1_Click(); });

    setTabOrder(m_start, m_end);
    setTabOrder(m_end, m_search);
    setTabOrder(m_search, ok);

    WindowParts::centreOnScreen(this);
    m_start->setFocus();
}

void SearchDialog::Command1_Click() {
    // Dates are not compared: a start after the end is taken as it is and simply finds nothing.
    if (!m_start->date().isValid() || !m_end->date().isValid() || m_search->text().isEmpty()) return;
    m_parameters.dtStartDate = m_start->date();
    m_parameters.dtEndDate = m_end->date();
    m_parameters.strSearch = m_search->text();
    accept();
}

} // namespace hv
