#include "core/editor/KeyHandlers.h"

void TableKeyHandlers::FormKeyDown(QObject* sender, quint16& key, ShiftState shift) {
  Q_UNUSED(sender);
  if (ViewControllerClass::IsCommandKey(key)) UserActiveKey(key, shift);
  key = 0;
}

void TableKeyHandlers::FormKeyPress(QObject* sender, QChar& character) {
  Q_UNUSED(sender);
  const quint16 key = ViewControllerClass::CharToKey(character);
  if (key != 0) UserActiveKey(key, {});
}

void TableKeyHandlers::FormKeyUp(QObject* sender, quint16& key, ShiftState shift) {
  Q_UNUSED(sender);
  if (ViewControllerClass::IsNavigationKey(key)) UserActiveKey(key, shift);
  key = 0;
}
