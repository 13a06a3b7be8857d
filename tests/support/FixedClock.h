#pragma once

#include "Ports.h"

#include <QDateTime>
#include <QList>

// A clock that stands where the test puts it. Given several readings, it hands them out one per
// reading and then stays at the last.
class FixedClock : public hv::Clock {
public:
    explicit FixedClock(QDateTime at = QDateTime::currentDateTime()) : m_at{std::move(at)} {}
    QDateTime now() const override { return m_at.size() > 1 ? m_at.takeFirst() : m_at.front(); }
    void set(const QDateTime& at) { m_at = {at}; }
    void setReadings(const QList<QDateTime>& readings) { m_at = readings; }

private:
    mutable QList<QDateTime> m_at;
};
