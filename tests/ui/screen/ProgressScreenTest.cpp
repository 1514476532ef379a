// The progress window as the operator sees it: a configuration written to the station emulator
// at the real line speed under a virtual display with a window manager, while another thread
// reads the screen itself (not the widget) and measures the bar's painted length. The window is
// shown three times in one write (preparation, the frame, the read-back); each showing must
// paint, and its bar must grow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "Emulator.h"
#include "core/base/Clock.h"
#include "core/base/Environment.h"
#include "core/files/ConfigCopy.h"
#include "core/files/SettingsFile.h"
#include "core/link/QtSerialTransport.h"
#include "core/link/RS232.h"
#include "core/station/StationCtrl.h"
#include "ui/link/Thermometer.h"
#include "ui/shell/QtOperatorUi.h"
#include "ui/shell/WindowManagerHints.h"

// Xlib defines macros (None, Bool, Status) that clash with Qt and GoogleTest; it comes last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

enum Phase { kNone, kPreparing, kWriting, kReading };

// The windows' operator interface, telling which transfer the progress window shows; a box
// (which would wait for a person) fails the test instead.
class WatchedUi : public QtOperatorUi {
 public:
  std::atomic<int> phase{kNone};
  QStringList boxes;

  void StartProgress(const QString& caption, quint16 maximum) override {
    if (caption.startsWith(QStringLiteral("Устанавливается"))) phase = kPreparing;
    if (caption == QStringLiteral("Запись данных в станцию")) phase = kWriting;
    if (caption == QStringLiteral("Чтение данных из станции")) phase = kReading;
    QtOperatorUi::StartProgress(caption, maximum);
  }
  void EndProgress() override {
    QtOperatorUi::EndProgress();
    phase = kNone;
  }

 protected:
  bool ShowBox(BoxKind, const QString& text, bool) override {
    boxes << text;
    return false;
  }
};

// Reads the screen every 100 ms on a connection of its own and notes, per phase, the longest
// horizontal run of the bar's blue: the painted length of the bar.
class ScreenWatcher {
 public:
  explicit ScreenWatcher(const std::atomic<int>& phase) : phase_(phase) {
    thread_ = std::thread([this] { Run(); });
  }
  ~ScreenWatcher() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::map<int, std::vector<int>> Lengths() {
    std::lock_guard lock(mutex_);
    return lengths_;
  }

 private:
  static bool BarBlue(unsigned long pixel) {
    const int r = (pixel >> 16) & 0xFF;
    const int b = pixel & 0xFF;
    return b >= 120 && b - r >= 50;
  }
  void Run() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return;
    const Window root = DefaultRootWindow(display);
    XWindowAttributes screen{};
    XGetWindowAttributes(display, root, &screen);
    while (!stop_) {
      const int phase = phase_;
      XImage* image =
          XGetImage(display, root, 0, 0, screen.width, screen.height, AllPlanes, ZPixmap);
      if (image) {
        int longest = 0;
        for (int y = 0; y < image->height; ++y) {
          int run = 0;
          for (int x = 0; x < image->width; ++x) {
            run = BarBlue(XGetPixel(image, x, y)) ? run + 1 : 0;
            longest = std::max(longest, run);
          }
        }
        XDestroyImage(image);
        if (phase != kNone && phase == phase_) {
          std::lock_guard lock(mutex_);
          lengths_[phase].push_back(longest);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    XCloseDisplay(display);
  }

  const std::atomic<int>& phase_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::map<int, std::vector<int>> lengths_;
  std::thread thread_;
};

// How far the painted bar grew in a phase, and in how many steps.
struct Growth {
  int first = 0;
  int most = 0;
  int steps = 0;
};
Growth GrowthOf(const std::vector<int>& lengths) {
  Growth growth;
  if (lengths.empty()) return growth;
  growth.first = lengths.front();
  int last = lengths.front();
  for (int length : lengths) {
    if (length > last) ++growth.steps;
    last = length;
    growth.most = std::max(growth.most, length);
  }
  return growth;
}

}  // namespace

TEST(ProgressOnScreen, EveryShowingOfTheProgressWindowPaintsAndItsBarGrows) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run under with-window-manager.sh";
  station::StationOptions options;
  options.realtime = true;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));

  QTemporaryDir dir;
  SystemClock clock;
  QtSerialPortFactory ports;
  WatchedUi ui;
  TThermometerForm thermometer;
  ui.SetThermometer(&thermometer);
  Environment env{ui, clock, ports, dir.path()};
  WriteSettingsFile(env.workDir, 2, 2, clock.Now());
  StationCtrlClass station(env);
  ASSERT_TRUE(station.Link()->IsOpen());

  ConfigImage image{};
  for (int i = 0; i < kImageSize; ++i) image[i] = static_cast<quint8>(i * 7);
  ScreenWatcher watcher(ui.phase);
  EXPECT_TRUE(station.WriteImage(image));
  watcher.Stop();
  EXPECT_TRUE(ui.boxes.isEmpty()) << ui.boxes.join(u'|').toStdString();

  const int barWidth = thermometer.ProgressWin->width();
  auto lengths = watcher.Lengths();
  for (const auto& [phase, name] :
       {std::pair{kWriting, "the frame"}, {kReading, "the read-back"}}) {
    const Growth growth = GrowthOf(lengths[phase]);
    SCOPED_TRACE(name);
    std::printf(
        "%s: %zu pictures read from the screen, the bar seen growing %d times, to %d of "
        "%d pixels\n",
        name, lengths[phase].size(), growth.steps, growth.most, barWidth);
    // Sampled ten times a second over 16 s and 5 s: the bar is seen moving many times and
    // nearly full by the end.
    EXPECT_GE(growth.steps, phase == kWriting ? 20 : 5);
    EXPECT_GE(growth.most, barWidth * 8 / 10);
  }
}

// A window manager that never maps a window: it takes every map request and grants none.
class NeverMappingManager {
 public:
  NeverMappingManager() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureRedirectMask);
    XSync(display_, False);
  }
  ~NeverMappingManager() {
    if (display_) XCloseDisplay(display_);
  }
  bool Running() const { return display_ != nullptr; }

 private:
  Display* display_;
};

// Seconds a 200-byte frame takes to the station emulator with this operator interface.
double SecondsToSendAFrame(OperatorUi& ui) {
  QTemporaryDir dir;
  SystemClock clock;
  QtSerialPortFactory ports;
  Environment env{ui, clock, ports, dir.path()};
  RS232Class rs232(env, 2);
  rs232.Open();
  if (!rs232.IsOpen()) return -1;
  const std::vector<quint8> data(195, 0x5A);
  QElapsedTimer took;
  took.start();
  const bool sent = rs232.WriteMemory(0x1000, data.data(), static_cast<int>(data.size()));
  return sent ? static_cast<double>(took.elapsed()) / 1000 : -1;
}

TEST(NeverMapped, AProgressWindowNeverShownChangesNothingInTheTransfersTiming) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run under xvfb-run";
  NeverMappingManager manager;
  ASSERT_TRUE(manager.Running());
  station::StationOptions options;
  EmulatorProcess emulator(options);
  ASSERT_TRUE(emulator.Start());
  qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));

  WatchedUi bare;
  const double without = SecondsToSendAFrame(bare);
  WatchedUi ui;
  TThermometerForm thermometer;
  ui.SetThermometer(&thermometer);
  const double with = SecondsToSendAFrame(ui);
  ASSERT_GT(without, 0);
  ASSERT_GT(with, 0);
  EXPECT_FALSE(thermometer.windowHandle() && thermometer.windowHandle()->isExposed());
  std::printf("a 200-byte frame: %.2f s without the progress window, %.2f s with it unmapped\n",
              without, with);
  EXPECT_LT(std::abs(with - without), without * 0.05);
}

TEST(WindowManagerHints, ATableWindowAsksForATitleBarOnly) {
  QDialog table;
  table.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  table.setFixedSize(200, 100);
  AskForTitleBarOnly(&table);
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(display, static_cast<Window>(table.winId()), hints, 0, 5, False,
                               AnyPropertyType, &type, &format, &count, &after, &data),
            Success);
  ASSERT_EQ(count, 5u);
  const auto* values = reinterpret_cast<const unsigned long*>(data);
  EXPECT_EQ(values[0], 3u);   // functions and decorations are given
  EXPECT_EQ(values[1], 4u);   // moving only: no close, no minimise or maximise, no resizing
  EXPECT_EQ(values[2], 10u);  // a border and a title, no window menu, no boxes
  XFree(data);
  XCloseDisplay(display);
}

// On a bare display (no window manager) no window gets the keyboard unless the program asks:
// the first window is shown with it, so that Enter works without a click.
TEST(BareDisplay, TheFirstWindowTakesTheKeyboard) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run under xvfb-run";
  const auto window = [](QPushButton** first) {
    auto* widget = new QWidget;
    widget->resize(300, 120);
    *first = new QPushButton(QStringLiteral("Программирование"), widget);
    (*first)->setAutoDefault(true);
    (*first)->setGeometry(10, 10, 200, 30);
    auto* second = new QPushButton(QStringLiteral("Выход"), widget);
    second->setGeometry(10, 50, 200, 30);
    return std::unique_ptr<QWidget>(widget);
  };
  const auto activeWithin = [](QWidget* widget, int ms) {
    QElapsedTimer waited;
    waited.start();
    while (!widget->isActiveWindow() && waited.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return widget->isActiveWindow();
  };
  QPushButton* ignored = nullptr;
  const auto plain = window(&ignored);
  plain->show();
  // The premise: shown as usual, a window here never gets the keyboard.
  EXPECT_FALSE(activeWithin(plain.get(), 1000));
  plain->hide();

  QPushButton* first = nullptr;
  const auto menu = window(&first);
  bool pressed = false;
  QObject::connect(first, &QPushButton::clicked, [&pressed] { pressed = true; });
  ShowWithKeyboard(menu.get(), first);
  ASSERT_TRUE(activeWithin(menu.get(), 5000));
  EXPECT_EQ(QApplication::focusWidget(), first);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  EXPECT_TRUE(pressed);
}

namespace {

// The boxes after a station operation, read back from the screen: each box, a moment after it
// opens, is compared pixel by pixel with what the box draws of itself. A box the operator cannot
// read (left black, or never drawn) matches in few pixels.
class ScreenCheckingUi : public QtOperatorUi {
 public:
  struct Seen {
    QString text;
    double matching = 0;  // the share of the box's pixels on the screen as it draws them
  };
  std::vector<Seen> seen;
  int waitMs = 1000;

 protected:
  bool ShowBox(BoxKind kind, const QString& text, bool error) override {
    QTimer::singleShot(waitMs, [this, text] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) {
        seen.push_back({text + QStringLiteral(" (no box)"), 0});
        return;
      }
      seen.push_back({text, MatchingShare(*box)});
      box->done(0);
    });
    return QtOperatorUi::ShowBox(kind, text, error);
  }

 private:
  static double MatchingShare(QWidget& box) {
    const QImage own = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint at = box.mapToGlobal(QPoint(0, 0));
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 0;
    XImage* image = XGetImage(display, DefaultRootWindow(display), at.x(), at.y(),
                              static_cast<unsigned>(own.width()),
                              static_cast<unsigned>(own.height()), AllPlanes, ZPixmap);
    double share = 0;
    if (image) {
      qint64 same = 0;
      for (int y = 0; y < own.height(); ++y) {
        for (int x = 0; x < own.width(); ++x) {
          const QRgb mine = own.pixel(x, y);
          const unsigned long theirs = XGetPixel(image, x, y);
          const int dr = std::abs(qRed(mine) - int((theirs >> 16) & 0xFF));
          const int dg = std::abs(qGreen(mine) - int((theirs >> 8) & 0xFF));
          const int db = std::abs(qBlue(mine) - int(theirs & 0xFF));
          if (dr + dg + db < 48) ++same;
        }
      }
      share = double(same) / (double(own.width()) * own.height());
      if (qEnvironmentVariableIsSet("NORVEL_BOX_DUMP") && share < 0.9) {
        QImage screen(own.size(), QImage::Format_RGB32);
        for (int y = 0; y < own.height(); ++y)
          for (int x = 0; x < own.width(); ++x)
            screen.setPixel(x, y, 0xFF000000u | XGetPixel(image, x, y));
        static int n = 0;
        screen.save(QStringLiteral("/tmp/box-screen-%1.png").arg(n));
        own.save(QStringLiteral("/tmp/box-own-%1.png").arg(n++));
      }
      XDestroyImage(image);
    }
    XCloseDisplay(display);
    return share;
  }
};

}  // namespace

// Keeps every processor busy while it lives, as other work on the machine would.
class CpuLoad {
 public:
  CpuLoad() {
    for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
      threads_.emplace_back([this] {
        volatile unsigned long spin = 0;
        while (!stop_) spin = spin + 1;
      });
    }
  }
  ~CpuLoad() {
    stop_ = true;
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// The box that follows a write, and the one asked in its middle, with the progress window just
// closed or still up: on the screen as it draws itself, after a write that worked and after
// one the station refused, with the processors busy. (NORVEL_BOX_DUMP=1 keeps the pictures of
// a box that does not match in /tmp.)
TEST(BoxesOnScreen, TheBoxAfterAWriteIsReadable) {
  ASSERT_FALSE(qEnvironmentVariableIsEmpty("DISPLAY")) << "run under xvfb-run";
  const CpuLoad load;
  for (const bool protect : {false, true}) {
    SCOPED_TRACE(protect ? "refused" : "written");
    station::StationOptions options;
    options.protect = protect;
    EmulatorProcess emulator(options);
    ASSERT_TRUE(emulator.Start());
    qputenv("NORVEL_COM2", QFile::encodeName(emulator.LinkPath()));
    QTemporaryDir dir;
    SystemClock clock;
    QtSerialPortFactory ports;
    ScreenCheckingUi ui;
    TThermometerForm thermometer;
    ui.SetThermometer(&thermometer);
    Environment env{ui, clock, ports, dir.path()};
    WriteSettingsFile(env.workDir, 2, 2, clock.Now());
    StationCtrlClass station(env);
    ASSERT_TRUE(station.Link()->IsOpen());
    ASSERT_TRUE(station.LoadFromStation());
    // The entry window the write is started from, active as when its button is pressed.
    QWidget entry;
    entry.resize(400, 300);
    ShowWithKeyboard(&entry, nullptr);
    QElapsedTimer shown;
    shown.start();
    while (!entry.isActiveWindow() && shown.elapsed() < 3000) QCoreApplication::processEvents();
    ConfigImage image = station.Image();
    image[4] ^= 0x01;
    station.SetImage(image);
    station.WriteAndSave();
    qunsetenv("NORVEL_COM2");
    ASSERT_FALSE(ui.seen.empty());
    for (const auto& box : ui.seen) {
      std::printf("%s: %.0f %% of its pixels on the screen\n",
                  box.text.left(40).toUtf8().constData(), 100 * box.matching);
      EXPECT_GT(box.matching, 0.9) << box.text.toStdString();
    }
  }
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
