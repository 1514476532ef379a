// A station behind a serial device server: Debian's ser2net speaks RFC 2217 on a loopback port
// in front of the emulator's pseudo-terminal, and `norvel` reaches it as NORVEL_COM2 names it.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "Emulator.h"
#include "Loopback.h"

namespace {

// A loopback port no one listens on now.
quint16 FreePort() {
  quint16 port = 0;
  ::close(ListenOnLoopback(&port));
  return port;
}

// Whether something listens on the loopback port, from the kernel's table: a probe connection
// would make ser2net open the line.
bool Listening(quint16 port) {
  QFile table(QStringLiteral("/proc/net/tcp"));
  if (!table.open(QIODevice::ReadOnly)) return false;
  const QByteArray local =
      QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
  for (const QByteArray& line : table.readAll().split('\n')) {
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() > 3 && fields[1] == local && fields[3] == "0A") return true;
  }
  return false;
}

// A network between the program and the device server: what the program sends is held back
// 300 ms now and then (a chunk at a time, in order), the replies pass at once; Drop() cuts every
// connection, as a failed link would.
class DelayProxy {
 public:
  DelayProxy(quint16 target, int holdPercent) : target_(target), holdPercent_(holdPercent) {
    listener_ = ListenOnLoopback(&port_);
    thread_ = std::thread([this] { Run(); });
  }
  ~DelayProxy() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }
  quint16 Port() const { return port_; }
  void Drop() { drop_ = true; }
  int Held() const { return held_; }

 private:
  struct Pair {
    int client = -1, server = -1;
    std::deque<std::pair<qint64, QByteArray>> due;  // chunks to the server, with their time
  };
  static qint64 Now() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  static void Close(Pair& pair) {
    ::close(pair.client);
    ::close(pair.server);
  }
  void Run() {
    std::mt19937 random(7);
    std::vector<Pair> pairs;
    while (!stop_) {
      if (drop_.exchange(false)) {
        for (Pair& pair : pairs) Close(pair);
        pairs.clear();
      }
      std::vector<pollfd> watch{{listener_, POLLIN, 0}};
      for (const Pair& pair : pairs) {
        watch.push_back({pair.client, POLLIN, 0});
        watch.push_back({pair.server, POLLIN, 0});
      }
      ::poll(watch.data(), watch.size(), 5);
      if (watch[0].revents & POLLIN) {
        Pair pair;
        pair.client = ::accept(listener_, nullptr, nullptr);
        pair.server = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(target_);
        ::connect(pair.server, reinterpret_cast<sockaddr*>(&address), sizeof address);
        const int one = 1;
        ::setsockopt(pair.server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(pair.client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        pairs.push_back(std::move(pair));
        continue;
      }
      for (size_t i = 0; i < pairs.size(); ++i) {
        Pair& pair = pairs[i];
        char block[4096];
        bool closed = false;
        if (watch[1 + 2 * i].revents & (POLLIN | POLLHUP)) {
          const ssize_t got = ::recv(pair.client, block, sizeof block, 0);
          closed = got <= 0;
          if (got > 0) {
            const bool hold = static_cast<int>(random() % 100) < holdPercent_;
            held_ += hold;
            const qint64 after = pair.due.empty() ? 0 : pair.due.back().first;
            pair.due.emplace_back(std::max(after, Now() + (hold ? 300 : 0)),
                                  QByteArray(block, static_cast<int>(got)));
          }
        }
        if (watch[2 + 2 * i].revents & (POLLIN | POLLHUP)) {
          const ssize_t got = ::recv(pair.server, block, sizeof block, 0);
          closed = closed || got <= 0;
          if (got > 0) ::send(pair.client, block, static_cast<size_t>(got), MSG_NOSIGNAL);
        }
        while (!pair.due.empty() && pair.due.front().first <= Now()) {
          const QByteArray& chunk = pair.due.front().second;
          ::send(pair.server, chunk.constData(), static_cast<size_t>(chunk.size()), MSG_NOSIGNAL);
          pair.due.pop_front();
        }
        if (closed) {
          Close(pair);
          pairs.erase(pairs.begin() + static_cast<std::ptrdiff_t>(i--));
        }
      }
    }
    for (Pair& pair : pairs) Close(pair);
  }

  int listener_ = -1;
  quint16 target_, port_ = 0;
  int holdPercent_;
  std::atomic<bool> stop_{false}, drop_{false};
  std::atomic<int> held_{0};
  std::thread thread_;
};

struct NetworkStation : ::testing::Test {
  QTemporaryDir dir;
  std::unique_ptr<EmulatorProcess> emulator;
  QProcess ser2net;
  QString address;

  void Start(const station::StationOptions& options) {
    emulator = std::make_unique<EmulatorProcess>(options);
    ASSERT_TRUE(emulator->Start());
    const QString program =
        QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin")});
    ASSERT_FALSE(program.isEmpty()) << "ser2net is not installed (scripts/setup.sh installs it)";
    const quint16 port = FreePort();
    QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("connection: &station\n"
                                "  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                                "  connector: serialdev,%2,9600n81,local\n")
                     .arg(port)
                     .arg(emulator->LinkPath())
                     .toUtf8());
    config.close();
    ser2net.start(program, {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"),
                            config.fileName(), QStringLiteral("-P"),
                            dir.filePath(QStringLiteral("ser2net.pid"))});
    ASSERT_TRUE(ser2net.waitForStarted());
    QDeadlineTimer up(10000);
    while (!up.hasExpired() && !Listening(port)) QThread::msleep(20);
    ASSERT_TRUE(Listening(port)) << ser2net.readAllStandardError().toStdString();
    address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    QFile settings(dir.filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n2 ; x\r\n");
  }
  // Runs norvel with COM2 behind the device server; its exit code, with its error output kept.
  int Norvel(const QStringList& arguments, QByteArray* out = nullptr, int timeoutMs = 120000) {
    QProcess norvel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), address);
    norvel.setProcessEnvironment(environment);
    norvel.setWorkingDirectory(dir.path());
    norvel.start(QStringLiteral(NORVEL_COMMAND), arguments);
    if (!norvel.waitForFinished(timeoutMs)) {
      norvel.kill();
      norvel.waitForFinished();
      return -1;
    }
    if (out) *out = norvel.readAllStandardOutput();
    errors = norvel.readAllStandardError();
    return norvel.exitCode();
  }
  QByteArray errors;
  // A station in real time behind ser2net, reached through a delay proxy that holds back
  // `holdPercent` of what the program sends.
  std::unique_ptr<DelayProxy> StartBehindAProxy(int holdPercent) {
    station::StationOptions options;
    options.frameGapMs = 50;
    options.realtime = true;
    Start(options);
    auto proxy = std::make_unique<DelayProxy>(
        static_cast<quint16>(address.section(u':', -1).toUInt()), holdPercent);
    address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(proxy->Port());
    return proxy;
  }
  // An image of every byte value (0xFF too), saved as new.cfg for config write.
  QByteArray WriteableImage() {
    QByteArray image(512, '\0');
    for (int i = 0; i < 511; ++i) image[i] = static_cast<char>(i * 7 + 3);
    image[511] = 0x11;
    QFile file(dir.filePath(QStringLiteral("new.cfg")));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(image);
    return image;
  }
  void TearDown() override {
    if (ser2net.state() != QProcess::NotRunning) {
      ser2net.terminate();
      ser2net.waitForFinished(5000);
    }
    if (emulator) emulator->Stop();
  }
};

}  // namespace

// Every call comes through the network, and the station's record area is reset behind them.
TEST_F(NetworkStation, AReceptionThroughADeviceServerStoresEveryCall) {
  station::StationOptions options;
  options.calls = 500;
  options.callDays = 1;
  options.realtime = true;
  options.frameGapMs = 50;
  Start(options);
  QByteArray out;
  ASSERT_EQ(Norvel({QStringLiteral("receive"), QStringLiteral("--json")}, &out), 0)
      << errors.toStdString();
  const QJsonObject result = QJsonDocument::fromJson(out).object();
  EXPECT_EQ(result[QStringLiteral("stored")], 500) << out.toStdString();
  EXPECT_EQ(result[QStringLiteral("reset_confirmed")], true);
  QFile month(dir.filePath(QStringLiteral("Data12.txt")));
  ASSERT_TRUE(month.open(QIODevice::ReadOnly));
  EXPECT_EQ(month.readAll().count("\r\n"), 501);  // the heading and 500 calls
  // A second reception finds the area empty: nothing is stored twice.
  ASSERT_EQ(Norvel({QStringLiteral("receive"), QStringLiteral("--json")}, &out), 0)
      << errors.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(out).object()[QStringLiteral("stored")], 0);
}

// The whole image in one frame, no silence inside it at the station, read back equal; a port
// named with no address is the caller's mistake.
TEST_F(NetworkStation, AWholeImageGoesThroughADeviceServerInOneFrame) {
  station::StationOptions options;
  options.frameGapMs = 50;
  options.replyMarginMs = 0;
  options.realtime = true;
  Start(options);
  const QByteArray image = WriteableImage();
  ASSERT_EQ(Norvel({QStringLiteral("config"), QStringLiteral("write"), QStringLiteral("new.cfg"),
                    QStringLiteral("--yes"), QStringLiteral("--accept-errors")}),
            0)
      << errors.toStdString();
  emulator->Stop();
  EXPECT_EQ(emulator->Memory().mid(1280, 512), image);
  EXPECT_TRUE(emulator->Messages().contains("W 1280, longest silence inside 0.0 ms"));

  address = QStringLiteral("rfc2217://127.0.0.1");
  EXPECT_EQ(Norvel({QStringLiteral("receive"), QStringLiteral("--port"), QStringLiteral("2")}), 2);
  EXPECT_TRUE(errors.contains("is no address rfc2217://HOST:PORT")) << errors.toStdString();
}

// A network that holds back a third of what the program sends for 300 ms: each frame is handed
// over whole, so a held chunk delays a frame, never cuts it.
TEST_F(NetworkStation, StallsOfTheNetworkCutNoFrame) {
  const std::unique_ptr<DelayProxy> proxy = StartBehindAProxy(33);
  const QByteArray image = WriteableImage();
  ASSERT_EQ(Norvel({QStringLiteral("config"), QStringLiteral("write"), QStringLiteral("new.cfg"),
                    QStringLiteral("--yes"), QStringLiteral("--accept-errors")}),
            0)
      << errors.toStdString();
  emulator->Stop();
  EXPECT_GT(proxy->Held(), 3);
  EXPECT_EQ(emulator->Memory().mid(1280, 512), image);
  const QByteArray messages = emulator->Messages();
  EXPECT_TRUE(messages.contains("W 1280, longest silence inside 0.0 ms")) << messages.toStdString();
  EXPECT_FALSE(messages.contains("frame cut")) << messages.toStdString();
}

// The connection lost in the middle of the image frame: the write fails with what the station
// holds and the image from before, and writing that back through a new connection restores it.
TEST_F(NetworkStation, AConnectionLostInTheImageFrameIsAPulledCable) {
  const std::unique_ptr<DelayProxy> proxy = StartBehindAProxy(0);
  WriteableImage();
  QProcess write;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("NORVEL_COM2"), address);
  write.setProcessEnvironment(environment);
  write.setWorkingDirectory(dir.path());
  write.start(
      QStringLiteral(NORVEL_COMMAND),
      {QStringLiteral("config"), QStringLiteral("write"), QStringLiteral("new.cfg"),
       QStringLiteral("--yes"), QStringLiteral("--json"), QStringLiteral("--accept-errors")});
  QDeadlineTimer framed(60000);
  const auto inTheFrame = [&] {
    const QStringList traffic = emulator->Traffic();
    return std::any_of(traffic.begin(), traffic.end(), [](const QString& entry) {
      return entry.startsWith(QStringLiteral("W 1791 ")) && entry != QStringLiteral("W 1791 AA");
    });
  };
  while (!framed.hasExpired() && !inTheFrame()) QThread::msleep(20);
  ASSERT_TRUE(inTheFrame());
  QThread::msleep(3000);
  proxy->Drop();
  ASSERT_TRUE(write.waitForFinished(120000));
  EXPECT_EQ(write.exitCode(), 1) << write.readAllStandardError().toStdString();
  const QByteArray said = write.readAllStandardOutput();
  const QJsonObject json = QJsonDocument::fromJson(said).object();
  // ser2net hangs the line up with the connection, so the station got the frame's start only:
  // the check read, through a new connection, finds the mix a pulled cable leaves.
  EXPECT_EQ(json[QStringLiteral("station_holds")].toString(), QStringLiteral("mixed"))
      << said.toStdString() << write.readAllStandardError().toStdString();
  EXPECT_GT(json[QStringLiteral("new_bytes")].toInt(), 0);
  const QString before = json[QStringLiteral("before")].toString();
  ASSERT_TRUE(before.startsWith(QStringLiteral("history/"))) << said.toStdString();
  ASSERT_EQ(
      Norvel({QStringLiteral("config"), QStringLiteral("write"), before, QStringLiteral("--yes")}),
      0)
      << errors.toStdString();
  emulator->Stop();
  QFile kept(dir.filePath(before));
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(emulator->Memory().mid(1280, 512), kept.readAll());
}

// The doctor follows a network port step by step: the name, the connection, the negotiation,
// both rates as the device server set them, the station; a port nobody listens on is told as
// that, with the device server to start, and the later steps skipped.
TEST_F(NetworkStation, TheDoctorChecksTheWayToAStationBehindADeviceServer) {
  station::StationOptions options;
  options.frameGapMs = 50;
  Start(options);
  QByteArray out;
  EXPECT_EQ(Norvel({QStringLiteral("doctor"), QStringLiteral("--port"), QStringLiteral("2")}, &out),
            0)
      << out.toStdString() << errors.toStdString();
  for (const char* step :
       {"2. a connection to 127.0.0.1:", "3. the device server speaks RFC 2217, answering in ",
        "4. the device server sets 325 and 976 bit/s: OK",
        "5. the station answers, with 2 boards"}) {
    EXPECT_TRUE(out.contains(step)) << step << "\n" << out.toStdString();
  }
  // The address given for the port itself: it stands for the first port no NORVEL_COMn names.
  const quint16 nobody = FreePort();
  const QString unserved = QStringLiteral("rfc2217://127.0.0.1:%1").arg(nobody);
  EXPECT_EQ(Norvel({QStringLiteral("doctor"), QStringLiteral("--port"), unserved}, &out), 1);
  EXPECT_TRUE(out.contains(QStringLiteral("1. COM1 is %1: OK").arg(unserved).toUtf8()))
      << out.toStdString();
  EXPECT_TRUE(
      out.contains(QStringLiteral("2. no connection to 127.0.0.1:%1: ").arg(nobody).toUtf8()))
      << out.toStdString();
  EXPECT_TRUE(out.contains("fix: start the device server (ser2net) on 127.0.0.1"))
      << out.toStdString();
  EXPECT_TRUE(out.contains("5. skipped, the device server cannot be reached")) << out.toStdString();
  EXPECT_EQ(Norvel({QStringLiteral("receive"), QStringLiteral("--port"),
                    QStringLiteral("rfc2217://127.0.0.1:0")}),
            2);
  EXPECT_TRUE(errors.contains("--port rfc2217://127.0.0.1:0 is no address rfc2217://HOST:PORT"))
      << errors.toStdString();
}

// Five stations, each behind its own connection of one device server, collected at once by
// five receptions and synced into one archive: every call stored once, under its station.
TEST(NetworkStations, FiveStationsAreCollectedAtOnceIntoOneArchive) {
  constexpr int kStations = 5;
  const QString program =
      QStandardPaths::findExecutable(QStringLiteral("ser2net"), {QStringLiteral("/usr/sbin")});
  ASSERT_FALSE(program.isEmpty()) << "ser2net is not installed (scripts/setup.sh installs it)";
  QTemporaryDir work;
  std::vector<std::unique_ptr<EmulatorProcess>> emulators;
  std::vector<std::unique_ptr<QTemporaryDir>> dirs;
  QStringList addresses;
  QByteArray config;
  int expected = 0;
  for (int i = 0; i < kStations; ++i) {
    station::StationOptions options;
    options.calls = 20 + i;
    options.callDays = 1;
    options.seed = 11 + static_cast<std::uint32_t>(i);
    options.realtime = true;
    options.frameGapMs = 50;
    expected += options.calls;
    emulators.push_back(std::make_unique<EmulatorProcess>(options));
    ASSERT_TRUE(emulators.back()->Start());
    const quint16 port = FreePort();
    addresses << QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    config += QStringLiteral(
                  "connection: &station%1\n"
                  "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                  "  connector: serialdev,%3,9600n81,local\n")
                  .arg(i)
                  .arg(port)
                  .arg(emulators.back()->LinkPath())
                  .toUtf8();
    dirs.push_back(std::make_unique<QTemporaryDir>());
    QFile settings(dirs.back()->filePath(QStringLiteral("NorvelWin.ini")));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("30.11.2026 18:00:05 ; x\r\n2 ; x\r\n2 ; x\r\n");
  }
  QFile file(work.filePath(QStringLiteral("ser2net.yaml")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(config);
  file.close();
  QProcess ser2net;
  ser2net.start(program,
                {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), file.fileName(),
                 QStringLiteral("-P"), work.filePath(QStringLiteral("ser2net.pid"))});
  ASSERT_TRUE(ser2net.waitForStarted());
  QDeadlineTimer up(10000);
  const auto allListening = [&] {
    return std::all_of(addresses.begin(), addresses.end(), [](const QString& address) {
      return Listening(static_cast<quint16>(address.section(u':', -1).toUInt()));
    });
  };
  while (!up.hasExpired() && !allListening()) QThread::msleep(20);
  ASSERT_TRUE(allListening()) << ser2net.readAllStandardError().toStdString();
  // The five receptions at once, each of its own directory and station.
  const auto norvel = [&](int i, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("NORVEL_COM2"), addresses[i]);
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(dirs[static_cast<size_t>(i)]->path());
    process->start(QStringLiteral(NORVEL_COMMAND), arguments);
    return process;
  };
  std::vector<std::unique_ptr<QProcess>> receptions;
  for (int i = 0; i < kStations; ++i) receptions.push_back(norvel(i, {QStringLiteral("receive")}));
  for (auto& reception : receptions) {
    ASSERT_TRUE(reception->waitForFinished(180000));
    EXPECT_EQ(reception->exitCode(), 0) << reception->readAllStandardError().toStdString();
  }
  const QString archive = QStringLiteral("sqlite:") + work.filePath(QStringLiteral("calls.db"));
  for (int i = 0; i < kStations; ++i) {
    auto sync =
        norvel(i, {QStringLiteral("sync"), QStringLiteral("--init"), QStringLiteral("--db"),
                   archive, QStringLiteral("--station"), QStringLiteral("office%1").arg(i + 1)});
    ASSERT_TRUE(sync->waitForFinished(60000));
    EXPECT_EQ(sync->exitCode(), 0) << sync->readAllStandardError().toStdString();
  }
  ser2net.terminate();
  ser2net.waitForFinished(5000);
  for (auto& emulator : emulators) emulator->Stop();
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("five"));
  db.setDatabaseName(archive.mid(7));
  ASSERT_TRUE(db.open());
  {
    QSqlQuery count(QStringLiteral("SELECT station, COUNT(*), COUNT(DISTINCT start || record || "
                                   "occurrence) FROM calls GROUP BY station ORDER BY station"),
                    db);
    int total = 0;
    for (int i = 0; i < kStations; ++i) {
      ASSERT_TRUE(count.next());
      EXPECT_EQ(count.value(0).toString(), QStringLiteral("office%1").arg(i + 1));
      EXPECT_EQ(count.value(1).toInt(), 20 + i);
      EXPECT_EQ(count.value(2).toInt(), 20 + i);
      total += count.value(1).toInt();
    }
    EXPECT_FALSE(count.next());
    EXPECT_EQ(total, expected);
  }
  db.close();
  db = QSqlDatabase();
  QSqlDatabase::removeDatabase(QStringLiteral("five"));
}
