#pragma once

#include "DeliveryStore.h"
#include "Failure.h"

#include <QDate>
#include <QWidget>
#include <optional>

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;

namespace hv {

struct ConsoleContext;

// frmDelivery, "Alert Delivery": who saw one alert, whose workstation rang, whose failed to ring
// and why, who closed the popup, and who is checking in without having seen it or is silent. It
// shows the most recent alert of the log and follows the next one, or any earlier alert chosen by
// day; it reads again by itself every few seconds, off the window thread.
class DeliveryWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 3000;
    static const QString kMostRecent;

    explicit DeliveryWindow(ConsoleContext& ctx);
    ~DeliveryWindow() override;

    // Shows the one delivery window, bringing an open one forward.
    static DeliveryWindow* open(ConsoleContext& ctx);
    static DeliveryWindow* current();

    // Reads again now; a read under way is followed by one more.
    void refresh();
    // Shows the alerts of that day in the list (the alert shown does not change).
    void showDay(const QDate& day);
    // The report of what the window shows.
    void cmdReport_Click();

private:
    struct Read;
    void startRead();
    void onRead(const Read& read, const std::optional<Failure>& failure);
    void fillAlertList(const QList<DeliveryStore::LoggedAlert>& alerts);
    void showDelivery(const DeliveryStore::Delivery& delivery);
    void alertChosen(int index);

    ConsoleContext& m_ctx;
    QComboBox* m_alerts;
    QDateEdit* m_day;
    QLabel* m_alert;
    QLabel* m_counts;
    QTreeWidget* m_list;
    QPushButton* m_report;
    QPushButton* m_close;
    QLabel* m_status;
    QTimer* m_timer;

    bool m_reading = false;
    bool m_again = false;
    bool m_dayChosen = false;
    // Empty while the window follows the most recent alert.
    std::optional<DeliveryStore::LoggedAlert> m_chosen;
    QList<DeliveryStore::LoggedAlert> m_dayAlerts;
    std::optional<DeliveryStore::Delivery> m_shown;
    QString m_shownSignature;
};

} // namespace hv
