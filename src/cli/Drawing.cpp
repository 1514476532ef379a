#include "cli/Drawing.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include "core/platform/Processes.h"

namespace {

struct Loaded {
  Drawing drawing{};
  bool complete = false;
  QString missing;
};

template <typename Function>
bool Resolve(QLibrary& library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(library.resolve(name));
  return function != nullptr;
}

Loaded Find(const char* argv0) {
  Loaded found;
  const QString self = OsExecutablePath(argv0 ? argv0 : "norvel");
  const QString path =
      QFileInfo(QFileInfo(self).absolutePath() + u'/' + QLatin1String(drawing::kRelativePath))
          .absoluteFilePath();
  const QString why = QStringLiteral("PDF и PNG рисует модуль из пакета norvelwin (%1): ")
                          .arg(QDir::cleanPath(path));
  if (!QFileInfo::exists(path)) {
    found.missing = why + QStringLiteral("его нет");
    return found;
  }
  static QLibrary library;
  library.setFileName(path);
  drawing::Version version = nullptr;
  if (!library.load() || !Resolve(library, drawing::kVersion, version)) {
    found.missing = why + QStringLiteral("он не загружается: ") + library.errorString();
    return found;
  }
  // The entries pass the program's own structures: only the plugin of this very build fits.
  if (qstrcmp(version(), NORVEL_VERSION) != 0) {
    found.missing = why + QStringLiteral("он другой версии (%1, а norvel %2)")
                              .arg(QLatin1String(version()), QLatin1String(NORVEL_VERSION));
    return found;
  }
  Drawing& d = found.drawing;
  found.complete = Resolve(library, drawing::kMakeApplication, d.makeApplication) &&
                   Resolve(library, drawing::kReportPdf, d.reportPdf) &&
                   Resolve(library, drawing::kReportPngs, d.reportPngs) &&
                   Resolve(library, drawing::kBillsPdf, d.billsPdf);
  if (!found.complete) found.missing = why + QStringLiteral("он неполон");
  return found;
}

const Loaded& Once(const char* argv0) {
  static const Loaded loaded = Find(argv0);
  return loaded;
}

}  // namespace

const Drawing* Drawing::Load(const char* argv0) {
  const Loaded& loaded = Once(argv0);
  return loaded.complete ? &loaded.drawing : nullptr;
}

QString Drawing::Missing() {
  return Once(nullptr).missing;
}
