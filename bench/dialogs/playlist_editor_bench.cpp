// Times the play list editor on a collection of realistic size, in the release build, with the
// editor window shown (offscreen unless a display is given):
//   - opening the editor on a 100 000-entry list file, sorted and shown (goal: under 0.5 s);
//   - Add Dir over 20 000 small MP3 files in 200 folders, duplicates unticked (goal: under 2 s),
//     and again over the same folder, where every file is a duplicate;
//   - File > Tag for all of 1 000 songs (goal: under 10 s);
//   - moving the selection in the 100 000-entry list (one tag read per selection).
// Prints wall and CPU milliseconds per step.
//
//   bench_playlist_editor [work folder]      (default: a temporary folder, removed at the end)

#include "dialogs/FormPlayList.h"
#include "dialogs/PlayListEditor.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

using namespace corvalin;

namespace {

double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Stopwatch {
    QElapsedTimer wall;
    double cpu0 = cpuMs();
    Stopwatch() { wall.start(); }
    void print(const char* what, const char* goal) const {
        std::printf("%-52s %9.1f ms wall %9.1f ms CPU   %s\n", what,
                    static_cast<double>(wall.nsecsElapsed()) / 1e6, cpuMs() - cpu0, goal);
    }
};

// Every question answered OK, "ALL files" in the question box; no file dialogs.
class Answers final : public TPlayListPrompts {
public:
    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons) override {
        return QMessageBox::Ok;
    }
    QStringList chooseSongFiles(QWidget*, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&) override { return {}; }
    QString chooseSaveFile(QWidget*, const QString&, const QString&) override { return {}; }
    QString chooseListFile(QWidget*, const QString&) override { return {}; }
    int allOrOne(QWidget*) override { return 1; }
};

// A short MP3 (made by ffmpeg when it is there; otherwise bytes that stand for one).
QByteArray smallSong(const QString& folder) {
    const QString path = folder + QStringLiteral("/tone.mp3");
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v",
                                            "error",
                                            "-y",
                                            "-f",
                                            "lavfi",
                                            "-i",
                                            "sine=frequency=440:duration=0.1",
                                            "-ac",
                                            "1",
                                            "-ar",
                                            "22050",
                                            "-c:a",
                                            "libmp3lame",
                                            "-b:a",
                                            "32k",
                                            "-id3v2_version",
                                            "0",
                                            "-map_metadata",
                                            "-1",
                                            path});
    if (ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return QByteArray(1200, '\xff');
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    QDir().mkpath(work);
    const QByteArray song = smallSong(work);

    TPlayListTable live;
    StationSettings settings;
    settings.Duplicates = false;
    settings.ArtistSource = 0;
    bool viewOpen = false;
    StandardRandom random(1);
    Answers answers;
    const PlayListEditorContext context{live, settings, work + "/", viewOpen, {}, {},
                                        {},   {},       {},         {},       {}, &random};
    std::printf("songs of %lld bytes in %s\n", static_cast<long long>(song.size()),
                qPrintable(work));

    // 1. A 100 000-entry list, opened, sorted and shown.
    const QString listFile = work + "/Big.lst";
    {
        QByteArray text;
        for (int i = 0; i < 100000; ++i)
            text += "F/home/radio/Music/Artist " + QByteArray::number(i % 997) + "/Artist " +
                    QByteArray::number(i % 997) + " - Song Number " + QByteArray::number(i) +
                    ".mp3\r\n";
        writeFile(listFile, text);
    }
    {
        TPlayListTable table;
        Stopwatch load;
        LoadList(listFile, table, random);
        load.print("LoadList of the 100 000-entry list alone", "");
        Stopwatch sort;
        table.sortBy(plcOrder);
        sort.print("sort by Order of the 100 000 entries alone", "");
    }
    {
        Stopwatch open;
        TfrmPlayList editor(context, &answers);
        editor.OpenOnFile(listFile);
        editor.show();
        editor.EditPlayList->repaint();
        settle();
        open.print("open a 100 000-entry list, sorted and shown", "(goal < 500 ms)");

        // Selection in the long list (these songs are not on disk: the details only look).
        Stopwatch select;
        for (int i = 0; i < 1000; ++i)
            editor.selectRow((i * 7919) % 100000);
        select.print("1 000 selections, 100 000 entries, files absent", "(per selection: /1000)");
        editor.hide();
    }

    // 2. Add Dir over 20 000 small songs in 200 folders.
    const QString tree = work + "/Collection";
    for (int f = 0; f < 200; ++f) {
        const QString folder = tree + QStringLiteral("/Artist %1/Album").arg(f, 3, 10, QChar('0'));
        QDir().mkpath(folder);
        for (int s = 0; s < 100; ++s)
            writeFile(folder + QStringLiteral("/Artist %1 - Song %2.mp3").arg(f).arg(s), song);
    }
    {
        TfrmPlayList editor(context, &answers);
        editor.show();
        settle();
        Stopwatch add;
        editor.AddFolder(tree);
        settle();
        add.print("Add Dir over 20 000 songs in 200 folders", "(goal < 2000 ms)");
        std::printf("  entries: %d\n", editor.List.rowCount());
        Stopwatch again;
        editor.AddFolder(tree);
        settle();
        again.print("Add Dir again: 20 000 duplicates left out", "");
        std::printf("  entries: %d\n", editor.List.rowCount());
        // Each selection reads one song's name and tag.
        Stopwatch select;
        for (int i = 0; i < 1000; ++i)
            editor.selectRow((i * 7919) % 20000);
        select.print("1 000 selections among 20 000 songs on disk", "(per selection: /1000)");
    }

    // 3. File > Tag for all of 1 000 songs.
    {
        QStringList songs;
        const QString folder = work + "/Tagging";
        QDir().mkpath(folder);
        for (int s = 0; s < 1000; ++s) {
            const QString path = folder + QStringLiteral("/Band %1 - Title %2~[.mp3").arg(s).arg(s);
            writeFile(path, song);
            songs << path;
        }
        TfrmPlayList editor(context, &answers);
        editor.AddSongFiles(songs);
        editor.selectRow(0);
        editor.show();
        settle();
        Stopwatch tag;
        editor.bFileToTagClick();
        settle();
        tag.print("File > Tag for all of 1 000 songs", "(goal < 10000 ms)");
        TID3v2 check;
        check.ReadTag(songs.last());
        std::printf("  last song: artist \"%s\", title \"%s\", comment \"%s\"\n",
                    qPrintable(check.Artist), qPrintable(check.Title), qPrintable(check.Comment));
        Stopwatch inPlace;
        editor.bFileToTagClick();
        settle();
        inPlace.print("File > Tag again (tags written in place)", "");
        Stopwatch names;
        editor.bTagToFileClick();
        settle();
        names.print("Tag > File for all of 1 000 songs (names unchanged)", "");
    }
    return 0;
}
