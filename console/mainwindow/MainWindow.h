#pragma once

#include "AlertStore.h"

#include "IniFile.h"

#include <QMainWindow>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hv {

struct ConsoleContext;

// Form1, the console's main window: the code and location lists, "Submit", and the menus.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static const QString kWebAddress;

    explicit MainWindow(ConsoleContext& ctx, QString iniPath = iniFilePath(), QWidget* parent = nullptr);

    // Form_Load: reads halvane.ini and fills both lists. False when a failure ended the program.
    bool load();

public slots:
    // The submission.
    void Command1_Click();
    // The desktop session ends or the program is asked to stop: close as the user would.
    void endSession();
    void mnuAdminProperties_Click();
    // Edit > "Cancel An Alert": the same login as the administration window, then the list of
    // alerts that can still be taken back.
    void mnuCancelAlert_Click();
    void mnuOnTheWeb_Click();
    void mnuAlertDelivery_Click();
    void mnuWorkstations_Click();

signals:
    // The main window has closed, and with it every other console window.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QComboBox* makeList(const char* name, const QString& toolTip);
    bool refuseTyping(QKeyEvent* key);
    void clearLists();
    // A submission refused before anything happened, for a clock far off the server's.
    void refuseForClock(const AlertStore::ClockRefused& clocks);
    void warnIfClocksDiffer(const QDateTime& console, const QDateTime& server);
    // The line below the lists: whom the chosen code and location reach, read afresh at every choice.
    void showReach();
    // False when the alert would reach only an audience none of whose workstations checked in
    // recently and the operator chose not to send it.
    bool reachConfirmed(const QString& code, const QString& location);

    ConsoleContext& m_ctx;
    QString m_iniPath;
    bool m_submitting = false;

    QLabel* Label1;
    QLabel* Label2;
    QComboBox* Combo1;
    QComboBox* Combo2;
    QPushButton* Command1;
    QLineEdit* Text1;
    QLabel* m_reach = nullptr;
    int m_reachRead = 0; // the choice the newest read is for
};

} // namespace hv
