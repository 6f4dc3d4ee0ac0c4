// Not a benchmark: shows the play list editor on a small made-up collection, as an operator sees
// it, for the help page's picture. With --shot FILE it saves a picture of the window and quits.
//
//   bench_playlist_editor_preview [--shot docs/playlist-editor.png]

#include "dialogs/FormPlayList.h"
#include "library/ID3v2.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTableView>
#include <QTimer>
#include <cstdio>

using namespace corvalin;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"shot", "Save a picture of the window to FILE and quit.", "FILE"});
    parser.process(app);

    // A short, fixed folder reads better in the picture than a temporary name.
    const QString station = QDir::tempPath() + "/Radio/";
    if (QDir(station).exists()) {
        std::fprintf(stderr, "%s is in the way\n", qPrintable(station));
        return 2;
    }
    struct Remove {
        QString folder;
        ~Remove() { QDir(folder).removeRecursively(); }
    } remove{station};
    const QString music = station + "MP3 Files/";
    QDir().mkpath(music + "Coast Road");
    QDir().mkpath(station + "Lists");
    const char* const songs[] = {
        "Coast Road/Kestrels - Harbour Lights~`.mp3",
        "Coast Road/Kestrels - Low Tide.mp3",
        "Coast Road/Kestrels - The Long Pier[.mp3",
        "Marla Quinn - Paper Lanterns.mp3",
        "Marla Quinn - Slow Train North].mp3",
        "Northbound - Evening Ferry.mp3",
        "Northbound - Salt and Cedar.mp3",
        "Orchard Lane - Summer Rain^.mp3",
        "Orchard Lane - Window Seat.mp3",
        "Station Jingle - Top of the Hour~[].mp3",
        "The Weathervanes - Blue Hour.mp3",
        "The Weathervanes - Copper Sky.mp3",
        "Tom Ardley - Last Bus Home.mp3",
        "Tom Ardley - Morning Light.mp3",
    };
    QByteArray list;
    for (const char* name : songs) {
        const QString path = music + QString::fromUtf8(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(2048, '\xff'));
        file.close();
        list += "F" + path.toUtf8() + "\r\n";
    }
    // The selected song has a tag that differs a little from its name.
    TID3v2 tag;
    tag.SetArtist("Kestrels");
    tag.SetTitle("Harbour Lights (radio edit)");
    tag.SetComment("~ `");
    tag.WriteTag(music + QString::fromUtf8(songs[0]));
    QFile file(station + "Lists/Morning.lst");
    if (file.open(QIODevice::WriteOnly))
        file.write(list);
    file.close();

    TPlayListTable live;
    StationSettings settings;
    settings.ArtistSource = 0;
    bool viewOpen = false;
    const PlayListEditorContext context{live, settings, station, viewOpen, {}, {},
                                        {},   {},       {},      {},       {}, nullptr};
    TfrmPlayList editor(context);
    editor.OpenOnFile(station + "Lists/Morning.lst");
    editor.selectRow(0);

    const QString shot = parser.value("shot");
    if (!shot.isEmpty()) {
        QTimer::singleShot(800, &editor, [&] {
            editor.EditPlayList->setFocus();
            const bool saved = editor.grab().save(shot);
            std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(shot));
            QApplication::exit(saved ? 0 : 1);
        });
        editor.show();
        return QApplication::exec();
    }
    editor.exec();
    return 0;
}
