#pragma once

#include "reports/SearchParameters.h"

#include <QDialog>

class QDateEdit;
class QLineEdit;

namespace hv {

class Clock;

// Form8: asks for the date range and the search text of the search report.
class SearchDialog : public QDialog {
    Q_OBJECT

public:
    SearchDialog(const Clock& clock, QWidget* parent = nullptr);

    // The values taken on "OK"; meaningful only when the dialog was accepted.
    const SearchParameters& parameters() const { return m_parameters; }

private:
    void Command1_Click();

    QDateEdit* m_start;
    QDateEdit* m_end;
    QLineEdit* m_search;
    SearchParameters m_parameters;
};

} // namespace hv
