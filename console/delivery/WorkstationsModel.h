#pragma once

#include "DeliveryStore.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QList>

namespace hv {

// The rows of the workstations window. A model rather than an item per cell, so that a facility of
// tens of thousands of workstations costs a refresh no more than the rows on screen.
class WorkstationsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        Host,
        User,
        Version,
        LastCheckIn,
        State,
        Sound,
        Volume,
        Mute,
        LastFailure,
        WakeUp,
        Address,
        CannotRead,
        Audiences,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<DeliveryStore::Workstation> rows, const QDateTime& serverNow);
    const QList<DeliveryStore::Workstation>& rows() const { return m_rows; }
    const QDateTime& serverNow() const { return m_serverNow; }
    // Whether a later column has anything to say for some workstation; otherwise it takes no place.
    bool anyWakeUp() const;
    bool anyAddress() const;
    bool anyCannotRead() const;
    bool anyAudience() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<DeliveryStore::Workstation> m_rows;
    QDateTime m_serverNow;
};

} // namespace hv
