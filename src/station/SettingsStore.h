#pragma once

#include "audio/Loudness.h"
#include "audio/VolumeControls.h"
#include "core/CredentialsStore.h"
#include "core/IniFile.h"
#include "core/Types.h"
#include "feeds/NewsDefinitions.h"
#include "stream/StreamSettings.h"

#include <QDateTime>
#include <QString>
#include <QTime>
#include <array>
#include <functional>

namespace corvalin {

inline const QString kSettingsFileName = QStringLiteral("CorvalinRadio.ini");
inline const QString kSettingsFolderName = QStringLiteral("CorvalinRadio");
// The name of the stream password among the credentials a service manager hands the program
// (systemd: LoadCredential=stream-password:FILE).
inline const QString kStreamPasswordCredential = QStringLiteral("stream-password");

// The station's settings as the main window holds them in memory. Read and written on the UI
// thread only.
struct StationSettings {
    // [Screen]
    bool SameSettings = false; // always kept in the shared file
    int Top = 0;
    int Left = 0;
    bool Restart = false; // as read at start: the previous run did not end through FormClose
    bool StartPlay = true;
    QString LastDir1;
    QString LastDir2;

    // [Volume]
    int WaveVolume = 65535;
    int PlayerVolume = kDefaultPlayerVolume;
    int DJVolume = 65535;
    int DJVolumeMin = 0;
    int DJVolumeMax = 65535;
    int DJVolumeInc = 6500;

    // [General]
    QString StationIdentification;
    int ManagerTab = 0;
    int CrossFade = 6; // seconds
    int ArtistSource = 2;
    QString PublicService;
    QTime AutoStartTime;
    QTime AutoStopTime;
    bool AutoStart = false;
    bool AutoStop = false;

    // [PlayList]
    bool Duplicates = true;

    // [DJ1]..[DJ4]; [DJ5] holds only the news frequency.
    TDJSlots DJSlots;

    // [DJ5]
    QString ZipCode;
    bool ReadNews = true;
    bool ReadWeather = true;
    NewsDefinitions News; // addresses and markers, kept up to date by CheckDefaults

    // [Stream], [Stream2], [Stream3]: the Icecast outputs (each off by default).
    std::array<StreamSettings, kStreamOutputCount> Streams;

    // [Log]: the as-run log (on by default) and how many days of it are kept.
    bool LogEnabled = true;
    int LogKeepDays = 90;
};

// The ranges the Radio Manager's controls and the main window's sliders can hold. A stored value
// outside them (an edited or damaged file) is brought inside when read, so that no timer is ever
// armed with a negative or absurd interval.
struct SettingRange {
    int minimum;
    int maximum;
    int clamp(int value) const {
        return value < minimum ? minimum : (value > maximum ? maximum : value);
    }
};
inline constexpr SettingRange kCrossFadeRange{1, 12};
inline constexpr SettingRange kSlotMinutesRange{2, 30};
inline constexpr SettingRange kSlotSongsRange{1, 12};
inline constexpr SettingRange kNewsMinutesRange{1, 59};
inline constexpr SettingRange kNewsSongsRange{1, 20};
inline constexpr SettingRange kManagerTabRange{0, 6};
inline constexpr SettingRange kArtistSourceRange{0, 2};
inline constexpr SettingRange kPlayerVolumeRange{-5000, 0};
inline constexpr SettingRange kWaveVolumeRange{0, 65535};
inline constexpr SettingRange kLogKeepDaysRange{1, 3650};
inline constexpr SettingRange kStreamPortRange{kStreamPortMin, kStreamPortMax};
inline constexpr SettingRange kStreamBitrateRange{kStreamBitrateMin, kStreamBitrateMax};

// Brings every numeric setting into its control's range: spin box values to the nearer bound,
// choices a control cannot show to its fallback (the first page, the first choice, "songs" for a
// DJ's frequency, "minutes" for the news frequency), volumes into their sliders' ranges.
void clampToControlRanges(StationSettings& s);

// Every value at its first-start default. `programFolder` ends in "/"; `now` is the time of day
// the two alarm times default to.
StationSettings defaultSettings(const QString& programFolder, const QTime& now);

// Where the two stores and the DJ volume file are.
struct SettingsPaths {
    QString programFolder; // with a trailing "/"
    QString configHome;    // the per-user configuration root ($XDG_CONFIG_HOME)
    // The shared file's folder (with a trailing "/"): the system-wide one of an installed
    // station; empty means `programFolder`.
    QString sharedFolder = {};
    // The folder of the credentials the service manager hands the program
    // ($CREDENTIALS_DIRECTORY); empty: none.
    QString systemCredentials = {};

    // $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config (or the account's home).
    static QString defaultConfigHome();
    static SettingsPaths forCurrentUser(const QString& programFolder) {
        return {
            programFolder, defaultConfigHome(), {}, qEnvironmentVariable("CREDENTIALS_DIRECTORY")};
    }

    QString sharedFile() const {
        return (sharedFolder.isEmpty() ? programFolder : sharedFolder) + kSettingsFileName;
    }
    QString perUserFolder() const;
    QString perUserFile() const { return perUserFolder() + QLatin1Char('/') + kSettingsFileName; }
    QString storeFile(bool sameSettings) const {
        return sameSettings ? sharedFile() : perUserFile();
    }
    // The secrets of a store, beside it: never in the settings file, which the shared store lets
    // everyone read.
    QString credentialsFile(bool sameSettings) const;
    QString djVolumeFile() const;
};

// The settings store chosen by SameSettings: the shared file or the private per-user file. Each
// operation loads the file, reads or changes it and writes it back at once; nothing stays open.
// Writes change only the keys they name; a store that exists but cannot be read is never
// overwritten (its settings would be lost). UI thread.
//
// Secrets never go into a settings file: the stream password is kept in the credentials file
// beside the store (paths().credentialsFile, 0600), or comes from the service manager.
class SettingsStore {
public:
    // One line for the operator's log (a secret moved, or one that could not be).
    using Notice = std::function<void(const QString& line)>;

    // `notice` empty: the line goes to stderr. Either way it is also a trace event.
    explicit SettingsStore(SettingsPaths paths, Notice notice = {})
        : paths_(std::move(paths)), notice_(std::move(notice)) {}
    const SettingsPaths& paths() const { return paths_; }

    // Where the secrets of a store are kept.
    CredentialsStore credentials(bool sameSettings) const;
    // A stream password still written in a settings file (by an older version, or by hand) is
    // moved into the credentials file beside it and its key removed from the settings file. Says
    // where it went, or why it could not be moved, through the notice; never the password.
    [[nodiscard]] FileResult moveSecretsOut(bool sameSettings) const;

    // The store's content; a missing or unreadable store reads as empty (all defaults).
    IniFile read(bool sameSettings) const;
    // Loads the store for a change: fails when it exists but cannot be read.
    [[nodiscard]] FileResult load(bool sameSettings, IniFile& ini) const;
    // Writes the whole store back safely. The per-user store lives in a folder only its owner
    // may enter (0700) and is created 0600.
    [[nodiscard]] FileResult flush(bool sameSettings, const IniFile& ini) const;
    // Loads, lets `change` edit and flushes.
    template <typename Change>
    [[nodiscard]] FileResult update(bool sameSettings, Change&& change) const {
        IniFile ini;
        if (FileResult loaded = load(sameSettings, ini); !loaded)
            return loaded;
        change(ini);
        return flush(sameSettings, ini);
    }

    // [Screen] SameSettings of the shared file, whichever store is in use.
    bool readSameSettings() const;

    // A store file that is damaged (IniFile::damageIn) is kept as it is, as
    // "<file>.broken-YYYY-MM-DD" (with the time too when that exists), before a write drops what
    // could not be read; the notice says where and why. The readable settings stay in use.
    // Returns the copy's path; empty when the file is sound, missing or already kept.
    QString keepDamagedStore(bool sameSettings, const QDateTime& now) const;

    // Creation of the main window: SameSettings from the shared file, then window position,
    // volumes, Restart and StartPlay from the chosen store into `s`; then [Screen] Restart = 1 is
    // stored (a run is in progress). The values are read even when that write fails.
    [[nodiscard]] FileResult readAtCreate(StationSettings& s) const;

    // The settings part of ReadIni: every value the station keeps in memory from the store chosen
    // by `s.SameSettings`. Missing or malformed values give the defaults (the alarm times default
    // to `now`). The stream password: the service manager's credential, else one still in the
    // settings file (until it is moved), else the credentials file's. Returns true when the zip
    // code has not been asked for yet ("00000"): the caller shows the prompt, calls writeZipCode
    // and lets play start after the voice test.
    bool readIni(StationSettings& s, const QTime& now) const;

    // After the zip code prompt: [DJ5] ZipCode and WeatherURL.
    [[nodiscard]] FileResult writeZipCode(const StationSettings& s) const;

    // Shutdown: window position, Restart = 0, volumes, the editor's folders and duplicates rule,
    // the manager's page.
    [[nodiscard]] FileResult writeAtClose(const StationSettings& s) const;

    // The Radio Manager's OK: SameSettings into the shared file first, then the manager's values
    // into the store it selects, the stream password into the credentials file beside it (unless
    // it is the service manager's). Values in the other store stay as they are, but a password
    // left in either settings file is moved out. Stops at the first failure.
    [[nodiscard]] FileResult writeManagerOK(const StationSettings& s) const;

    // [Loudness] Enabled (0/1, default 1) and Target (LUFS, default -18; kept within
    // kLoudnessTargetMin..kLoudnessTargetMax), with [Segue] TrimSilence (0/1, default 1) and
    // Threshold (dBFS, default -50; kept within kTrimThresholdMin..kTrimThresholdMax), from the
    // store SameSettings chooses. Missing or malformed values give the defaults.
    LoudnessSettings readLoudness() const;

    // The DJ volume file: [Volume] DJ, or `def` when missing or unreadable.
    int readDJVolumeFile(int def) const;
    [[nodiscard]] FileResult writeDJVolumeFile(int value) const;

private:
    void notice(const QString& line, const char* traceEvent = "settings-secret") const;
    QString streamPassword(std::size_t output, bool sameSettings, const IniFile& store) const;

    SettingsPaths paths_;
    Notice notice_;
};

} // namespace corvalin
