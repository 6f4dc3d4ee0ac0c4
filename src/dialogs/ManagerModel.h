#pragma once

#include "SpinEdit.h"
#include "station/RemoteSettings.h"
#include "station/SettingsStore.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <functional>
#include <optional>

namespace corvalin {

// The Radio Manager's rules without its widgets: what its controls show when it opens, the AM/PM
// toggle, the zip code rule and OK's writes in their order. The dialog is a view over these; tests
// call them directly. Window thread only.

// What the Radio Manager needs from the running station. The station keeps playing behind the
// modal dialog; every callback is called on the window thread while the dialog is open, and each
// may be empty (the step is then left out). The referenced objects belong to the station and
// outlive the dialog.
struct ManagerContext {
    ManagerContext(StationSettings& settings, const SettingsStore& store,
                   QStringList speechEngineList = {})
        : Settings(settings), Store(store), SpeechEngineList(std::move(speechEngineList)) {}

    // The settings in memory. The dialog changes ManagerTab at once (page change) and the rest only
    // when OK's writes have succeeded; the advanced options change News.
    StationSettings& Settings;
    // The store OK writes to (the shared file for SameSettings, the store it selects for the rest).
    const SettingsStore& Store;
    // The installed voices' mode names (SpeechEngineList) for the four voice boxes.
    QStringList SpeechEngineList;

    // The voice test: speaks the test sentence with the voice of that mode name and marks the
    // utterance as a test (DJTestRunning), so its end starts no song.
    std::function<void(const QString& voiceModeName)> SpeakTest;
    // Whether the DJ is speaking now (DJSpeaking).
    std::function<bool()> DJSpeaking;
    // After OK's writes, with the new values in Settings: re-arm the Auto Start and Auto Stop
    // clocks (SetAutoClock from AutoStart/AutoStartTime, the stop clock running by AutoStop,
    // SetAutoClock from AutoStop/AutoStopTime).
    std::function<void()> RearmAutoClocks;
    // After OK's writes: CurrentSlot := 0, so the check after the dialog re-applies the slot.
    std::function<void()> ForceSlotReload;
    // The news and weather addresses or markers in Settings.News changed (zip code at OK, advanced
    // options at their OK): the next fetch is to use them. A running fetch keeps its own copy.
    std::function<void(const NewsDefinitions&)> NewsDefinitionsChanged;
    // View List: the play list editor on an existing list file, modal.
    std::function<void(const QString& listFile)> OpenPlayListEditor;
    // A phrase button: the phrase editor on the set ("1a".."4c", "5a", "5b"), modal; true when it
    // was saved.
    std::function<bool(const QString& code)> StartFormPhrases;
    // The help window at a topic.
    std::function<void(int topic)> ShowHelp;
    // The last news and weather fetch's outcome in one line, for the advanced options.
    std::function<QString()> LastFetchOutcome;
};

// The ranges of the Radio Manager's spin boxes.
inline constexpr SpinRange kCrossfadeSpin{1, 12};
inline constexpr SpinRange kDJMinutesSpin{2, 30};
inline constexpr SpinRange kDJSongsSpin{1, 12};
inline constexpr SpinRange kNewsMinutesSpin{1, 59};
inline constexpr SpinRange kNewsSongsSpin{1, 20};
inline constexpr SpinRange kStreamPortSpin{kStreamPortMin, kStreamPortMax};
inline constexpr SpinRange kStreamBitrateSpin{kStreamBitrateMin, kStreamBitrateMax};
inline constexpr SpinRange kLogKeepDaysSpin{1, 3650};
inline constexpr int kManagerPageCount = 7;

// A time field's value when the stored time cannot be shown.
inline const QTime kTimeFieldInitial{6, 0};

// What the controls of one DJ page hold.
struct ManagerSlotControls {
    QString Name;
    QString SpeechEngine; // the voice box's text
    QString PlayList;     // the file-name box's text
    int FrequencyType = ftSongs;
    int FrequencyMinutes = 12;
    int FrequencySongs = 2;
    int ListOrder = loOriginal;
    bool operator==(const ManagerSlotControls&) const = default;
};

// What the Broadcast page's stream controls hold for one output. The port is the box's text as
// typed: a port the server cannot have is told at OK, never quietly changed into another.
struct ManagerStreamControls {
    bool Enabled = false;
    QString Host;
    QString Port = QStringLiteral("8000");
    QString Mount = QStringLiteral("/radio");
    QString User = QStringLiteral("source");
    QString Password;
    QString Format = kStreamFormatMp3; // "mp3" or "opus"
    int Bitrate = 128;
    QString Name;
    QString Description;
    QString Genre;
    QString Url; // the station's web site, for listeners' directories
    bool Public = false;
    bool operator==(const ManagerStreamControls&) const = default;
};

// What the Broadcast page's web page controls hold. The port is the box's text as typed, as the
// stream's; the token is the one in force or a new one made in the dialog (empty: none yet).
struct ManagerRemoteControls {
    bool Enabled = false;
    QString Address = QStringLiteral("127.0.0.1");
    QString Port = QStringLiteral("8765");
    QString Token;
    bool operator==(const ManagerRemoteControls&) const = default;
};

// What the Radio Manager's controls hold: filled from the settings when it opens, read back at OK.
struct ManagerControls {
    int Page = 0; // the page shown
    QString StationIdentification;
    int CrossFade = 6;
    QString PublicService;
    QTime AutoStartTime = kTimeFieldInitial;
    QTime AutoStopTime = kTimeFieldInitial;
    bool AutoStart = false;
    bool AutoStop = false;
    int ArtistSource = 2;
    bool StartPlay = true;
    bool SameSettings = false;
    std::array<ManagerSlotControls, kSlotCount> Slots; // index slot - 1
    QString ZipCode;
    bool ReadNews = true;
    bool ReadWeather = true;
    int NewsFrequencyType = ftMinutes; // 0 minutes, 1 songs
    int NewsFrequencyMinutes = 30;
    int NewsFrequencySongs = 12;
    // Broadcast: the Icecast outputs ([Stream], [Stream2], [Stream3]) and the as-run log.
    std::array<ManagerStreamControls, kStreamOutputCount> Streams;
    bool LogEnabled = true;
    int LogKeepDays = 90;
    bool operator==(const ManagerControls&) const = default;
};

// What the dialog shows when it opens: values a control cannot take fall back (page 0 for a tab
// outside 0..6, "MP3" for an unknown stream format, choice 0 for the artist source, "songs" for a
// DJ's frequency type outside 0..3, "minutes" for a news frequency type other than 1, "Original
// order", 6:00 AM for a time the field refuses) and spin box values are pulled into their ranges.
ManagerControls managerControlsFrom(const StationSettings& s);

// The AM/PM button: a time before noon moves 12 hours later, one at or after noon 12 hours earlier.
QTime toggleAmPm(const QTime& time);

// A time of day typed into a time field: 12-hour with AM/PM ("11:50 AM", "7:05 pm", "7pm",
// "12:00 a.m.") or 24-hour without ("19:05", "0:30", "1150"). Nothing when it is no time.
std::optional<QTime> parseTypedTime(const QString& typed);

// The weather address after the Radio Manager's zip code box was confirmed. When the typed code,
// trimmed, differs from the old one, trimmed, and the trimmed old code occurs in the address (case
// sensitive), every occurrence of the old code as stored is replaced by the typed text, without
// regard to case. Otherwise the address is returned unchanged.
QString weatherURLForZipCode(const QString& weatherURL, const QString& oldZipCode,
                             const QString& typedZipCode);

// A public service announcement as it is kept: trimmed, each line break a blank (the store holds
// one line per value, so a second line would be lost at the next start).
QString publicServiceText(const QString& typed);

// OK's changes to the settings in memory, in their order: station name (an empty box keeps the
// old one), the general values, the four slots, the zip code rule and the news slot. `before` is
// left alone; ManagerTab is not a control's value and is kept.
StationSettings settingsAfterManagerOK(const StationSettings& before,
                                       const ManagerControls& controls);

// Something the operator typed that cannot work: the sentence for the box, and the object name of
// the control to put right.
struct ManagerProblem {
    QString text;
    QString control;
    int output = -1; // the stream output (0..2) the control is to show, -1 for none
    explicit operator bool() const { return !text.isEmpty(); }
};

// The Broadcast page's rule, checked at OK before anything is stored: a port that is no whole
// number from 1 to 65535, a mount point that is empty or holds a blank, a server name with a
// blank or a "/" in it, and, while the stream is on, no server or no password. Nothing wrong: an
// empty problem.
ManagerProblem broadcastProblem(const ManagerStreamControls& stream);

// The same rule for every output (the first's texts as above, the others' beginning "Output N: "),
// and two outputs that are on may not send to the same mount of the same server (the server
// would refuse the second). The first output found wrong is named.
ManagerProblem
broadcastProblem(const std::array<ManagerStreamControls, kStreamOutputCount>& streams);

// One line about an output for the output selector's hint: "Off", or "MP3 128 kbit/s to
// host:port/mount" (with "(no server yet)" while it names none).
QString streamOutputSummary(const ManagerStreamControls& stream);

// The port box's text as a port: a whole number from 1 to 65535 (blanks around it allowed).
std::optional<int> streamPortFrom(const QString& text);

// The web page controls as stored.
ManagerRemoteControls remoteControlsFrom(const RemoteSettings& s);

// The web page's rule, checked at OK: a port that is no whole number from 1 to 65535, an address
// that is no IP address (or "localhost"), and an address other machines can reach without a token
// (whether the page is on or not: turning it on later must not open it to them).
ManagerProblem remoteProblem(const ManagerRemoteControls& remote);

// The page's address as a browser types it, for the controls as they are; empty while the address
// or the port is not one.
QString remotePageAddress(const ManagerRemoteControls& remote);

// What OK stores for the web page: the controls' values, and a token made now when the page is on
// and has none yet (the first enable).
RemoteSettings remoteSettingsAfterOK(const ManagerRemoteControls& remote);

// The password box's hint: where the password is kept, for each choice of store, and that it
// comes from the service manager when it does.
// Only the first output's password can come from the service manager.
QString streamPasswordHint(const SettingsPaths& paths, std::size_t output = 0);

// OK without its widgets: computes the new settings, writes SameSettings into the shared file and
// every value into the store the new SameSettings selects, and only when that succeeded puts them
// into memory, re-arms the clocks and forces the slot to be re-applied. On failure memory is
// unchanged and the shared file keeps its previous switch; the result names the file and the
// reason.
[[nodiscard]] FileResult confirmManager(ManagerContext& context, const ManagerControls& controls);

// The web page's part of OK, after confirmManager: Enabled, Address and Port into the store
// SameSettings now selects, the token (made here at the first enable) into the credentials file
// beside it. Its server reads these at start, the token at each press.
[[nodiscard]] FileResult confirmRemote(const SettingsStore& store,
                                       const ManagerRemoteControls& remote);

// The text of the error box shown when OK could not store the web page's settings (the others
// were stored).
QString remoteSaveErrorText(const FileResult& failure);

// The text of the error box shown when OK could not store the settings.
QString managerSaveErrorText(const FileResult& failure);

} // namespace corvalin
