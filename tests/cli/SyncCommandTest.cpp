// norvel sync as a timer runs it: the station's name chosen once and kept, the summary line or
// JSON, and exit codes that tell a server to try again later from a database that needs a
// person.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeSerial.h"
#include "cli/NorvelCommand.h"
#include "core/files/CallRecords.h"
#include "core/files/DataFiles.h"
#include "core/files/TextFiles.h"
#include "core/sync/CallSync.h"
#include "core/sync/StationIdentity.h"

namespace {

struct SyncCommand : ::testing::Test {
  FakeClock clock{MakeDateTime(QDate(2026, 12, 7), QTime(3, 0))};
  FakePorts ports;
  QTemporaryDir dir;
  QBuffer out;
  QBuffer err;

  void SetUp() override {
    CallRecord r;
    r.StartTime = MakeDateTime(QDate(2026, 12, 1), QTime(9, 0));
    r.Subscriber = 20;
    r.Duration = 3;
    r.CityLine = 1;
    r.CallType = 1;
    r.DialledNumber = QStringLiteral("2345678");
    QFile month(dir.filePath(DataFileName(12)));
    ASSERT_TRUE(month.open(QIODevice::WriteOnly));
    month.write(EncodeCp1251(kDataFileHeader + QStringLiteral("\r\n") + CallRecordToText(r) +
                             QStringLiteral("\r\n")));
  }
  int Run(const QStringList& arguments) {
    out.close();
    err.close();
    out.setData({});
    err.setData({});
    out.open(QIODevice::ReadWrite);
    err.open(QIODevice::ReadWrite);
    CommandIo io{clock, ports, out, err, false, dir.path()};
    return RunNorvel(arguments, io);
  }
  QString Out() const { return QString::fromUtf8(out.data()); }
  QString Err() const { return QString::fromUtf8(err.data()); }
};

}  // namespace

TEST_F(SyncCommand, TheNameIsKeptOnlyOnceTheDatabaseHasTakenIt) {
  // No tables yet: a database that needs a person, and no name chosen.
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--station", "office1"}), 13);
  EXPECT_TRUE(Err().contains(QStringLiteral("--init"))) << Err().toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(QString::fromLatin1(kStationFileName))));

  EXPECT_EQ(Run({"sync", "--db=sqlite:calls.db", "--init", "--station=office1"}), 0);
  EXPECT_EQ(Out(), QStringLiteral("synced 1 calls of office1: Data12.txt 1\n"));
  EXPECT_TRUE(Err().contains(QStringLiteral("«office1»")));
  EXPECT_EQ(ReadStationIdentity(dir.path()).name, QStringLiteral("office1"));

  // Later runs need no name, and another name is refused rather than splitting the station.
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--json"}), 0);
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json.value(QStringLiteral("station")).toString(), QStringLiteral("office1"));
  EXPECT_EQ(json.value(QStringLiteral("added")).toInt(), 0);
  EXPECT_EQ(json.value(QStringLiteral("unchanged")).toInt(), 1);
  EXPECT_EQ(json.value(QStringLiteral("reason")).toString(), QStringLiteral("synced"));
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--station", "office2"}), 2);
  EXPECT_TRUE(Err().contains(QStringLiteral("station 'office1'"))) << Err().toStdString();
}

TEST_F(SyncCommand, ANameIsMadeWhenNoneIsGivenAndUsageMistakesAreExitTwo) {
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--init", "-q"}), 0);
  EXPECT_EQ(Out(), QString());
  const StationIdentity identity = ReadStationIdentity(dir.path());
  EXPECT_TRUE(ValidStationName(identity.name)) << identity.name.toStdString();
  EXPECT_FALSE(identity.id.isEmpty());

  EXPECT_EQ(Run({"sync"}), 2);
  EXPECT_EQ(Run({"sync", "--db", "mysql://x@y/z"}), 2);
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--station", "a b"}), 2);
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--timezone", "Mars/Olympus"}), 2);
}

TEST_F(SyncCommand, AServerThatIsNotThereIsTryAgainAndItsOwnWordsAreShown) {
  QTemporaryDir nowhere;
  const QString url = QStringLiteral("postgresql://norvel@/calls?host=") + nowhere.path();
  EXPECT_EQ(Run({"sync", "--db", url, "--station", "office1", "--json"}), 1);
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json.value(QStringLiteral("exit_code")).toInt(), 1);
  EXPECT_EQ(json.value(QStringLiteral("reason")).toString(),
            QStringLiteral("database_unreachable"));
  // libpq's own text names the socket it tried.
  EXPECT_TRUE(Err().contains(nowhere.path() + QStringLiteral("/.s.PGSQL.5432")))
      << Err().toStdString();
  EXPECT_FALSE(QFile::exists(dir.filePath(QString::fromLatin1(kStationFileName))));
}

// norvel status shows how the last sync into each database ended, and keeps one entry per
// database however often each is synced.
TEST_F(SyncCommand, StatusShowsTheLastSyncIntoEachDatabase) {
  QTemporaryDir nowhere;
  const QString server = QStringLiteral("postgresql://norvel@/calls?host=") + nowhere.path();
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--init", "--station", "office1"}), 0);
  EXPECT_EQ(Run({"sync", "--db", server}), 1);
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db"}), 0);
  Run({"status", "--json"});
  const QJsonObject syncs =
      QJsonDocument::fromJson(out.data()).object().value(QStringLiteral("last_syncs")).toObject();
  ASSERT_EQ(syncs.size(), 2) << Out().toStdString();
  const QJsonObject file =
      syncs.value(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("calls.db"))).toObject();
  EXPECT_EQ(file.value(QStringLiteral("unchanged")).toInt(), 1) << Out().toStdString();
  EXPECT_EQ(file.value(QStringLiteral("time")).toString(), QStringLiteral("2026-12-07T03:00:00"));
  const QJsonObject lost = syncs.value(server).toObject();
  EXPECT_EQ(lost.value(QStringLiteral("reason")).toString(),
            QStringLiteral("database_unreachable"));
  Run({"status"});
  EXPECT_TRUE(Out().contains(QStringLiteral("last sync to ") + server)) << Out().toStdString();
  // The directory's last reception goes with each run into the database.
  QFile reception(dir.filePath(QStringLiteral("NorvelLastReception.json")));
  ASSERT_TRUE(reception.open(QIODevice::WriteOnly));
  reception.write(R"({"reason": "no_answer", "time": "2026-12-07T02:00:00"})");
  reception.close();
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db"}), 0);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("look"));
  db.setDatabaseName(dir.filePath(QStringLiteral("calls.db")));
  ASSERT_TRUE(db.open());
  QSqlQuery last(db);
  ASSERT_TRUE(
      last.exec(QStringLiteral("SELECT reception_at, reception_result FROM sync_runs ORDER BY "
                               "finished_at DESC, rowid DESC")));
  ASSERT_TRUE(last.next());
  EXPECT_EQ(last.value(0).toString() + u'|' + last.value(1).toString(),
            QStringLiteral("2026-12-07T02:00:00|no_answer"));
  last.finish();
  db.close();
  db = QSqlDatabase();
  QSqlDatabase::removeDatabase(QStringLiteral("look"));
}

// A lost NorvelStation.txt does not fork the station: the directory is known by its host and
// path, takes its registration back and stores nothing twice; another name for it is refused.
TEST_F(SyncCommand, ALostIdentityFileIsTakenBackFromTheDatabase) {
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--init", "--station", "office1"}), 0);
  const StationIdentity first = ReadStationIdentity(dir.path());
  ASSERT_TRUE(QFile::remove(dir.filePath(QString::fromLatin1(kStationFileName))));
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--station", "office2"}), 13);
  EXPECT_TRUE(Err().contains(QStringLiteral("«office1»"))) << Err().toStdString();
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db"}), 0) << Err().toStdString();
  EXPECT_EQ(Out(), QStringLiteral("synced 0 calls of office1\n"));
  const StationIdentity back = ReadStationIdentity(dir.path());
  EXPECT_EQ(back.name, first.name);
  EXPECT_EQ(back.id, first.id);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
  db.setDatabaseName(dir.filePath(QStringLiteral("calls.db")));
  ASSERT_TRUE(db.open());
  QSqlQuery count(QStringLiteral("SELECT (SELECT COUNT(*) FROM stations), COUNT(*) FROM calls"),
                  db);
  ASSERT_TRUE(count.next());
  EXPECT_EQ(count.value(0).toInt(), 1);
  EXPECT_EQ(count.value(1).toInt(), 1);
}

// One bad line costs only its own month: December is synced though January cannot be, and the
// exit code says a month needs a person.
// Alerts the database refuses need a person, with a reason of their own; the calls are stored.
TEST_F(SyncCommand, RefusedAlertsAreExitThirteenWithTheirOwnReason) {
  ASSERT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--init", "--station", "office1"}), 0);
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("t"));
    db.setDatabaseName(dir.filePath(QStringLiteral("calls.db")));
    ASSERT_TRUE(db.open());
    QSqlQuery(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON alerts BEGIN "
                             "SELECT RAISE(ABORT, 'refused here'); END"),
              db);
  }
  QSqlDatabase::removeDatabase(QStringLiteral("t"));
  QFile november(dir.filePath(DataFileName(11)));
  ASSERT_TRUE(november.open(QIODevice::WriteOnly));
  november.write(EncodeCp1251(kDataFileHeader) +
                 "\r\n05.11.2026 3:15\t31\t12\t2\t1\t81044207946000\r\n");
  november.close();
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--json"}), 13);
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json.value(QStringLiteral("reason")).toString(), QStringLiteral("alerts_not_stored"));
  EXPECT_EQ(json.value(QStringLiteral("added")).toInt(), 1);
  EXPECT_TRUE(Err().contains(QStringLiteral("Data11.txt"))) << Err().toStdString();
}

TEST_F(SyncCommand, ABadLineInOneMonthLeavesTheOthersSynced) {
  QFile january(dir.filePath(DataFileName(1)));
  ASSERT_TRUE(january.open(QIODevice::WriteOnly));
  january.write("h\r\nno call at all\r\n");
  january.close();
  EXPECT_EQ(Run({"sync", "--db", "sqlite:calls.db", "--init", "--station", "office1", "--json"}),
            13);
  const QJsonObject json = QJsonDocument::fromJson(out.data()).object();
  EXPECT_EQ(json.value(QStringLiteral("added")).toInt(), 1) << Out().toStdString();
  EXPECT_TRUE(Err().contains(QStringLiteral("Data 1.txt"))) << Err().toStdString();
  EXPECT_TRUE(Err().contains(QStringLiteral("файлов месяцев не записано: 1")));
}
