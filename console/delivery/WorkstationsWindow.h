#pragma once

#include "DeliveryStore.h"
#include "Failure.h"

#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QTimer;
class QTreeView;

namespace hv {

struct ConsoleContext;
class WorkstationsModel;

// frmWorkstations, "Workstations": every workstation that has checked in, when it last did, the
// state of its audio and its last poll failure; those silent for more than two poll intervals past
// a check-in they owed are marked. Reads again by itself every few seconds, off the window thread.
class WorkstationsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 3000;

    explicit WorkstationsWindow(ConsoleContext& ctx);

    static WorkstationsWindow* open(ConsoleContext& ctx);
    static WorkstationsWindow* current();

    void refresh();
    void cmdReport_Click();
    WorkstationsModel* model() const { return m_model; }

private:
    void onRead(const QList<DeliveryStore::Workstation>& rows, const QDateTime& serverNow,
                const std::optional<Failure>& failure);

    ConsoleContext& m_ctx;
    WorkstationsModel* m_model;
    QTreeView* m_list;
    QLabel* m_counts;
    QPushButton* m_report;
    QPushButton* m_close;
    QLabel* m_status;
    QTimer* m_timer;
    bool m_reading = false;
    bool m_read = false;
};

} // namespace hv
