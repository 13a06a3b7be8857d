#pragma once

#include "CancelStore.h"
#include "widgets/FixedDialog.h"

#include <QList>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace hv {

struct ConsoleContext;

// The cancel window frmCancel ("Cancel An Alert"): the alerts still shown on the workstations;
// the one chosen is cancelled once the operator confirms, and every workstation closes its popup
// at its next poll. Opened by a login; it records that login's user name as the one who cancelled.
class CancelWindow : public FixedDialog {
    Q_OBJECT
public:
    CancelWindow(ConsoleContext& ctx, QString user);

    // Shows the one cancel window, read afresh, or brings the open one forward; the latest
    // login's user is the one recorded.
    static CancelWindow* open(ConsoleContext& ctx, const QString& user);
    static CancelWindow* current();

    // Reads the list again from the database.
    void refresh();
    // Asks about the chosen alert and cancels it on Yes.
    void cancelChosen();

private:
    // The alert as the confirmation describes it.
    static QString describe(const CancelStore::LiveAlert& alert);
    void showList();

    ConsoleContext& m_ctx;
    QString m_user;
    QList<CancelStore::LiveAlert> m_alerts;
    QTreeWidget* m_list = nullptr;
    QLabel* m_none = nullptr;
    QLabel* m_blind = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace hv
