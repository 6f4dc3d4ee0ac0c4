#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace corvalin {

// The DJ's tagged text turned into SSML for espeak-ng.
//
// Tagged text is UTF-8 with control tags between backslashes: "\Pau=N\" (a pause of N ms, at most
// 10 s), "\Emp\" (emphasis on the next word), "\Mrk=N\" (a bookmark numbered N); tag names match
// without regard to letter case and any other tag is dropped. Everything else is spoken as text:
// it is XML-escaped, so nothing in it can become markup.
struct SpeechMarkup {
    QByteArray ssml; // UTF-8, one <speak> element
    // For each code point of `ssml`: the byte offset in the tagged text of the word it belongs to
    // (markup points at the place of its tag).
    std::vector<int> taggedOffsets;
    int taggedLength = 0; // bytes of the tagged text

    // The byte offset in the tagged text for a text position reported by espeak-ng (1-based
    // code point index into `ssml`); positions out of range are clamped.
    int taggedOffsetForPosition(int espeakPosition) const;
};

inline constexpr int kMaxPauseMs = 10000;

// Pure; any thread.
SpeechMarkup taggedTextToSsml(const QByteArray& tagged);

} // namespace corvalin
