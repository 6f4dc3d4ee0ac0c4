// Any bytes as the start of a file: the parser must not fail, the tag written for that file must
// fit where it goes, and reading the written file gives the same managed fields and kept frames.
#include "library/ID3v2.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using corvalin::TID3v2;

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "round trip broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TID3v2 first;
    const bool read = first.ParseTag(file, file.size());
    require(read == (file.size() >= 10), "read result");
    require(first.TagSize >= 0 && first.TagSize <= file.size(), "tag size within the file");

    const TID3v2::WritePlan plan = first.PlanWrite(file, file.size());
    if (!plan.ok)
        return 0;
    QByteArray written;
    if (plan.Rewrite) {
        require(plan.AudioOffset >= 0 && plan.AudioOffset <= file.size(), "audio offset");
        written = plan.Tag + file.mid(plan.AudioOffset);
    } else {
        require(plan.Tag.size() == plan.AudioOffset, "in place write has the old tag's size");
        written = plan.Tag + file.mid(plan.Tag.size());
    }

    TID3v2 second;
    require(second.ParseTag(written, written.size()), "written file reads");
    require(second.TagFound && second.Version == 3, "written tag is 2.3");
    require(second.TagSize == plan.Tag.size(), "written tag size");
    require(second.Title == first.Title, "Title");
    require(second.Artist == first.Artist, "Artist");
    require(second.Album == first.Album, "Album");
    require(second.Track == first.Track, "Track");
    require(second.Year == first.Year, "Year");
    require(second.Genre == first.Genre, "Genre");
    require(second.Comment == first.Comment, "Comment");
    require(second.Composer == first.Composer, "Composer");
    require(second.Encoder == first.Encoder, "Encoder");
    require(second.Rights == first.Rights, "Rights");
    require(second.Language == first.Language, "Language");
    require(second.Link == first.Link, "Link");
    require(second.OtherFrames == first.OtherFrames, "kept frames");
    return 0;
}
