#pragma once

#include <QDate>

#include "CallGenerator.h"
#include "core/files/CallRecords.h"
#include "core/base/Clock.h"

// The call record that a correct reception makes of a generated call, received on `today`.
inline CallRecord ToCallRecord(const station::GeneratedCall& call, QDate today) {
  CallRecord r;
  r.StartTime = MakeDateTime(today.addDays(-call.daysAgo), QTime(call.startHour, call.startMinute));
  r.Subscriber = static_cast<quint8>(call.subscriber);
  r.Duration = call.duration;
  r.CityLine = static_cast<quint8>(call.cityLine);
  r.CallType = static_cast<quint8>(call.callType);
  r.DialledNumber = QString::fromStdString(call.number);
  return r;
}
