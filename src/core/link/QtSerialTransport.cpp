#include "core/link/QtSerialTransport.h"

#include <QElapsedTimer>
#include <QThread>

#include "core/link/Rfc2217Transport.h"
#include "core/platform/SerialPlatform.h"

namespace {

// A port as its name says: a device of this machine, or one behind a serial device server
// ("rfc2217://HOST:PORT", as NORVEL_COMn may name it). The choice is made when it is opened.
class ChosenTransport : public SerialTransport {
 public:
  bool Open(const QString& device) override {
    const bool network = Rfc2217Transport::IsAddress(device);
    if (network != network_) {
      network_ = network;
      chosen_ = network ? std::unique_ptr<SerialTransport>(std::make_unique<Rfc2217Transport>())
                        : std::make_unique<QtSerialTransport>();
    }
    return chosen_->Open(device);
  }
  QString OpenError() const override { return chosen_->OpenError(); }
  void Close() override { chosen_->Close(); }
  bool IsOpen() const override { return chosen_->IsOpen(); }
  bool Configure(const LineSettings& settings) override { return chosen_->Configure(settings); }
  bool Purge(bool receive, bool transmit) override { return chosen_->Purge(receive, transmit); }
  qint64 InQueue() override { return chosen_->InQueue(); }
  qint64 OutQueue() override { return chosen_->OutQueue(); }
  qint64 Read(char* data, qint64 max) override { return chosen_->Read(data, max); }
  qint64 Write(const char* data, qint64 count) override { return chosen_->Write(data, count); }
  void WaitForInput(int milliseconds) override { chosen_->WaitForInput(milliseconds); }
  void WaitForOutput(int milliseconds) override { chosen_->WaitForOutput(milliseconds); }
  void ClearError() override { chosen_->ClearError(); }
  bool NeedsAttention() override { return chosen_->NeedsAttention(); }
  bool HungUp() override { return chosen_->HungUp(); }
  void Drain(int milliseconds) override { chosen_->Drain(milliseconds); }

 private:
  std::unique_ptr<SerialTransport> chosen_ = std::make_unique<QtSerialTransport>();
  bool network_ = false;
};

}  // namespace

QtSerialTransport::QtSerialTransport() {
  QObject::connect(&port_, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
    if (e == QSerialPort::ResourceError) lost_ = true;
  });
}

bool QtSerialTransport::Open(const QString& device) {
  lost_ = false;
  // Qt takes a lock file and sets TIOCEXCL, so no second program can use the port meanwhile.
  port_.setPortName(device);
  const bool opened = port_.open(QIODevice::ReadWrite);
  openError_ = opened ? QString() : port_.errorString();
  return opened;
}

void QtSerialTransport::Close() {
  port_.close();
  lost_ = false;
}

bool QtSerialTransport::IsOpen() const {
  return port_.isOpen();
}

bool QtSerialTransport::Configure(const LineSettings& s) {
  bool ok = port_.setBaudRate(static_cast<qint32>(s.rate));
  ok = ok && port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
  static constexpr QSerialPort::Parity kParity[] = {
      QSerialPort::NoParity, QSerialPort::OddParity, QSerialPort::EvenParity,
      QSerialPort::MarkParity, QSerialPort::SpaceParity};
  ok = ok && s.parityCode >= 0 && s.parityCode <= 4 && port_.setParity(kParity[s.parityCode]);
  static constexpr QSerialPort::StopBits kStop[] = {
      QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop};
  ok = ok && s.stopBitsCode >= 0 && s.stopBitsCode <= 2 && port_.setStopBits(kStop[s.stopBitsCode]);
  QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
  if (s.rtsMode == 2) {
    flow = QSerialPort::HardwareControl;
  } else if (s.softwareFlow) {
    flow = QSerialPort::SoftwareControl;
  }
  ok = ok && port_.setFlowControl(flow);
  if (!ok) return false;
  // Queue sizes and XON/XOFF limits are the operating system's own here; only the line format
  // and the modem lines are set.
  // A pseudo-terminal or an adapter without modem lines refuses these; the station needs no
  // handshake, so that is no failure.
  port_.setDataTerminalReady(true);
  if (flow != QSerialPort::HardwareControl) port_.setRequestToSend(s.rtsMode == 1);
  port_.clearError();
  return true;
}

bool QtSerialTransport::Purge(bool receive, bool transmit) {
  QSerialPort::Directions directions;
  if (receive) directions |= QSerialPort::Input;
  if (transmit) directions |= QSerialPort::Output;
  return directions == QSerialPort::Directions() || port_.clear(directions);
}

qint64 QtSerialTransport::InQueue() {
  // Qt moves bytes from the device into its own buffer only when asked to; a wait of no time
  // does that without blocking.
  if (port_.bytesAvailable() == 0) port_.waitForReadyRead(0);
  return port_.bytesAvailable();
}

qint64 QtSerialTransport::OutQueue() {
  return port_.bytesToWrite() + OsOutputQueue(port_.handle());
}

qint64 QtSerialTransport::Read(char* data, qint64 max) {
  return port_.read(data, max);
}

qint64 QtSerialTransport::Write(const char* data, qint64 count) {
  const qint64 accepted = port_.write(data, count);
  port_.flush();
  return accepted;
}

void QtSerialTransport::WaitForInput(int milliseconds) {
  if (milliseconds > 0) port_.waitForReadyRead(milliseconds);
}

void QtSerialTransport::WaitForOutput(int milliseconds) {
  if (milliseconds <= 0) return;
  if (port_.bytesToWrite() > 0) {
    port_.waitForBytesWritten(milliseconds);
  } else {
    // The kernel's transmit queue cannot be waited on; look again after a few milliseconds,
    // well under the 31 ms that one byte takes at 325 bit/s.
    QThread::msleep(static_cast<unsigned long>(qMin(milliseconds, 5)));
  }
}

void QtSerialTransport::ClearError() {
  port_.clearError();
}

bool QtSerialTransport::NeedsAttention() {
  // The port's read notifier wakes Qt when a line hangs up or a byte arrives, and Qt then sets
  // the error or fills its buffer; with neither, there is nothing for the tick to do and no
  // system call is made.
  return lost_ || port_.error() != QSerialPort::NoError || port_.bytesAvailable() > 0;
}

bool QtSerialTransport::HungUp() {
  return port_.isOpen() && (lost_ || OsLineHungUp(port_.handle()));
}

void QtSerialTransport::Drain(int milliseconds) {
  QElapsedTimer waited;
  waited.start();
  while (port_.isOpen()) {
    const std::optional<bool> empty = OsTransmitterEmpty(port_.handle());
    if (!empty || *empty || waited.elapsed() >= milliseconds) return;
    QThread::msleep(1);
  }
}

std::unique_ptr<SerialTransport> QtSerialPortFactory::CreateTransport() {
  return std::make_unique<ChosenTransport>();
}
