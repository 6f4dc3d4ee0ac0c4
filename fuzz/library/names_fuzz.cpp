// Any bytes as a play list file and as song file names: parsing never fails, a saved list reads
// back to the same file with every line's bytes kept, and a written song name stays in its folder
// and reads back its marks.
#include "library/PlayList.h"
#include "library/SongNames.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace corvalin;

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

void checkList(const QByteArray& bytes) {
    ScriptedRandom random({7, 3, 1});
    TPlayListTable first;
    ParseList(bytes, first, random);
    int skipped = 0;
    const QByteArray saved = ListFileBytes(first, &skipped);
    TPlayListTable second;
    ParseList(saved, second, random);
    require(second.rowCount() == first.rowCount() - skipped, "rows survive a save");
    require(ListFileBytes(second) == saved, "a saved list reads back to the same file");

    // Lines keep their bytes, UTF-8 or not: a save writes each non-empty line as it was.
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QByteArray expected;
    bool plainFlags = true;
    for (const QByteArray& line : body.split('\n'))
        for (const QByteArray& part : line.split('\r'))
            if (!part.isEmpty()) {
                expected += part + "\r\n";
                plainFlags = plainFlags && !part.startsWith("\xEF\xBB\xBF");
            }
    if (plainFlags)
        require(saved == expected, "lines keep their bytes");
}

void checkName(const QString& text) {
    const QString artist = ArtistFromFileName(text);
    const QString title = TitleFromFileName(text);
    const TSongMarks marks = MarksInText(text);
    const auto name = SongFileName(artist, title, marks);
    if (!name)
        return;
    const QByteArray bytes = name->toUtf8();
    require(bytes.size() <= 255, "name fits");
    require(!name->contains(u'/') && !name->contains(QChar(0)), "name stays in the folder");
    require(name->endsWith(u".mp3"), "extension");
    require(MarksInText(*name) == marks, "marks read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkList(bytes);
    // Each line as a file name, and the artist and title halves as written by the editor.
    const QString text = QString::fromUtf8(bytes);
    for (const QString& line : text.split(u'\n'))
        checkName(line);
    // The same bytes as a name on disk: shown without escapes, every odd byte one character.
    for (const QByteArray& line : bytes.split('\n')) {
        const QString native = fileNameFromNative(line);
        const QString shown = ShownFileName(native);
        require(shown.size() == native.size(), "one shown character per escape");
        for (qsizetype i = 0; i < shown.size(); ++i)
            if (shown.at(i).isLowSurrogate())
                require(i > 0 && shown.at(i - 1).isHighSurrogate(), "no escape is shown");
        checkName(shown);
    }
    const qsizetype half = text.size() / 2;
    const auto name = SongFileName(text.left(half), text.mid(half), MarksInText(text));
    if (name) {
        require(name->toUtf8().size() <= 255, "long parts are cut");
        require(!name->contains(u'/'), "parts stay in the folder");
    }
    return 0;
}
