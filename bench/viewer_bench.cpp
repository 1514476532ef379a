// The record viewer with a large month: loading and showing, each sort and each selection.
#include <QApplication>
#include <QListView>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "FakeClock.h"
#include "GeneratedCalls.h"
#include "core/base/Environment.h"
#include "core/files/DataFiles.h"
#include "core/link/SerialTransport.h"
#include "ui/tariff/FileViewer.h"

namespace {

class NoPorts : public SerialPortFactory {
 public:
  std::unique_ptr<SerialTransport> CreateTransport() override { return nullptr; }
};

class AnsweringUi : public SilentUi {
 public:
  QString answer;
  QString InputBox(const QString&, const QString&, const QString&) override { return answer; }
};

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  FakeClock clock;
  AnsweringUi ui;
  NoPorts ports;
  for (int count : {200000, 1000000}) {
    QTemporaryDir dir;
    Environment env{ui, clock, ports, dir.path()};
    {
      const auto generated = station::GenerateCalls(count, 28, 9, 4);
      std::vector<CallRecord> records;
      records.reserve(generated.calls.size());
      for (const auto& c : generated.calls) {
        records.push_back(ToCallRecord(c, QDate(2026, 3, 28)));
      }
      AppendCallRecords(env.workDir, records);
    }
    TFileViewerForm form(env);
    const double show = Seconds([&] {
      form.LoadRecords(3, 0, 0);
      form.show();
      QApplication::processEvents();
      form.MemoWin->scrollToBottom();
      QApplication::processEvents();
    });
    RecordViewer& viewer = form.Viewer();
    auto timed = [&](const char* what, auto action) {
      const double t = Seconds([&] {
        action();
        QApplication::processEvents();
      });
      std::printf("  %-28s %.3f s (%lld lines shown)\n", what, t,
                  static_cast<long long>(viewer.ShownCount()));
    };
    std::printf("%d records: load and show %.3f s\n", count, show);
    timed("sort by subscriber", [&] { viewer.SortAbonentButtonClick(); });
    timed("sort by duration", [&] { viewer.SortDurationButtonClick(); });
    timed("sort by city line", [&] { viewer.SortCityLineButtonClick(); });
    timed("select numbers from 8", [&] {
      ui.answer = QStringLiteral("8");
      viewer.SelectPhoneButtonClick();
    });
    timed("select 10 minutes and more", [&] {
      ui.answer = QStringLiteral("10");
      viewer.SelectDurationButtonClick();
    });
    timed("all", [&] { viewer.SelectAllButtonClick(); });
  }
  return 0;
}
