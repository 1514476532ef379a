#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <QTest>

#include "ui/link/Thermometer.h"

TEST(Thermometer, SizesAndTheBar) {
  TThermometerForm form;
  EXPECT_EQ(form.size(), QSize(529, 52));
  EXPECT_EQ(form.ProgressWin->geometry(), QRect(0, 0, 521, 25));
  EXPECT_FALSE(form.ProgressWin->isTextVisible());
  EXPECT_EQ(form.windowTitle(), QStringLiteral("ThermometerForm"));
}

TEST(Thermometer, StartSetAndEnd) {
  TThermometerForm form;
  form.EndProgress();  // without a start it stays hidden
  EXPECT_FALSE(form.isVisible());
  form.StartProgress(QStringLiteral("Чтение данных из станции"), 516);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Чтение данных из станции"));
  EXPECT_EQ(form.ProgressWin->minimum(), 0);
  EXPECT_EQ(form.ProgressWin->maximum(), 516);
  EXPECT_EQ(form.ProgressWin->value(), 0);
  for (int p = 0; p <= 516; ++p) form.SetProgress(static_cast<quint16>(p));
  EXPECT_EQ(form.ProgressWin->value(), form.ProgressWin->maximum());
  // A second start restarts at 0 with its own caption and range.
  form.StartProgress(QStringLiteral("Запись данных в станцию"), 5);
  EXPECT_EQ(form.ProgressWin->value(), 0);
  EXPECT_EQ(form.ProgressWin->maximum(), 5);
  form.EndProgress();
  EXPECT_FALSE(form.isVisible());
}

namespace {
class CountsCloses : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* event) override {
    ++closes;
    QWidget::closeEvent(event);
  }
};
}  // namespace

TEST(Thermometer, NoWindowsCloseHandlerRunsWhileATransferLetsEventsThrough) {
  CountsCloses other;
  other.show();
  QCoreApplication::postEvent(&other, new QCloseEvent);
  ProcessWindowSystemEventsOnly();
  EXPECT_EQ(other.closes, 0);
  // Once the transfer is over, the next request reaches the window as usual.
  QCoreApplication::postEvent(&other, new QCloseEvent);
  QCoreApplication::processEvents();
  EXPECT_EQ(other.closes, 1);
}

namespace {
class CountsPaints : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};
}  // namespace

TEST(Thermometer, PaintsOnlyWhenTheBarGrowsAndNotFasterThanTheScreen) {
  TThermometerForm form;
  CountsPaints counter;
  form.ProgressWin->installEventFilter(&counter);
  form.StartProgress(QStringLiteral("Чтение данных из станции"), 511);
  const int atStart = counter.paints;
  EXPECT_GE(atStart, 1);
  // A burst of positions within one frame's time: the first change and the last position are
  // drawn, nothing between them; the bar is touched only when it is drawn.
  int values = 0;
  QObject::connect(form.ProgressWin, &QProgressBar::valueChanged, [&values] { ++values; });
  for (int p = 0; p < 512; ++p) form.SetProgress(static_cast<quint16>(p));
  EXPECT_EQ(counter.paints - atStart, 2);
  EXPECT_EQ(values, 2);
  EXPECT_EQ(form.ProgressWin->value(), 511);
  // Once a frame's time has passed, a grown bar is drawn again; the same length is not.
  form.StartProgress(QStringLiteral("Чтение данных из станции"), 511);
  form.SetProgress(1);
  const int before = counter.paints;
  QTest::qWait(TThermometerForm::kMinFrameMs + 5);
  form.SetProgress(256);
  EXPECT_EQ(counter.paints, before + 1);
  QTest::qWait(TThermometerForm::kMinFrameMs + 5);
  form.SetProgress(256);
  EXPECT_EQ(counter.paints, before + 1);
  form.EndProgress();
}

TEST(Thermometer, ASlowStepRightAfterTheStartIsDrawnAtOnce) {
  TThermometerForm form;
  CountsPaints counter;
  form.ProgressWin->installEventFilter(&counter);
  // The write preparation: the start, then its first step at once, then seconds of pauses.
  form.StartProgress(QStringLiteral("Устанавливается и проверяется связь со станцией"), 5);
  const int atStart = counter.paints;
  form.SetProgress(1);
  EXPECT_EQ(counter.paints, atStart + 1);
  EXPECT_EQ(form.ProgressWin->value(), 1);
  form.EndProgress();
}
