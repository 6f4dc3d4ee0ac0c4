// The installed station: `cmake --install` into a temporary prefix, then the installed program
// started with temporary HOME and XDG folders (offscreen, null sound output). The first start lays
// out the operator's station folder and plays a sample song; SIGTERM saves; a second start, from
// the prefix moved elsewhere (nothing points back into the build tree), finds everything in place.
#include "ProgramProcess.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <csignal>
#include <gtest/gtest.h>

using namespace corvalin::test;
using namespace Qt::StringLiterals;

namespace {

class Installed : public ::testing::Test {
protected:
    // The shortest cross-fade brings a song's first tick (the overlap and 2 s after its start)
    // forward from 8 s to 3 s.
    void SetUp() override {
        ASSERT_TRUE(layOutStationRoot(root.path(), kStationIni + "[General]\r\nCrossFade=1\r\n"));
    }
    QString settings() const { return root.file(u"config/CorvalinRadio/CorvalinRadio.ini"_s); }
    QString station() const { return root.file(u"data/CorvalinRadio/"_s); }
    QString trace() const { return root.file(u"trace.txt"_s); }

    // Starts the program in `prefix`, waits for a song to start, then ends it with SIGTERM.
    void playOnce(const QString& prefix, int songStarts) {
        // Rows marked played in all lists; this start must mark one more.
        const auto markedRows = [&] {
            const QDir lists(station() + u"Lists"_s);
            qsizetype rows = 0;
            for (const QString& list : lists.entryList({u"*.lst"_s}, QDir::Files))
                rows += readWholeFile(lists.filePath(list)).count("TMP3 Files/");
            return rows;
        };
        const qsizetype markedBefore = markedRows();
        QProcess p;
        QProcessEnvironment env = stationEnvironment(root.path());
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"CORVALIN_TRACE"_s, trace());
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(prefix + u"/bin/corvalinradio"_s, {});
        ASSERT_TRUE(p.waitForStarted());
        const auto started = [&] {
            return readWholeFile(trace()).count(" song-start") >= songStarts;
        };
        ASSERT_TRUE(waitFor(started, 60000)) << readWholeFile(trace()).toStdString();
        // The first tick marks the song played in its list.
        ASSERT_TRUE(waitFor([&] { return markedRows() > markedBefore; }, 30000));
        // The installed program asks the station it started (now the same process) over its
        // socket.
        const ProgramRun status =
            runProgram(prefix + u"/bin/corvalinradio"_s, {u"--status"_s, u"--json"_s}, env, 20000);
        EXPECT_EQ(status.exitCode, 0) << status.err.toStdString();
        EXPECT_TRUE(status.out.contains(u"\"state\":\"playing\""_s)) << status.out.toStdString();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        ASSERT_TRUE(p.waitForFinished(30000)) << "still running after SIGTERM";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(readWholeFile(settings()).contains("Restart=0"));
    }

    TempFolder root;
    TempFolder install;
};

TEST_F(Installed, InstallsLaysOutPlaysSavesAndStartsAgainFromAnywhere) {
    const QString prefix = install.file(u"prefix"_s);
    ASSERT_TRUE(runTool(u"cmake"_s,
                        {u"--install"_s, QStringLiteral(CORVALIN_BUILD_DIR), u"--prefix"_s, prefix},
                        120000));

    // What the desktop and the service manager need, naming the program in this prefix.
    for (const char* file :
         {"bin/corvalinradio", "bin/corvalinradio-station", "bin/corvalin-speech-worker",
          "share/man/man1/corvalinradio.1", "share/icons/hicolor/256x256/apps/corvalinradio.png",
          "share/corvalinradio/CVRSystem.dat", "share/corvalinradio/Phrases.dat",
          "share/corvalinradio/NewsDef.ini", "share/corvalinradio/help/2.html",
          "share/corvalinradio/artwork/logo.png"})
        EXPECT_TRUE(QFileInfo::exists(prefix + u"/"_s + QString::fromUtf8(file))) << file;
    EXPECT_EQ(QDir(prefix + u"/share/corvalinradio/MP3 Files"_s).entryList(QDir::Files).size(), 6);
    EXPECT_EQ(QDir(prefix + u"/share/corvalinradio/Lists"_s).entryList(QDir::Files).size(), 4);
    const QByteArray desktop =
        readWholeFile(prefix + u"/share/applications/corvalinradio.desktop"_s);
    EXPECT_TRUE(desktop.contains("Exec=" + prefix.toUtf8() + "/bin/corvalinradio\n"));
    EXPECT_TRUE(desktop.contains("Icon=corvalinradio\n"));
    const QByteArray unit = readWholeFile(prefix + u"/lib/systemd/user/corvalinradio.service"_s);
    EXPECT_TRUE(unit.contains("ExecStart=" + prefix.toUtf8() + "/bin/corvalinradio --headless\n"));
    EXPECT_TRUE(unit.contains("Restart=on-failure\n"));
    EXPECT_TRUE(unit.contains("Type=notify\n"));
    EXPECT_TRUE(unit.contains("WatchdogSec=30\n"));
    if (!QStandardPaths::findExecutable(u"desktop-file-validate"_s).isEmpty()) {
        EXPECT_TRUE(runTool(u"desktop-file-validate"_s,
                            {prefix + u"/share/applications/corvalinradio.desktop"_s}));
    }

    // First start: the station folder is laid out from the installed data and a song plays.
    playOnce(prefix, 1);
    EXPECT_EQ(QDir(station() + u"MP3 Files"_s).entryList(QDir::Files).size(), 6);
    EXPECT_TRUE(QFileInfo::exists(station() + u"CVRSystem.dat"_s));
    EXPECT_TRUE(QFileInfo::exists(station() + u"Lists/Morning.lst"_s));
    // Lists keep their relative entries after the played marks were saved.
    for (const QString& list : QDir(station() + u"Lists"_s).entryList({u"*.lst"_s}))
        EXPECT_FALSE(readWholeFile(station() + u"Lists/"_s + list).contains(prefix.toUtf8()))
            << list.toStdString();
    const QByteArray savedSettings = readWholeFile(settings());
    EXPECT_TRUE(savedSettings.contains("Player=")) << savedSettings.toStdString();

    // The operator removes a sample song; the lists and marks are theirs now.
    const QString removed = station() + u"MP3 Files/Corvalin Radio Sample - City Lights.mp3"_s;
    ASSERT_TRUE(QFile::remove(removed));
    QMap<QString, QByteArray> lists;
    for (const QString& list : QDir(station() + u"Lists"_s).entryList({u"*.lst"_s}))
        lists.insert(list, readWholeFile(station() + u"Lists/"_s + list));

    // Second start from the prefix moved elsewhere.
    const QString moved = install.file(u"moved"_s);
    ASSERT_TRUE(QDir().rename(prefix, moved));
    playOnce(moved, 2);
    EXPECT_FALSE(QFileInfo::exists(removed));
    int changed = 0;
    for (auto it = lists.cbegin(); it != lists.cend(); ++it)
        if (readWholeFile(station() + u"Lists/"_s + it.key()) != it.value())
            ++changed;
    EXPECT_LE(changed, 1); // only the slot that played marked one more song
}

} // namespace
