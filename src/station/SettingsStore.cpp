#include "station/SettingsStore.h"

#include "core/DJVolumeFile.h"
#include "station/StationTrace.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <pwd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace corvalin {

namespace {

const QString kScreen = QStringLiteral("Screen");
const QString kVolume = QStringLiteral("Volume");
const QString kGeneral = QStringLiteral("General");
const QString kPlayList = QStringLiteral("PlayList");
const QString kLog = QStringLiteral("Log");
const QString kPasswordKey = QStringLiteral("Password");

StreamSettings readStream(const IniFile& ini, const QString& k) {
    StreamSettings d;
    StreamSettings s;
    s.Enabled = ini.readBool(k, QStringLiteral("Enabled"), d.Enabled);
    s.Host = ini.readString(k, QStringLiteral("Host"), d.Host).trimmed();
    s.Port = ini.readInteger(k, QStringLiteral("Port"), d.Port);
    s.Mount = ini.readString(k, QStringLiteral("Mount"), d.Mount).trimmed();
    s.User = ini.readString(k, QStringLiteral("User"), d.User).trimmed();
    s.Format = ini.readString(k, QStringLiteral("Format"), d.Format).trimmed().toLower();
    s.Bitrate = ini.readInteger(k, QStringLiteral("Bitrate"), d.Bitrate);
    s.Name = ini.readString(k, QStringLiteral("Name"), d.Name).trimmed();
    s.Description = ini.readString(k, QStringLiteral("Description"), d.Description);
    s.Genre = ini.readString(k, QStringLiteral("Genre"), d.Genre);
    s.Url = ini.readString(k, QStringLiteral("URL"), d.Url).trimmed();
    s.Public = ini.readBool(k, QStringLiteral("Public"), d.Public);
    return s;
}

void writeStream(IniFile& ini, const QString& k, const StreamSettings& s) {
    ini.writeBool(k, QStringLiteral("Enabled"), s.Enabled);
    ini.writeString(k, QStringLiteral("Host"), s.Host);
    ini.writeInteger(k, QStringLiteral("Port"), s.Port);
    ini.writeString(k, QStringLiteral("Mount"), s.Mount);
    ini.writeString(k, QStringLiteral("User"), s.User);
    ini.eraseKey(k, kPasswordKey); // kept in the credentials file
    ini.writeString(k, QStringLiteral("Format"), s.Format);
    ini.writeInteger(k, QStringLiteral("Bitrate"), s.Bitrate);
    ini.writeString(k, QStringLiteral("Name"), s.Name);
    ini.writeString(k, QStringLiteral("Description"), s.Description);
    ini.writeString(k, QStringLiteral("Genre"), s.Genre);
    ini.writeString(k, QStringLiteral("URL"), s.Url);
    ini.writeBool(k, QStringLiteral("Public"), s.Public);
}

QString slotSection(int slot) {
    return QStringLiteral("DJ%1").arg(slot);
}

const std::array<QString, kSlotCount> kDefaultNames = {
    QStringLiteral("Joe Early"), QStringLiteral("Al Cafe"), QStringLiteral("Sam Smooth"),
    QStringLiteral("Manfred Moonlight")};
const std::array<QString, kSlotCount> kDefaultListFiles = {
    QStringLiteral("Lists/Morning.lst"), QStringLiteral("Lists/Afternoon.lst"),
    QStringLiteral("Lists/Evening.lst"), QStringLiteral("Lists/Midnight.lst")};

QTime wholeSeconds(const QTime& t) {
    return t.isValid() ? QTime(t.hour(), t.minute(), t.second()) : QTime(0, 0);
}

// An output nobody has set up: its section is not added to a file that never had it.
bool untouchedStream(const StreamSettings& s) {
    StreamSettings plain = s;
    plain.Password.clear();
    return plain == StreamSettings{};
}

// How notices name an output's password; the first keeps its old wording.
QString passwordName(std::size_t output) {
    return output == 0 ? QStringLiteral("the stream password")
                       : QStringLiteral("the [%1] password").arg(kStreamSections[output]);
}

// A password written in a settings file; an empty value is no secret.
std::optional<QString> passwordInSettings(const IniFile& ini, const QString& section) {
    std::optional<QString> password = ini.value(section, kPasswordKey);
    if (password && password->isEmpty())
        return std::nullopt;
    return password;
}

void readSlotFrequency(const IniFile& ini, int slot, _rDJ& dj) {
    const QString section = slotSection(slot);
    dj.FrequencyType = ini.readInteger(section, QStringLiteral("FrequencyType"), dj.FrequencyType);
    dj.FrequencyMinutes =
        ini.readInteger(section, QStringLiteral("FrequencyMinutes"), dj.FrequencyMinutes);
    dj.FrequencySongs =
        ini.readInteger(section, QStringLiteral("FrequencySongs"), dj.FrequencySongs);
}

void readSlot(const IniFile& ini, int slot, _rDJ& dj) {
    const QString section = slotSection(slot);
    dj.SpeechEngine = ini.readString(section, QStringLiteral("SpeechEngine"), dj.SpeechEngine);
    dj.PlayList = ini.readString(section, QStringLiteral("PlayList"), dj.PlayList);
    readSlotFrequency(ini, slot, dj);
    dj.ListOrder = ini.readInteger(section, QStringLiteral("ListOrder"), dj.ListOrder);
}

} // namespace

StationSettings defaultSettings(const QString& programFolder, const QTime& now) {
    StationSettings s;
    s.LastDir1 = programFolder + QStringLiteral("MP3 Files/");
    s.LastDir2 = s.LastDir1;
    s.StationIdentification = QStringLiteral("Z99 Rockin' Zebra");
    s.AutoStartTime = wholeSeconds(now);
    s.AutoStopTime = s.AutoStartTime;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
        const auto i = static_cast<std::size_t>(slot - 1);
        dj.Name = kDefaultNames[i];
        dj.SpeechEngine = defaultSlotVoices()[i];
        dj.PlayList = programFolder + kDefaultListFiles[i];
        dj.FrequencyType = ftSongs;
        dj.FrequencyMinutes = 12;
        dj.FrequencySongs = 2;
        dj.ListOrder = loOriginal;
    }
    _rDJ& news = s.DJSlots[kNewsSlot];
    news.FrequencyType = ftMinutes;
    news.FrequencyMinutes = 30;
    news.FrequencySongs = 12;
    s.ZipCode = kUnsetZipCode;
    s.News = builtInDefinitionsInForce(s.ZipCode);
    return s;
}

QString SettingsPaths::defaultConfigHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home)) {
        const passwd* pw = ::getpwuid(::geteuid());
        home = pw && pw->pw_dir ? QFile::decodeName(pw->pw_dir) : QDir::homePath();
    }
    return home + QStringLiteral("/.config");
}

QString SettingsPaths::perUserFolder() const {
    return configHome + QLatin1Char('/') + kSettingsFolderName;
}

QString SettingsPaths::credentialsFile(bool sameSettings) const {
    const QString store = storeFile(sameSettings);
    return store.left(store.lastIndexOf(QLatin1Char('/')) + 1) + kCredentialsFileName;
}

QString SettingsPaths::djVolumeFile() const {
    return djVolumeFilePath(programFolder);
}

IniFile SettingsStore::read(bool sameSettings) const {
    return IniFile::load(paths_.storeFile(sameSettings));
}

FileResult SettingsStore::load(bool sameSettings, IniFile& ini) const {
    const QString path = paths_.storeFile(sameSettings);
    QString error;
    ini = IniFile::load(path, &error);
    if (!error.isEmpty())
        return {false, QStringLiteral("Cannot read \"%1\": %2").arg(path, error)};
    return {};
}

FileResult SettingsStore::flush(bool sameSettings, const IniFile& ini) const {
    if (!sameSettings) {
        if (FileResult folder = makePrivateFolder(paths_.perUserFolder()); !folder)
            return folder;
        return writeFileAtomically(paths_.perUserFile(), ini.text().toUtf8(), 0600);
    }
    // The shared file of an installed station sits in a system-wide folder that everyone reads
    // and, as a rule, only an administrator may change.
    const QString shared = paths_.sharedFile();
    if (paths_.sharedFolder.isEmpty())
        return ini.save(shared);
    const QString folder = QFileInfo(shared).absolutePath();
    QDir().mkpath(folder);
    const bool writable = QFileInfo::exists(shared)
                              ? ::access(QFile::encodeName(shared).constData(), W_OK) == 0
                              : ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    if (!writable)
        return {false, QStringLiteral("The settings for all users are kept in \"%1\", which you "
                                      "may not change. Ask an administrator to change them or to "
                                      "give you write access.")
                           .arg(shared)};
    return ini.save(shared);
}

void clampToControlRanges(StationSettings& s) {
    s.CrossFade = kCrossFadeRange.clamp(s.CrossFade);
    if (s.ManagerTab != kManagerTabRange.clamp(s.ManagerTab))
        s.ManagerTab = kManagerTabRange.minimum;
    if (s.ArtistSource != kArtistSourceRange.clamp(s.ArtistSource))
        s.ArtistSource = kArtistSourceRange.minimum;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
        if (dj.FrequencyType < ftMinutes || dj.FrequencyType > ftNever)
            dj.FrequencyType = ftSongs;
        dj.FrequencyMinutes = kSlotMinutesRange.clamp(dj.FrequencyMinutes);
        dj.FrequencySongs = kSlotSongsRange.clamp(dj.FrequencySongs);
        if (dj.ListOrder != loOriginal && dj.ListOrder != loRandom)
            dj.ListOrder = loOriginal;
    }
    _rDJ& news = s.DJSlots[kNewsSlot];
    if (news.FrequencyType < ftMinutes || news.FrequencyType > ftNever)
        news.FrequencyType = ftMinutes;
    news.FrequencyMinutes = kNewsMinutesRange.clamp(news.FrequencyMinutes);
    news.FrequencySongs = kNewsSongsRange.clamp(news.FrequencySongs);

    s.PlayerVolume = kPlayerVolumeRange.clamp(s.PlayerVolume);
    s.WaveVolume = kWaveVolumeRange.clamp(s.WaveVolume);
    s.LogKeepDays = kLogKeepDaysRange.clamp(s.LogKeepDays);
    for (StreamSettings& stream : s.Streams) {
        stream.Port = kStreamPortRange.clamp(stream.Port);
        stream.Bitrate = kStreamBitrateRange.clamp(stream.Bitrate);
        if (stream.Format != kStreamFormatMp3 && stream.Format != kStreamFormatOpus)
            stream.Format = kStreamFormatMp3;
    }
    // The DJ slider's limits come from the voice; only keep them usable and the value inside.
    if (s.DJVolumeMin > s.DJVolumeMax)
        std::swap(s.DJVolumeMin, s.DJVolumeMax);
    if (s.DJVolumeInc <= 0)
        s.DJVolumeInc = 1;
    s.DJVolume = SettingRange{s.DJVolumeMin, s.DJVolumeMax}.clamp(s.DJVolume);
}

LoudnessSettings SettingsStore::readLoudness() const {
    const IniFile ini = read(readSameSettings());
    const QString section = QStringLiteral("Loudness");
    LoudnessSettings s;
    s.Enabled = ini.readBool(section, QStringLiteral("Enabled"), s.Enabled);
    bool ok = false;
    const double target =
        ini.readString(section, QStringLiteral("Target"), QString()).trimmed().toDouble(&ok);
    if (ok && std::isfinite(target))
        s.Target = std::clamp(target, kLoudnessTargetMin, kLoudnessTargetMax);
    const QString segue = QStringLiteral("Segue");
    s.TrimSilence = ini.readBool(segue, QStringLiteral("TrimSilence"), s.TrimSilence);
    const double threshold =
        ini.readString(segue, QStringLiteral("Threshold"), QString()).trimmed().toDouble(&ok);
    if (ok && std::isfinite(threshold))
        s.TrimThreshold = std::clamp(threshold, kTrimThresholdMin, kTrimThresholdMax);
    return s;
}

QString SettingsStore::keepDamagedStore(bool sameSettings, const QDateTime& now) const {
    const QString file = paths_.storeFile(sameSettings);
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = in.readAll();
    const QString damage = IniFile::damageIn(bytes);
    if (damage.isEmpty())
        return {};
    const QString day = file + QStringLiteral(".broken-") + now.toString(u"yyyy-MM-dd");
    for (const QString& copy : {day, day + now.toString(u"-HHmmss")}) {
        if (QFileInfo::exists(copy)) {
            // Already kept today: the same damage is told once.
            QFile kept(copy);
            if (kept.open(QIODevice::ReadOnly) && kept.readAll() == bytes)
                return {};
            continue;
        }
        if (const FileResult kept = copyNoOverwrite(file, copy); !kept) {
            notice(QStringLiteral("the settings file \"%1\" is damaged (%2) and could not be "
                                  "kept: %3; what can be read of it is used")
                       .arg(file, damage, kept.error),
                   "settings-damaged");
            return {};
        }
        notice(QStringLiteral("the settings file \"%1\" is damaged (%2): kept as \"%3\"; what "
                              "can be read of it is used, the rest has its defaults")
                   .arg(file, damage, copy),
               "settings-damaged");
        return copy;
    }
    return {};
}

bool SettingsStore::readSameSettings() const {
    return IniFile::load(paths_.sharedFile())
        .readBool(kScreen, QStringLiteral("SameSettings"), false);
}

FileResult SettingsStore::readAtCreate(StationSettings& s) const {
    s.SameSettings = readSameSettings();
    const IniFile ini = read(s.SameSettings);
    s.Top = ini.readInteger(kScreen, QStringLiteral("Top"), 0);
    s.Left = ini.readInteger(kScreen, QStringLiteral("Left"), 0);
    s.WaveVolume = ini.readInteger(kVolume, QStringLiteral("Wave"), 65535);
    s.PlayerVolume = ini.readInteger(kVolume, QStringLiteral("Player"), kDefaultPlayerVolume);
    s.DJVolumeMin = ini.readInteger(kVolume, QStringLiteral("DJMin"), 0);
    s.DJVolumeMax = ini.readInteger(kVolume, QStringLiteral("DJMax"), 65535);
    s.DJVolumeInc = ini.readInteger(kVolume, QStringLiteral("DJInc"), 6500);
    s.DJVolume = ini.readInteger(kVolume, QStringLiteral("DJ"), 65535);
    s.Restart = ini.readBool(kScreen, QStringLiteral("Restart"), false);
    s.StartPlay = ini.readBool(kScreen, QStringLiteral("StartPlay"), true);
    clampToControlRanges(s);
    return update(s.SameSettings, [](IniFile& store) {
        store.writeBool(kScreen, QStringLiteral("Restart"), true);
    });
}

bool SettingsStore::readIni(StationSettings& s, const QTime& now) const {
    const StationSettings d = defaultSettings(paths_.programFolder, now);
    const IniFile ini = read(s.SameSettings);

    s.StationIdentification =
        ini.readString(kGeneral, QStringLiteral("StationIdentification"), d.StationIdentification);
    for (int slot = 1; slot <= kNewsSlot; ++slot)
        s.DJSlots[static_cast<std::size_t>(slot)] = d.DJSlots[static_cast<std::size_t>(slot)];
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
        dj.Name = ini.readString(slotSection(slot), QStringLiteral("Name"), dj.Name);
    }
    s.ManagerTab = ini.readInteger(kGeneral, QStringLiteral("Tab"), d.ManagerTab);
    // Written as "Crossfade" by the Radio Manager: keys match without regard to case.
    s.CrossFade = ini.readInteger(kGeneral, QStringLiteral("CrossFade"), d.CrossFade);
    s.ArtistSource = ini.readInteger(kGeneral, QStringLiteral("ArtistSource"), d.ArtistSource);
    s.PublicService =
        ini.readString(kGeneral, QStringLiteral("PublicService"), d.PublicService).trimmed();
    s.AutoStartTime = ini.readTime(kGeneral, QStringLiteral("AutoStartTime"), d.AutoStartTime);
    s.AutoStopTime = ini.readTime(kGeneral, QStringLiteral("AutoStopTime"), d.AutoStopTime);
    s.AutoStart = ini.readBool(kGeneral, QStringLiteral("AutoStart"), d.AutoStart);
    s.AutoStop = ini.readBool(kGeneral, QStringLiteral("AutoStop"), d.AutoStop);

    s.Duplicates = ini.readBool(kPlayList, QStringLiteral("Duplicates"), d.Duplicates);
    for (int slot = 1; slot <= kSlotCount; ++slot)
        readSlot(ini, slot, s.DJSlots[static_cast<std::size_t>(slot)]);
    s.LastDir1 = ini.readString(kScreen, QStringLiteral("LastDir1"), d.LastDir1);
    s.LastDir2 = ini.readString(kScreen, QStringLiteral("LastDir2"), d.LastDir2);

    s.ZipCode = ini.readString(kNewsSection, kZipCodeKey, d.ZipCode);
    s.ReadNews = ini.readBool(kNewsSection, QStringLiteral("ReadNews"), d.ReadNews);
    s.ReadWeather = ini.readBool(kNewsSection, QStringLiteral("ReadWeather"), d.ReadWeather);
    readSlotFrequency(ini, kNewsSlot, s.DJSlots[kNewsSlot]);
    s.News = readNewsDefinitions(ini, kNewsSection, builtInDefinitionsInForce(s.ZipCode));
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        s.Streams[i] = readStream(ini, kStreamSections[i]);
        s.Streams[i].Password = streamPassword(i, s.SameSettings, ini);
    }
    s.LogEnabled = ini.readBool(kLog, QStringLiteral("Enabled"), d.LogEnabled);
    s.LogKeepDays = ini.readInteger(kLog, QStringLiteral("KeepDays"), d.LogKeepDays);
    clampToControlRanges(s);

    return s.ZipCode == kUnsetZipCode;
}

FileResult SettingsStore::writeZipCode(const StationSettings& s) const {
    return update(s.SameSettings, [&](IniFile& ini) {
        ini.writeString(kNewsSection, kZipCodeKey, s.ZipCode);
        ini.writeString(kNewsSection, QStringLiteral("WeatherURL"), s.News.WeatherURL);
    });
}

FileResult SettingsStore::writeAtClose(const StationSettings& s) const {
    return update(s.SameSettings, [&](IniFile& ini) {
        ini.writeInteger(kScreen, QStringLiteral("Top"), s.Top);
        ini.writeInteger(kScreen, QStringLiteral("Left"), s.Left);
        ini.writeBool(kScreen, QStringLiteral("Restart"), false);
        ini.writeInteger(kVolume, QStringLiteral("Wave"), s.WaveVolume);
        ini.writeInteger(kVolume, QStringLiteral("Player"), s.PlayerVolume);
        ini.writeInteger(kVolume, QStringLiteral("DJ"), s.DJVolume);
        ini.writeInteger(kVolume, QStringLiteral("DJMin"), s.DJVolumeMin);
        ini.writeInteger(kVolume, QStringLiteral("DJMax"), s.DJVolumeMax);
        ini.writeInteger(kVolume, QStringLiteral("DJInc"), s.DJVolumeInc);
        ini.writeString(kScreen, QStringLiteral("LastDir1"), s.LastDir1);
        ini.writeString(kScreen, QStringLiteral("LastDir2"), s.LastDir2);
        ini.writeInteger(kGeneral, QStringLiteral("Tab"), s.ManagerTab);
        ini.writeBool(kPlayList, QStringLiteral("Duplicates"), s.Duplicates);
    });
}

FileResult SettingsStore::writeManagerOK(const StationSettings& s) const {
    // The switch is read from the shared file alone at the next start.
    const FileResult shared = update(true, [&](IniFile& ini) {
        ini.writeBool(kScreen, QStringLiteral("SameSettings"), s.SameSettings);
    });
    if (!shared)
        return shared;
    // An old password in the chosen store first goes where the new one is about to go, so that
    // nothing of it is left in a settings file, whichever way the rest ends.
    if (FileResult moved = moveSecretsOut(s.SameSettings); !moved)
        return moved;
    // The service manager's password (the first output's) stays where the service manager
    // keeps it.
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        const QString& password = s.Streams[i].Password;
        if (i == 0 &&
            readSystemCredential(paths_.systemCredentials, kStreamPasswordCredential) == password)
            continue;
        if (FileResult stored =
                credentials(s.SameSettings).write(kStreamSections[i], kPasswordKey, password);
            !stored)
            return stored;
    }
    FileResult written = update(s.SameSettings, [&](IniFile& ini) {
        ini.writeString(kGeneral, QStringLiteral("StationIdentification"), s.StationIdentification);
        for (int slot = 1; slot <= kSlotCount; ++slot)
            ini.writeString(slotSection(slot), QStringLiteral("Name"),
                            s.DJSlots[static_cast<std::size_t>(slot)].Name);
        ini.writeInteger(kGeneral, QStringLiteral("Crossfade"), s.CrossFade);
        ini.writeInteger(kGeneral, QStringLiteral("Tab"), s.ManagerTab);
        ini.writeInteger(kGeneral, QStringLiteral("ArtistSource"), s.ArtistSource);
        ini.writeString(kGeneral, QStringLiteral("PublicService"), s.PublicService.trimmed());
        ini.writeTime(kGeneral, QStringLiteral("AutoStartTime"), s.AutoStartTime);
        ini.writeTime(kGeneral, QStringLiteral("AutoStopTime"), s.AutoStopTime);
        ini.writeBool(kGeneral, QStringLiteral("AutoStart"), s.AutoStart);
        ini.writeBool(kGeneral, QStringLiteral("AutoStop"), s.AutoStop);
        ini.writeBool(kScreen, QStringLiteral("StartPlay"), s.StartPlay);
        for (int slot = 1; slot <= kSlotCount; ++slot) {
            const _rDJ& dj = s.DJSlots[static_cast<std::size_t>(slot)];
            const QString section = slotSection(slot);
            ini.writeString(section, QStringLiteral("SpeechEngine"), dj.SpeechEngine);
            ini.writeString(section, QStringLiteral("PlayList"), dj.PlayList);
            ini.writeInteger(section, QStringLiteral("FrequencyType"), dj.FrequencyType);
            ini.writeInteger(section, QStringLiteral("FrequencyMinutes"), dj.FrequencyMinutes);
            ini.writeInteger(section, QStringLiteral("FrequencySongs"), dj.FrequencySongs);
            ini.writeInteger(section, QStringLiteral("ListOrder"), dj.ListOrder);
        }
        const _rDJ& news = s.DJSlots[kNewsSlot];
        ini.writeString(kNewsSection, kZipCodeKey, s.ZipCode);
        ini.writeBool(kNewsSection, QStringLiteral("ReadNews"), s.ReadNews);
        ini.writeBool(kNewsSection, QStringLiteral("ReadWeather"), s.ReadWeather);
        ini.writeInteger(kNewsSection, QStringLiteral("FrequencyType"), news.FrequencyType);
        ini.writeInteger(kNewsSection, QStringLiteral("FrequencyMinutes"), news.FrequencyMinutes);
        ini.writeInteger(kNewsSection, QStringLiteral("FrequencySongs"), news.FrequencySongs);
        for (std::size_t i = 0; i < kStreamOutputCount; ++i)
            if (i == 0 || ini.hasSection(kStreamSections[i]) || !untouchedStream(s.Streams[i]))
                writeStream(ini, kStreamSections[i], s.Streams[i]);
        ini.writeBool(kLog, QStringLiteral("Enabled"), s.LogEnabled);
        ini.writeInteger(kLog, QStringLiteral("KeepDays"), s.LogKeepDays);
    });
    if (!written)
        return written;
    // The store not chosen keeps its values, but no secret in a file others may read. Should that
    // fail, the notice says so; these settings are stored all the same.
    (void)moveSecretsOut(!s.SameSettings);
    return {};
}

CredentialsStore SettingsStore::credentials(bool sameSettings) const {
    // The per-user folder is ours alone; the shared one holds the settings everyone reads.
    return CredentialsStore(paths_.credentialsFile(sameSettings),
                            sameSettings ? CredentialsStore::Folder::Shared
                                         : CredentialsStore::Folder::Private);
}

FileResult SettingsStore::moveSecretsOut(bool sameSettings) const {
    const QString from = paths_.storeFile(sameSettings);
    IniFile ini;
    if (FileResult loaded = load(sameSettings, ini); !loaded)
        return loaded;
    const CredentialsStore to = credentials(sameSettings);
    std::vector<std::size_t> found;
    FileResult moved;
    for (std::size_t i = 0; i < kStreamOutputCount && moved; ++i) {
        const QString& section = kStreamSections[i];
        const std::optional<QString> password = passwordInSettings(ini, section);
        if (!password)
            continue;
        found.push_back(i);
        moved = to.write(section, kPasswordKey, *password);
        if (moved)
            ini.eraseKey(section, kPasswordKey);
    }
    if (found.empty())
        return {};
    if (moved)
        moved = flush(sameSettings, ini);
    for (const std::size_t i : found) {
        if (!moved)
            notice(QStringLiteral("%1 is still in \"%2\" and could not be moved to \"%3\": %4")
                       .arg(passwordName(i), from, to.file(), moved.error));
        else
            notice(QStringLiteral("%1 was moved out of \"%2\" into \"%3\", which only its owner "
                                  "can read")
                       .arg(passwordName(i), from, to.file()));
    }
    return moved;
}

QString SettingsStore::streamPassword(std::size_t output, bool sameSettings,
                                      const IniFile& store) const {
    if (output == 0)
        if (std::optional<QString> given =
                readSystemCredential(paths_.systemCredentials, kStreamPasswordCredential))
            return *given;
    const QString& section = kStreamSections[output];
    if (std::optional<QString> old = passwordInSettings(store, section))
        return *old;
    return credentials(sameSettings).read(section, kPasswordKey).value_or(QString());
}

void SettingsStore::notice(const QString& line, const char* traceEvent) const {
    trace::event(traceEvent, line);
    if (notice_) {
        notice_(line);
        return;
    }
    std::fprintf(stderr, "corvalinradio: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int SettingsStore::readDJVolumeFile(int def) const {
    return corvalin::readDJVolumeFile(paths_.programFolder, def);
}

FileResult SettingsStore::writeDJVolumeFile(int value) const {
    return corvalin::writeDJVolumeFile(paths_.programFolder, value);
}

} // namespace corvalin
