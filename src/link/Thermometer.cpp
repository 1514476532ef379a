#include "link/Thermometer.h"

#include <QCoreApplication>
#include <QProgressBar>

TThermometerForm::TThermometerForm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName(QStringLiteral("ThermometerForm"));
  setWindowTitle(QStringLiteral("ThermometerForm"));
  setFixedSize(kWidth, kHeight);
  ProgressWin = new QProgressBar(this);
  ProgressWin->setObjectName(QStringLiteral("ProgressWin"));
  ProgressWin->setGeometry(0, 0, 521, 25);
  ProgressWin->setTextVisible(false);
  ProgressWin->setMinimum(0);
}

void TThermometerForm::StartProgress(const QString& caption, quint16 maximum) {
  setWindowTitle(caption);
  ProgressWin->setMinimum(0);
  ProgressWin->setMaximum(maximum);
  SetProgress(0);
  show();
  raise();
  // The window has to be mapped before it can be painted; user input stays queued.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  repaint();
}

void TThermometerForm::SetProgress(quint16 position) {
  ProgressWin->setValue(position);
  if (isVisible()) repaint();
}

void TThermometerForm::EndProgress() {
  hide();
}
