#include "delivery/WorkstationsModel.h"

#include "delivery/DeliveryReports.h"

#include <QBrush>
#include <QFont>

namespace hv {

void WorkstationsModel::setRows(QList<DeliveryStore::Workstation> rows, const QDateTime& serverNow) {
    // The same workstations in the same order change in place, so that the operator's place in the
    // list and the selection survive a refresh.
    bool same = rows.size() == m_rows.size();
    for (qsizetype i = 0; same && i < rows.size(); ++i)
        same = rows[i].hostName == m_rows[i].hostName && rows[i].desktopUser == m_rows[i].desktopUser;
    m_serverNow = serverNow;
    if (same) {
        m_rows = std::move(rows);
        if (!m_rows.isEmpty()) emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
        return;
    }
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

bool WorkstationsModel::anyWakeUp() const {
    for (const DeliveryStore::Workstation& w : m_rows)
        if (w.wake) return true;
    return false;
}

bool WorkstationsModel::anyAddress() const {
    for (const DeliveryStore::Workstation& w : m_rows)
        if (!w.address.isEmpty()) return true;
    return false;
}

bool WorkstationsModel::anyCannotRead() const {
    for (const DeliveryStore::Workstation& w : m_rows)
        if (!w.unreadable.isEmpty()) return true;
    return false;
}

bool WorkstationsModel::anyAudience() const {
    for (const DeliveryStore::Workstation& w : m_rows)
        if (!w.audiences.isEmpty()) return true;
    return false;
}

int WorkstationsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int WorkstationsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant WorkstationsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    const DeliveryStore::Workstation& w = m_rows[index.row()];
    // Silent, or claimed by two computers, or blind to what it must see: the operator's business.
    if (role == Qt::ForegroundRole && (w.silent || !w.otherAddresses.isEmpty() || !w.unreadable.isEmpty()))
        return QBrush(Qt::darkRed);
    if (role == Qt::ToolTipRole &&
        (index.column() == LastFailure || index.column() == WakeUp || index.column() == Address ||
         index.column() == CannotRead || index.column() == Audiences))
        return data(index, Qt::DisplayRole);
    if (role == Qt::FontRole && w.silent && index.column() == State) {
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    if (role != Qt::DisplayRole) return {};
    const QDate today = m_serverNow.date();
    switch (index.column()) {
    case Host:
        return w.hostName;
    case User:
        return w.desktopUser;
    case Version:
        return w.programVersion;
    case LastCheckIn:
        return DeliveryReports::lastCheckInText(w, today);
    case State:
        return DeliveryReports::stateText(w);
    case Sound:
        return DeliveryReports::soundText(w);
    case Volume:
        return DeliveryReports::volumeText(w);
    case Mute:
        return DeliveryReports::muteText(w);
    case LastFailure:
        return DeliveryReports::lastFailureText(w, today);
    case WakeUp:
        return DeliveryReports::wakeUpText(w);
    case Address:
        return DeliveryReports::addressText(w);
    case CannotRead:
        return DeliveryReports::cannotReadText(w);
    case Audiences:
        return w.audiences.join(QStringLiteral(", "));
    default:
        return {};
    }
}

QVariant WorkstationsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kHeaders[ColumnCount] = {
        "Workstation",       "User",    "Version", "Last check-in", "State",    "Sound device", "Volume", "Mute",
        "Last poll failure", "Wake-up", "Address", "Cannot read",   "Audiences"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kHeaders[section]) : QVariant();
}

} // namespace hv
