#pragma once

#include <QDateTime>
#include <QString>
#include <array>

namespace corvalin {

// When the DJ of a slot talks.
enum TFrequencyType : int { ftMinutes = 0, ftSongs = 1, ftRandom = 2, ftNever = 3 };
// How a slot's play list is ordered when it is loaded.
enum TListOrder : int { loOriginal = 0, loRandom = 1 };

// One DJ time slot's settings (sections DJ1..DJ5 of the settings store).
struct _rDJ {
    QString Name;
    QString SpeechEngine; // the voice's mode name
    QString PlayList;     // full path of the slot's play list file
    int FrequencyType = ftSongs;
    int FrequencyMinutes = 12;
    int FrequencySongs = 2;
    int ListOrder = loOriginal;
};

// 1 Morning, 2 Afternoon, 3 Evening, 4 Late Night, 5 news and weather (frequency fields only).
// Index 0 is unused so the slot numbers stay those of the settings sections.
using TDJSlots = std::array<_rDJ, 6>;
inline constexpr int kSlotCount = 4;
inline constexpr int kNewsSlot = 5;

// One song's identity and per-song marks.
struct _rSong {
    QString FileName; // full path
    QString Artist;
    QString Title;
    QString Unused1;
    QString Unused2;
    bool TheArtist = false;
    bool TheTitle = false;
    bool NeverAnnounce = false;
    bool NeverOverlap = false;
    bool ExcludeFromCount = false;
};

// Songs[1] LastSongInfo, Songs[2] NextSongInfo, Songs[3..4] the play list editor's scratch records.
using TSongs = std::array<_rSong, 5>;
inline constexpr int kLastSongInfo = 1;
inline constexpr int kNextSongInfo = 2;

// Media time between decoder and player: 100-nanosecond units.
using MediaTime = qint64;
inline constexpr MediaTime kMediaTimePerMs = 10000;

// A date-time meaning "never": now minus 5 000 000 days.
inline QDateTime neverFrom(const QDateTime& now) {
    return now.addDays(-5000000);
}

} // namespace corvalin
