#include "core/tables/SwitchTimes.h"

#include "core/image/ImageLayout.h"

namespace {
constexpr quint8 kTimeSet = 0x80;
}  // namespace

SwitchValues LoadSwitchValues(const ConfigImage& image) {
  SwitchValues values;
  for (int t = 0; t < 6; ++t) {
    const int offset = SwitchTimeOffset(t + 1);
    const quint8 hour = image[offset];
    const bool set = hour & kTimeSet;
    values.hours[t] = set ? hour & 0x7F : -1;
    values.minutes[t] = set ? image[offset + 1] : 0;
  }
  for (int k = 0; k < 2; ++k) {
    const int subscriber = SubscriberFromCode(image[AdminPhoneOffset(k + 1)]);
    values.adminPhones[k] = subscriber > 0 ? QString::number(subscriber) : QString();
  }
  return values;
}

bool StoreSwitchValues(const SwitchValues& values, ConfigImage& copy) {
  bool written = false;
  const auto write = [&](int offset, quint8 byte) {
    if (copy[offset] == byte) return;
    copy[offset] = byte;
    written = true;
  };
  for (int t = 0; t < 6; ++t) {
    const int offset = SwitchTimeOffset(t + 1);
    const int hour = values.hours[t];
    write(offset, hour < 0 ? 0 : static_cast<quint8>(kTimeSet + hour));
    write(offset + 1, static_cast<quint8>(values.minutes[t]));
  }
  for (int k = 0; k < 2; ++k) {
    bool number = false;
    const int subscriber = values.adminPhones[k].toInt(&number);
    if (number && subscriber >= kFirstSubscriber && subscriber <= kLastSubscriber) {
      write(AdminPhoneOffset(k + 1), SubscriberCode(subscriber));
    }
  }
  return written;
}

SwitchChanges ChangedSwitchValues(const SwitchValues& values, const ConfigImage& held,
                                  const ConfigImage& station) {
  ConfigImage stored = held;
  StoreSwitchValues(values, stored);
  SwitchChanges changes;
  for (int t = 0; t < 6; ++t) {
    const int offset = SwitchTimeOffset(t + 1);
    changes.hours[t] = stored[offset] != station[offset];
    changes.minutes[t] = stored[offset + 1] != station[offset + 1];
  }
  for (int k = 0; k < 2; ++k) {
    const int offset = AdminPhoneOffset(k + 1);
    changes.adminPhones[k] = stored[offset] != station[offset];
  }
  return changes;
}
