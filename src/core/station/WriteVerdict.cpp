#include "core/station/WriteVerdict.h"

WriteVerdict WriteVerdict::Judge(const ConfigImage& before, const ConfigImage& written,
                                 const ConfigImage& held) {
  WriteVerdict verdict;
  int changed = 0;
  for (int i = 0; i < kImageSize; ++i) {
    if (before[i] == written[i]) {
      // A byte the write leaves as it was counts only when the station no longer has it.
      if (held[i] != before[i]) ++verdict.otherBytes;
      continue;
    }
    ++changed;
    if (held[i] == written[i]) {
      ++verdict.newBytes;
    } else if (held[i] == before[i]) {
      ++verdict.oldBytes;
    } else {
      ++verdict.otherBytes;
    }
  }
  if (verdict.otherBytes == 0 && verdict.newBytes == changed) {
    verdict.holds = Holds::kWritten;
  } else if (verdict.otherBytes == 0 && verdict.oldBytes == changed) {
    verdict.holds = Holds::kBefore;
  } else {
    verdict.holds = Holds::kMixed;
  }
  return verdict;
}

QString WriteVerdict::Sentence() const {
  QString text;
  switch (holds) {
    case Holds::kNone:
      return {};
    case Holds::kBefore:
      return QStringLiteral("Станция содержит прежнюю конфигурацию.");
    case Holds::kWritten:
      text = QStringLiteral(
          "Станция содержит новую конфигурацию (проверка при чтении не прошла из-за связи).");
      break;
    case Holds::kMixed:
      text = QStringLiteral("Станция содержит смесь: %1 байт новые, %2 прежние")
                 .arg(newBytes)
                 .arg(oldBytes);
      if (otherBytes > 0) text += QStringLiteral(", %1 ни те ни другие").arg(otherBytes);
      text += u'.';
      break;
    case Holds::kUnknown:
      text = QStringLiteral("Что содержит станция, неизвестно: она не ответила.");
      break;
  }
  // The whole new image is no reason to go back: only the check failed.
  if (!beforeFile.isEmpty() && holds != Holds::kWritten) {
    text +=
        QStringLiteral(" Прежняя конфигурация: %1; вернуть ее: %2")
            .arg(beforeFile,
                 wayBack.isEmpty() ? QStringLiteral("norvel config write ") + beforeFile : wayBack);
  }
  return text;
}

QString WriteVerdict::Name() const {
  switch (holds) {
    case Holds::kNone:
      return {};
    case Holds::kBefore:
      return QStringLiteral("before");
    case Holds::kWritten:
      return QStringLiteral("written");
    case Holds::kMixed:
      return QStringLiteral("mixed");
    case Holds::kUnknown:
      return QStringLiteral("unknown");
  }
  return {};
}
