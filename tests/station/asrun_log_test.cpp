// The as-run log: its CSV rows and files on their own, then written by the running station
// (real controller, decks on the null device, the fake speech engine, generated songs).
#include "InProcessStation.h"
#include "PlayoutFakes.h"
#include "TestSupport.h"
#include "audio/SoundDevice.h"
#include "core/IniFile.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/SystemClockSetter.h"
#include "station/AsRunLog.h"
#include "station/StationController.h"
#include "voice/speech/DJSpeech.h"
#include "voice/speech/FakeSpeechEngine.h"
#include "voice/speech/SpeechMarkup.h"
#include "voice/speech/TTSBufNotifySink.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

// The rows of a CSV file as Python's csv module reads them.
QList<QStringList> readWithPythonCsv(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv, json, sys\n"
                                 "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                 "    print(json.dumps(list(csv.reader(f, strict=True))))\n"),
                  path});
    QList<QStringList> rows;
    if (!python.waitForFinished(20000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 csv: " << python.readAllStandardError().toStdString();
        return rows;
    }
    const QJsonArray array = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const QJsonValue& row : array) {
        QStringList fields;
        for (const QJsonValue& f : row.toArray())
            fields << f.toString();
        rows << fields;
    }
    return rows;
}

TEST(AsRunLogTest, QuotesOnlyWhatNeedsIt) {
    const struct {
        QStringList fields;
        const char* record;
    } cases[] = {
        {{"a", "b c", ""}, "a,b c,"},
        {{"Birch, Jr", "Two"}, "\"Birch, Jr\",Two"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"two\nlines", "cr\rhere"}, "\"two\nlines\",\"cr\rhere\""},
        {{"Motörhead"}, "Motörhead"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AsRunLog::csvRecord(c.fields), QString::fromUtf8(c.record));
}

TEST(AsRunLogTest, TimesCarryTheirZoneOffset) {
    const QDate d(2026, 12, 10);
    const QTime t(9, 5, 7);
    EXPECT_EQ(AsRunLog::isoTime(QDateTime(d, t, QTimeZone(3600))),
              QStringLiteral("2026-12-10T09:05:07+01:00"));
    EXPECT_EQ(AsRunLog::isoTime(QDateTime(d, t, QTimeZone(-(5 * 3600 + 1800)))),
              QStringLiteral("2026-12-10T09:05:07-05:30"));
    EXPECT_EQ(AsRunLog::isoTime(QDateTime(d, t, QTimeZone::utc())),
              QStringLiteral("2026-12-10T09:05:07+00:00"));
}

TEST(AsRunLogTest, TalkTextLosesItsSpeechTags) {
    EXPECT_EQ(AsRunLog::plainSpeech(QStringLiteral("That was\\Pau=300\\ One, \\Emp\\ by "
                                                   "Alder.\\Mrk=1\\ Next, Two.")),
              QStringLiteral("That was One, by Alder. Next, Two."));
}

TEST(AsRunLogTest, RowsAreAppendedWhenItemsEndWithTheHeaderOnce) {
    TempFolder folder;
    qint64 ms = 0;
    const QString logs = AsRunLog::folderIn(folder.path());
    const QDateTime nine(QDate(2026, 12, 10), QTime(9, 0), QTimeZone(3600));
    {
        AsRunLog log(logs, [&] { return ms; });
        AsRunItem song;
        song.slot = QStringLiteral("Morning");
        song.dj = QStringLiteral("Joe Early");
        song.artist = QStringLiteral("Birch, Jr");
        song.title = QStringLiteral("Two \"Live\"");
        song.file = QStringLiteral("/songs/Birch, Jr - Two \"Live\".mp3");
        log.started(AsRunLog::Deck1, song, nine);
        ms = 10000;
        log.paused(AsRunLog::Deck1);
        ms = 70000; // a minute paused is not heard
        log.resumed(AsRunLog::Deck1);
        AsRunItem talk;
        talk.kind = AsRunKind::Talk;
        talk.text = QStringLiteral("That was Two, from Birch.");
        log.started(AsRunLog::Voice, talk, nine.addSecs(70));
        ms = 75500;
        log.ended(AsRunLog::Deck1, nine.addSecs(75));
        EXPECT_FALSE(log.isOpen(AsRunLog::Deck1));
        EXPECT_TRUE(log.isOpen(AsRunLog::Voice));
        log.ended(AsRunLog::Deck1, nine.addSecs(76)); // nothing open there: no row
        ASSERT_TRUE(log.lastError().isEmpty()) << log.lastError().toStdString();
        EXPECT_EQ(readWholeFile(log.fileFor(nine.date())).count("\r\n"), 2);
        ms = 80000;
        log.endAll(nine.addSecs(80)); // the close cuts the talk
    }
    {
        AsRunLog again(logs, [&] { return ms; }); // the next run appends
        AsRunItem test;
        test.kind = AsRunKind::VoiceTest;
        again.started(AsRunLog::Voice, test, nine.addSecs(90));
        ms = 82000;
        again.ended(AsRunLog::Voice, nine.addSecs(92));
    }
    const QString file = logs + QStringLiteral("2026-12-10.csv");
    const QList<QStringList> rows = readWithPythonCsv(file);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], AsRunLog::columns());
    EXPECT_EQ(rows[0].join(u','),
              QStringLiteral("start,end,seconds,kind,slot,dj,artist,title,file,text"));
    EXPECT_EQ(rows[1], (QStringList{"2026-12-10T09:00:00+01:00", "2026-12-10T09:01:15+01:00",
                                    "15.5", "song", "Morning", "Joe Early", "Birch, Jr",
                                    "Two \"Live\"", "/songs/Birch, Jr - Two \"Live\".mp3", ""}));
    EXPECT_EQ(rows[2][3], QStringLiteral("talk"));
    EXPECT_EQ(rows[2][2], QStringLiteral("10.0"));
    EXPECT_EQ(rows[2][9], QStringLiteral("That was Two, from Birch."));
    EXPECT_EQ(rows[3][3], QStringLiteral("voicetest"));
    EXPECT_EQ(rows[3][2], QStringLiteral("2.0"));
}

TEST(AsRunLogTest, OldDayFilesGoAndNothingElse) {
    TempFolder folder;
    const QString logs = AsRunLog::folderIn(folder.path());
    ASSERT_TRUE(QDir().mkpath(logs));
    for (const char* name :
         {"2026-09-10.csv", "2026-09-11.csv", "2026-12-09.csv", "notes.csv", "2020-01-01.txt"})
        writeWholeFile(logs + QString::fromLatin1(name), "x");
    AsRunLog log(logs);
    EXPECT_EQ(log.removeOlderThan(90, QDate(2026, 12, 10)), 1);
    EXPECT_FALSE(QFile::exists(logs + QStringLiteral("2026-09-10.csv")));
    for (const char* kept : {"2026-09-11.csv", "2026-12-09.csv", "notes.csv", "2020-01-01.txt"})
        EXPECT_TRUE(QFile::exists(logs + QString::fromLatin1(kept))) << kept;
}

TEST(AsRunLogTest, OffWritesNothing) {
    TempFolder folder;
    AsRunLog log(AsRunLog::folderIn(folder.path()));
    log.setEnabled(false);
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 0));
    log.started(AsRunLog::Deck2, AsRunItem{}, now);
    log.ended(AsRunLog::Deck2, now);
    EXPECT_FALSE(QFile::exists(log.fileFor(now.date())));
}

// A disk that fills up and frees again: what a write(2) gives back on it.
enum class Disk { Fine, FillsMidRow, Full };

class DiskLog {
public:
    explicit DiskLog(const QString& folder)
        : log(
              folder, [this] { return ms; },
              AsRunLog::Output{[this](int fd, const char* data, std::size_t size) -> ssize_t {
                                   switch (disk) {
                                   case Disk::Fine:
                                       return ::write(fd, data, size);
                                   case Disk::FillsMidRow:
                                       return ::write(fd, data, size * 2 / 3);
                                   case Disk::Full:
                                       break;
                                   }
                                   errno = ENOSPC;
                                   return -1;
                               },
                               [this](const QString& line) { warnings << line; }}) {}

    // One item of `seconds` from 9:00 + `at` seconds, ended at once.
    void play(AsRunKind kind, const QString& file, int at, int seconds = 2) {
        AsRunItem item;
        item.kind = kind;
        item.file = file;
        item.text = kind == AsRunKind::Song ? QString() : QStringLiteral("That was it.");
        log.started(AsRunLog::Deck1, item, nine.addSecs(at));
        ms += seconds * 1000;
        log.ended(AsRunLog::Deck1, nine.addSecs(at + seconds));
    }

    const QDateTime nine{QDate(2026, 12, 10), QTime(9, 0), QTimeZone(3600)};
    Disk disk = Disk::Fine;
    qint64 ms = 0;
    QStringList warnings;
    AsRunLog log;
};

TEST(AsRunLogTest, AFullDiskLosesWholeRowsAndSaysSo) {
    TempFolder folder;
    DiskLog d(AsRunLog::folderIn(folder.path()));
    d.play(AsRunKind::Song, QStringLiteral("/songs/Alder - One.mp3"), 0);
    d.disk = Disk::FillsMidRow; // a part of the row fits, then the disk is full
    d.play(AsRunKind::Talk, {}, 10);
    d.disk = Disk::Full;
    d.play(AsRunKind::Song, QStringLiteral("/songs/Birch - Two.mp3"), 20);
    EXPECT_EQ(d.log.rowsLost(), 2);
    EXPECT_FALSE(d.log.lastError().isEmpty());
    const QString file = d.log.fileFor(d.nine.date());
    const QByteArray before = readWholeFile(file);
    EXPECT_TRUE(before.endsWith("\r\n")) << before.toStdString();
    EXPECT_EQ(before.count("\r\n"), 2) << "the header and the first row, nothing of the others";

    d.disk = Disk::Fine; // space again
    d.play(AsRunKind::Song, QStringLiteral("/songs/Gum - Three.mp3"), 30);
    EXPECT_EQ(d.log.rowsLost(), 0);
    EXPECT_TRUE(d.log.lastError().isEmpty());
    const QList<QStringList> rows = readWithPythonCsv(file);
    ASSERT_EQ(rows.size(), 3);
    for (const QStringList& r : rows)
        EXPECT_EQ(r.size(), 10) << r.join(u'|').toStdString();
    EXPECT_EQ(rows[1][8], QStringLiteral("/songs/Alder - One.mp3"));
    EXPECT_EQ(rows[2][8], QStringLiteral("/songs/Gum - Three.mp3"));

    ASSERT_EQ(d.warnings.size(), 3) << d.warnings.join(u'\n').toStdString();
    EXPECT_TRUE(d.warnings[0].contains(QStringLiteral("talk row that started at "
                                                      "2026-12-10T09:00:10+01:00 is lost")))
        << d.warnings[0].toStdString();
    EXPECT_TRUE(d.warnings[1].contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << d.warnings[1].toStdString();
    EXPECT_TRUE(d.warnings[2].contains(QStringLiteral("2 row(s) were lost")))
        << d.warnings[2].toStdString();
}

// A half row that is already there (the disk filled under an older program, or it could not be
// taken back) stays on its own line; the next row is whole.
TEST(AsRunLogTest, NextRowStartsOnAFreshLineAfterAHalfRow) {
    TempFolder folder;
    DiskLog d(AsRunLog::folderIn(folder.path()));
    ASSERT_TRUE(QDir().mkpath(d.log.folder()));
    const QByteArray half = AsRunLog::csvRecord(AsRunLog::columns()).toUtf8() +
                            "\r\n2026-12-10T08:59:00+01:00,2026-12-10T08:59:02+01:00,2.5,voic";
    writeWholeFile(d.log.fileFor(d.nine.date()), half);
    d.play(AsRunKind::VoiceTest, {}, 0);
    const QByteArray bytes = readWholeFile(d.log.fileFor(d.nine.date()));
    EXPECT_TRUE(bytes.startsWith(half + "\r\n2026-12-10T09:00:00+01:00,")) << bytes.toStdString();
    const QList<QStringList> rows = readWithPythonCsv(d.log.fileFor(d.nine.date()));
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2].size(), 10);
    EXPECT_EQ(rows[2][3], QStringLiteral("voicetest"));
}

// A song path that is not UTF-8 (a Latin-1 name) is written as its bytes, as the play lists keep
// it, not with "?" in place of its letters.
TEST(AsRunLogTest, PathsKeepTheirBytes) {
    TempFolder folder;
    DiskLog d(AsRunLog::folderIn(folder.path()));
    const QByteArray latin1 = "/songs/Caf\xe9, Ol\xe9 - Ni\xf1"
                              "a.mp3";
    d.play(AsRunKind::Song, fileNameFromNative(latin1), 0);
    const QByteArray bytes = readWholeFile(d.log.fileFor(d.nine.date()));
    EXPECT_TRUE(bytes.contains(",\"" + latin1 + "\",")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains('?'));
}

// --- the running station --------------------------------------------------------------------

const QString kFakeVoice = QStringLiteral("Fake Voice");
const QString kQuotedSong = QStringLiteral("Birch, Jr - Two \"Live\".mp3");

class NoShell final : public StationShell {
public:
    void setWindowPosition(int, int) override {}
    int windowTop() const override { return 0; }
    int windowLeft() const override { return 0; }
    void askZipCode(StationSettings& settings) override {
        settings.ZipCode = QStringLiteral("12345");
    }
    void terminate() override {}
    void beep() override {}
};

class AsRunStation : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"CVRSystem.dat", "Phrases.dat", "NewsDef.ini"})
            ASSERT_TRUE(QFile::copy(sourceDir() + "/data/" + name, program.file(name)));
        const struct {
            QString name;
            double seconds;
        } songs[] = {{QStringLiteral("Alder - One.mp3"), 2.0},
                     {kQuotedSong, 2.0},
                     {QStringLiteral("Gum - Long.mp3"), 9.0}};
        for (const auto& s : songs)
            ASSERT_TRUE(runTool(
                QStringLiteral("ffmpeg"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                 QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                 QStringLiteral("sine=frequency=440:sample_rate=44100:duration=%1").arg(s.seconds),
                 QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                 QStringLiteral("libmp3lame"), songsFolder.file(s.name)}));
        QByteArray lst;
        for (const auto& s : songs)
            lst += "F" + songsFolder.file(s.name).toUtf8() + "\r\n";
        writeWholeFile(program.file(QStringLiteral("slot.lst")), lst);

        SettingsStore store(paths());
        StationSettings s = defaultSettings(program.path(), QTime(9, 0));
        s.StartPlay = false;
        s.ArtistSource = asFileName;
        s.StationIdentification = QStringLiteral("Radio Test");
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
            dj.PlayList = program.file(QStringLiteral("slot.lst"));
            dj.SpeechEngine = kFakeVoice;
            dj.FrequencyType = ftSongs;
            dj.FrequencySongs = 2;
            dj.ListOrder = loOriginal;
        }
        s.DJSlots[kNewsSlot].FrequencyType = ftNever;
        s.ReadNews = false;
        s.ReadWeather = false;
        s.ZipCode = QStringLiteral("54321");
        ASSERT_TRUE(store.writeManagerOK(s));
        ASSERT_TRUE(store.writeZipCode(s));
    }

    SettingsPaths paths() const { return SettingsPaths{program.path(), config.path()}; }
    QString logFile() const {
        return AsRunLog::folderIn(program.path()) + QStringLiteral("2026-12-10.csv");
    }

    void start() {
        StationEnvironment env =
            fakeStationEnvironment(paths(), clock, random, clockSetter, {kFakeVoice}, speech);
        env.makeTimer = [](std::function<void()> f) {
            return std::make_unique<FastTimer>(std::move(f));
        };
        env.asRunLog = std::make_shared<AsRunLog>(AsRunLog::folderIn(program.path()));
        station = std::make_unique<StationController>(std::move(env), view, shell);
        ASSERT_TRUE(finishStartUp(*station, speech));
    }

    bool songStarted(const QString& titleStart) {
        const bool ok = waitFor([&] {
            const int p = station->state().ActivePlayer;
            // Lime: the deck has started it (it may already have ended on a slow machine).
            return view.titleColour(p) == colours::lime && view.title[p].startsWith(titleStart);
        });
        if (!ok) {
            const int p = station->state().ActivePlayer;
            ADD_FAILURE() << "waiting for " << titleStart.toStdString() << ": player " << p
                          << " shows '" << view.title[p].toStdString() << "', state "
                          << int(station->sequencer().deckState(p)) << ", boxes "
                          << view.timerBoxes.size() << ", messages " << view.messages.size()
                          << (view.messages.empty()
                                  ? std::string()
                                  : " " + view.messages.back().text.toStdString());
        }
        return ok;
    }

    TempFolder program;
    TempFolder config;
    TempFolder songsFolder;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(9, 0))};
    StandardRandom random{7};
    FakeSystemClockSetter clockSetter;
    FakeView view;
    NoShell shell;
    FakeSpeechEngine* speech = nullptr;
    std::unique_ptr<StationController> station;
};

TEST_F(AsRunStation, ListsEverySongAndTalkAndTheSongCutByNext) {
    // Older than the 90 days kept: removed at start.
    const QString logs = AsRunLog::folderIn(program.path());
    ASSERT_TRUE(QDir().mkpath(logs));
    writeWholeFile(logs + QStringLiteral("2026-08-01.csv"), "old");
    writeWholeFile(logs + QStringLiteral("2026-11-01.csv"), "recent");
    start();
    EXPECT_FALSE(QFile::exists(logs + QStringLiteral("2026-08-01.csv")));
    EXPECT_TRUE(QFile::exists(logs + QStringLiteral("2026-11-01.csv")));

    station->command(StationCommand::Play);
    ASSERT_TRUE(songStarted(QStringLiteral("One")));
    // The counts start full: the DJ talks after the first song and brings in the second.
    ASSERT_TRUE(waitFor([&] { return speech->requests().size() >= 2; }));
    speech->start();
    clock.advanceMs(1000);
    speech->reachBookmark(kIntroMark);
    ASSERT_TRUE(songStarted(QStringLiteral("Two")));
    speech->finish();
    // One counted song since the talk: the long one follows; Next cuts it early.
    ASSERT_TRUE(songStarted(QStringLiteral("Long")));
    ASSERT_TRUE(waitFor([&] { return view.isButtonEnabled(TransportButton::Next); }));
    station->command(StationCommand::Next);
    ASSERT_TRUE(waitFor([&] { return speech->requests().size() >= 3; }, 15000));

    // Every ended item is on disk already, before the station closes.
    QList<QStringList> rows = readWithPythonCsv(logFile());
    ASSERT_GE(rows.size(), 6);
    station->FormClose();
    station.reset();
    rows = readWithPythonCsv(logFile());
    ASSERT_GE(rows.size(), 6);
    EXPECT_EQ(rows[0], AsRunLog::columns());
    QStringList kinds;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 10) << rows[i].join(u'|').toStdString();
        kinds << rows[i][3];
    }
    // The start-up voice test, the first song (it ends while the DJ talks), the talk...
    EXPECT_EQ(kinds.mid(0, 3), (QStringList{QStringLiteral("voicetest"), QStringLiteral("song"),
                                            QStringLiteral("talk")}));
    EXPECT_EQ(rows[1][9], QString::fromLatin1(kDJTestSentence));
    EXPECT_EQ(rows[2][6], QStringLiteral("Alder"));
    EXPECT_EQ(rows[2][7], QStringLiteral("One"));
    EXPECT_EQ(rows[2][4], QStringLiteral("Morning"));
    EXPECT_EQ(rows[2][5], QStringLiteral("Joe Early"));
    EXPECT_TRUE(rows[3][9].contains(QStringLiteral("One"))) << rows[3][9].toStdString();
    EXPECT_FALSE(rows[3][9].contains(u'\\')) << rows[3][9].toStdString();
    // ...the song with a comma and quotes in its name, and the long one cut by Next.
    const auto song = [&](const QString& title) -> QStringList {
        for (const QStringList& r : rows)
            if (r[3] == QLatin1String("song") && r[7] == title)
                return r;
        return {};
    };
    const QStringList quoted = song(QStringLiteral("Two \"Live\""));
    ASSERT_FALSE(quoted.isEmpty());
    EXPECT_EQ(quoted[6], QStringLiteral("Birch, Jr"));
    EXPECT_EQ(quoted[8], songsFolder.file(kQuotedSong));
    const QStringList cut = song(QStringLiteral("Long"));
    ASSERT_FALSE(cut.isEmpty());
    const double heard = cut[2].toDouble();
    EXPECT_GT(heard, 0.5);
    EXPECT_LT(heard, 8.5); // the 9 s song did not play out
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^2026-12-10T09:00:0\\d[+-]\\d\\d:\\d\\d$"))
                    .match(cut[0])
                    .hasMatch())
        << cut[0].toStdString();
}

TEST_F(AsRunStation, ClosingCutsWhatIsOnTheAirAndTheLogCanBeTurnedOff) {
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(songStarted(QStringLiteral("One")));
    station->FormClose();
    station.reset(); // the song still fading is written as the station goes
    QList<QStringList> rows = readWithPythonCsv(logFile());
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(rows[2][3], QStringLiteral("song"));
    EXPECT_EQ(rows[2][7], QStringLiteral("One"));

    ASSERT_TRUE(SettingsStore(paths()).update(false, [](IniFile& ini) {
        ini.writeBool(QStringLiteral("Log"), QStringLiteral("Enabled"), false);
    }));
    start();
    station->command(StationCommand::Play);
    ASSERT_TRUE(songStarted(QStringLiteral("One")));
    station->FormClose();
    station.reset();
    EXPECT_EQ(readWithPythonCsv(logFile()).size(), 3);
}

} // namespace
