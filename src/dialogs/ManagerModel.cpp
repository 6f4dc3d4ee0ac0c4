#include "ManagerModel.h"

#include "core/Helpers.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace corvalin {

namespace {

_rDJ& slotOf(StationSettings& s, int slot) {
    return s.DJSlots[static_cast<std::size_t>(slot)];
}
const _rDJ& slotOf(const StationSettings& s, int slot) {
    return s.DJSlots[static_cast<std::size_t>(slot)];
}

QTime shownTime(const QTime& t) {
    return t.isValid() ? t : kTimeFieldInitial;
}

} // namespace

ManagerControls managerControlsFrom(const StationSettings& s) {
    ManagerControls c;
    c.Page = s.ManagerTab >= 0 && s.ManagerTab < kManagerPageCount ? s.ManagerTab : 0;
    c.StationIdentification = s.StationIdentification;
    c.CrossFade = kCrossfadeSpin.clamp(s.CrossFade);
    c.PublicService = s.PublicService;
    c.AutoStartTime = shownTime(s.AutoStartTime);
    c.AutoStopTime = shownTime(s.AutoStopTime);
    c.AutoStart = s.AutoStart;
    c.AutoStop = s.AutoStop;
    c.StartPlay = s.StartPlay;
    c.SameSettings = s.SameSettings;
    c.ArtistSource = s.ArtistSource >= 0 && s.ArtistSource <= 2 ? s.ArtistSource : 0;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const _rDJ& dj = slotOf(s, slot);
        ManagerSlotControls& page = c.Slots[static_cast<std::size_t>(slot - 1)];
        page.Name = dj.Name;
        page.SpeechEngine = dj.SpeechEngine;
        page.PlayList = dj.PlayList;
        page.FrequencyType = dj.FrequencyType >= ftMinutes && dj.FrequencyType <= ftNever
                                 ? dj.FrequencyType
                                 : ftSongs;
        page.FrequencyMinutes = kDJMinutesSpin.clamp(dj.FrequencyMinutes);
        page.FrequencySongs = kDJSongsSpin.clamp(dj.FrequencySongs);
        page.ListOrder = dj.ListOrder == loRandom ? loRandom : loOriginal;
    }
    const _rDJ& news = slotOf(s, kNewsSlot);
    c.ZipCode = s.ZipCode;
    c.ReadNews = s.ReadNews;
    c.ReadWeather = s.ReadWeather;
    c.NewsFrequencyType = news.FrequencyType == ftSongs ? ftSongs : ftMinutes;
    c.NewsFrequencyMinutes = kNewsMinutesSpin.clamp(news.FrequencyMinutes);
    c.NewsFrequencySongs = kNewsSongsSpin.clamp(news.FrequencySongs);
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        const StreamSettings& stream = s.Streams[i];
        ManagerStreamControls& out = c.Streams[i];
        out.Enabled = stream.Enabled;
        out.Host = stream.Host;
        out.Port = QString::number(kStreamPortSpin.clamp(stream.Port));
        out.Mount = stream.Mount;
        out.User = stream.User;
        out.Password = stream.Password;
        out.Format = stream.Format == kStreamFormatOpus ? kStreamFormatOpus : kStreamFormatMp3;
        out.Bitrate = kStreamBitrateSpin.clamp(stream.Bitrate);
        out.Name = stream.Name;
        out.Description = stream.Description;
        out.Genre = stream.Genre;
        out.Url = stream.Url;
        out.Public = stream.Public;
    }
    c.LogEnabled = s.LogEnabled;
    c.LogKeepDays = kLogKeepDaysSpin.clamp(s.LogKeepDays);
    return c;
}

QTime toggleAmPm(const QTime& time) {
    // addSecs wraps around midnight, so 0:00 becomes 12:00 and back.
    return time.addSecs(time.hour() < 12 ? 12 * 3600 : -12 * 3600);
}

std::optional<QTime> parseTypedTime(const QString& typed) {
    // Hour, then minutes after ":" or "." or straight after a two-digit hour ("1150", "750"),
    // then "a"/"p" with an optional "m" and dots ("pm", "P.M.").
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,2})(?:\\s*[:.]\\s*(\\d{2})|(\\d{2}))?"
                       "\\s*(?:([ap])\\.?\\s*(?:m\\.?)?)?\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(typed);
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const QString minutes = m.hasCaptured(2) ? m.captured(2) : m.captured(3);
    const int minute = minutes.isEmpty() ? 0 : minutes.toInt();
    if (m.hasCaptured(4)) {
        // 12-hour: 12 AM is midnight, 12 PM noon.
        if (hour < 1 || hour > 12)
            return std::nullopt;
        const bool pm = m.captured(4).compare(QLatin1String("p"), Qt::CaseInsensitive) == 0;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return QTime(hour, minute);
}

QString weatherURLForZipCode(const QString& weatherURL, const QString& oldZipCode,
                             const QString& typedZipCode) {
    const QString oldTrimmed = oldZipCode.trimmed();
    // An empty old code is found nowhere: it would otherwise "replace" nothing into a blank.
    if (oldTrimmed.isEmpty() || typedZipCode.trimmed() == oldTrimmed ||
        !weatherURL.contains(oldTrimmed, Qt::CaseSensitive))
        return weatherURL;
    return ReplaceText(weatherURL, oldZipCode, typedZipCode);
}

QString publicServiceText(const QString& typed) {
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|[\r\n\u2028\u2029]"));
    QString text = typed;
    text.replace(lineBreak, QStringLiteral(" "));
    return text.trimmed();
}

StationSettings settingsAfterManagerOK(const StationSettings& before, const ManagerControls& c) {
    StationSettings s = before;
    if (!c.StationIdentification.isEmpty())
        s.StationIdentification = c.StationIdentification;
    s.CrossFade = c.CrossFade;
    s.ArtistSource = c.ArtistSource;
    s.PublicService = publicServiceText(c.PublicService);
    s.AutoStartTime = c.AutoStartTime;
    s.AutoStopTime = c.AutoStopTime;
    s.AutoStart = c.AutoStart;
    s.AutoStop = c.AutoStop;
    s.StartPlay = c.StartPlay;
    s.SameSettings = c.SameSettings;
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const ManagerSlotControls& page = c.Slots[static_cast<std::size_t>(slot - 1)];
        _rDJ& dj = slotOf(s, slot);
        dj.Name = page.Name;
        dj.SpeechEngine = page.SpeechEngine;
        dj.PlayList = page.PlayList;
        dj.FrequencyType = page.FrequencyType;
        dj.FrequencyMinutes = page.FrequencyMinutes;
        dj.FrequencySongs = page.FrequencySongs;
    }
    for (int slot = 1; slot <= kSlotCount; ++slot)
        slotOf(s, slot).ListOrder = c.Slots[static_cast<std::size_t>(slot - 1)].ListOrder;

    s.News.WeatherURL = weatherURLForZipCode(before.News.WeatherURL, before.ZipCode, c.ZipCode);
    s.ZipCode = c.ZipCode; // as typed, blanks included
    s.ReadNews = c.ReadNews;
    s.ReadWeather = c.ReadWeather;
    _rDJ& news = slotOf(s, kNewsSlot);
    news.FrequencyType = c.NewsFrequencyType == ftMinutes ? ftMinutes : ftSongs;
    news.FrequencyMinutes = c.NewsFrequencyMinutes;
    news.FrequencySongs = c.NewsFrequencySongs;

    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        const ManagerStreamControls& stream = c.Streams[i];
        StreamSettings& out = s.Streams[i];
        out.Enabled = stream.Enabled;
        out.Host = stream.Host.trimmed();
        // broadcastProblem refuses a port that is none before OK gets here.
        out.Port = streamPortFrom(stream.Port).value_or(before.Streams[i].Port);
        out.Mount = stream.Mount.trimmed();
        out.User = stream.User.trimmed();
        out.Password = stream.Password;
        out.Format = stream.Format;
        out.Bitrate = stream.Bitrate;
        out.Name = stream.Name.trimmed();
        out.Description = stream.Description;
        out.Genre = stream.Genre;
        out.Url = stream.Url.trimmed();
        out.Public = stream.Public;
    }
    s.LogEnabled = c.LogEnabled;
    s.LogKeepDays = c.LogKeepDays;
    return s;
}

std::optional<int> streamPortFrom(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const QString t = text.trimmed();
    if (!digits.match(t).hasMatch())
        return std::nullopt;
    const int port = t.toInt();
    if (port < kStreamPortMin || port > kStreamPortMax)
        return std::nullopt;
    return port;
}

ManagerProblem broadcastProblem(const ManagerStreamControls& stream) {
    static const QRegularExpression blank(QStringLiteral("\\s"));
    const QString host = stream.Host.trimmed();
    const QString mount = stream.Mount.trimmed();
    if (!streamPortFrom(stream.Port))
        return {QStringLiteral("The port of the Icecast server must be a whole number from %1 to "
                               "%2; \"%3\" is not.")
                    .arg(kStreamPortMin)
                    .arg(kStreamPortMax)
                    .arg(stream.Port.trimmed()),
                QStringLiteral("eStreamPort")};
    if (host.contains(blank) || host.contains(QLatin1Char('/')))
        return {QStringLiteral("The server is a host name or an address alone, such as "
                               "icecast.example.org or 192.168.1.20: no blank, no \"http://\", "
                               "no path."),
                QStringLiteral("eStreamHost")};
    if (mount.isEmpty() || mount == QLatin1String("/"))
        return {QStringLiteral("The mount point names the stream on the server, such as /radio."),
                QStringLiteral("eStreamMount")};
    if (mount.contains(blank))
        return {QStringLiteral("The mount point \"%1\" holds a blank; a mount point has none.")
                    .arg(mount),
                QStringLiteral("eStreamMount")};
    if (!stream.Enabled)
        return {}; // a stream that is off may wait for its server and password
    if (host.isEmpty())
        return {QStringLiteral("The stream is on but names no server. Type the Icecast server's "
                               "name or address, or turn the stream off."),
                QStringLiteral("eStreamHost")};
    if (stream.Password.isEmpty())
        return {QStringLiteral("The stream is on but has no password. Type the server's source "
                               "password, or turn the stream off."),
                QStringLiteral("eStreamPassword")};
    return {};
}

namespace {

// Where an output sends, as the server tells mounts apart.
QString streamTarget(const ManagerStreamControls& stream) {
    QString mount = stream.Mount.trimmed();
    if (!mount.startsWith(QLatin1Char('/')))
        mount.prepend(QLatin1Char('/'));
    return QStringLiteral("%1:%2%3")
        .arg(stream.Host.trimmed().toLower())
        .arg(streamPortFrom(stream.Port).value_or(0))
        .arg(mount);
}

} // namespace

ManagerProblem
broadcastProblem(const std::array<ManagerStreamControls, kStreamOutputCount>& streams) {
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        ManagerProblem problem = broadcastProblem(streams[i]);
        if (!problem)
            continue;
        if (i > 0)
            problem.text = QStringLiteral("Output %1: ").arg(i + 1) + problem.text;
        problem.output = static_cast<int>(i);
        return problem;
    }
    for (std::size_t i = 1; i < kStreamOutputCount; ++i) {
        if (!streams[i].Enabled)
            continue;
        for (std::size_t j = 0; j < i; ++j) {
            if (!streams[j].Enabled || streamTarget(streams[j]) != streamTarget(streams[i]))
                continue;
            return {QStringLiteral("Output %1 sends to the same mount point as output %2 (%3); "
                                   "the server takes one stream per mount point. Give output %1 "
                                   "a mount point of its own, such as /radio-low.")
                        .arg(i + 1)
                        .arg(j + 1)
                        .arg(streamTarget(streams[i])),
                    QStringLiteral("eStreamMount"), static_cast<int>(i)};
        }
    }
    return {};
}

QString streamOutputSummary(const ManagerStreamControls& stream) {
    if (!stream.Enabled)
        return QStringLiteral("Off");
    const QString format = QStringLiteral("%1 %2 kbit/s")
                               .arg(stream.Format == kStreamFormatOpus ? QStringLiteral("Opus")
                                                                       : QStringLiteral("MP3"))
                               .arg(stream.Bitrate);
    if (stream.Host.trimmed().isEmpty())
        return format + QStringLiteral(" (no server yet)");
    QString mount = stream.Mount.trimmed();
    if (!mount.startsWith(QLatin1Char('/')))
        mount.prepend(QLatin1Char('/'));
    return format +
           QStringLiteral(" to %1:%2%3").arg(stream.Host.trimmed(), stream.Port.trimmed(), mount);
}

ManagerRemoteControls remoteControlsFrom(const RemoteSettings& s) {
    ManagerRemoteControls c;
    c.Enabled = s.Enabled;
    c.Address = s.Address;
    c.Port = QString::number(s.Port);
    c.Token = s.Token;
    return c;
}

namespace {

bool isAddress(const QString& address) {
    const QString a = address.trimmed();
    return a.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           !QHostAddress(a).isNull();
}

} // namespace

ManagerProblem remoteProblem(const ManagerRemoteControls& remote) {
    const QString address = remote.Address.trimmed();
    if (!streamPortFrom(remote.Port))
        return {QStringLiteral("The port of the web page must be a whole number from %1 to %2; "
                               "\"%3\" is not.")
                    .arg(kStreamPortMin)
                    .arg(kStreamPortMax)
                    .arg(remote.Port.trimmed()),
                QStringLiteral("eRemotePort")};
    if (!isAddress(address))
        return {QStringLiteral("The web page listens on an IP address of this machine, such as "
                               "127.0.0.1 (this machine only), 192.168.1.20 (that network) or "
                               "0.0.0.0 (every network); \"%1\" is none.")
                    .arg(address),
                QStringLiteral("eRemoteAddress")};
    if (!isLoopbackAddress(address) && remote.Token.isEmpty())
        return {QStringLiteral("On %1 other machines can reach the web page, so it needs a token "
                               "first: press \"New token\", or listen on 127.0.0.1.")
                    .arg(address),
                QStringLiteral("bRemoteNewToken")};
    return {};
}

QString remotePageAddress(const ManagerRemoteControls& remote) {
    const std::optional<int> port = streamPortFrom(remote.Port);
    if (!port || !isAddress(remote.Address))
        return {};
    RemoteSettings s;
    s.Address = remote.Address.trimmed();
    s.Port = *port;
    return remotePageUrl(s);
}

RemoteSettings remoteSettingsAfterOK(const ManagerRemoteControls& remote) {
    RemoteSettings s;
    s.Enabled = remote.Enabled;
    s.Address = remote.Address.trimmed();
    // remoteProblem refuses a port that is none before OK gets here.
    s.Port = streamPortFrom(remote.Port).value_or(s.Port);
    s.Token = remote.Token;
    if (s.Enabled && s.Token.isEmpty())
        s.Token = newRemoteToken();
    return s;
}

QString streamPasswordHint(const SettingsPaths& paths, std::size_t output) {
    QString hint =
        QStringLiteral("Kept apart from the settings, in a file only its owner can read:\r%1 "
                       "(settings per user)\r%2 (same settings for all users)")
            .arg(paths.credentialsFile(false), paths.credentialsFile(true));
    if (output == 0 && readSystemCredential(paths.systemCredentials, kStreamPasswordCredential))
        hint += QStringLiteral("\rNow given by the service manager (credential %1): OK leaves it "
                               "there.")
                    .arg(kStreamPasswordCredential);
    return hint;
}

FileResult confirmManager(ManagerContext& context, const ManagerControls& controls) {
    const StationSettings next = settingsAfterManagerOK(context.Settings, controls);
    const SettingsStore& store = context.Store;
    const bool sharedSwitch = store.readSameSettings();

    if (FileResult written = store.writeManagerOK(next); !written) {
        // The switch may already be in the shared file while the store it selects could not be
        // written: the next start would then read a store without these values. Put it back.
        if (store.readSameSettings() != sharedSwitch) {
            (void)store.update(true, [&](IniFile& ini) {
                ini.writeBool(QStringLiteral("Screen"), QStringLiteral("SameSettings"),
                              sharedSwitch);
            });
        }
        return written;
    }
    const bool addressChanged = next.News.WeatherURL != context.Settings.News.WeatherURL;
    if (addressChanged) {
        // The address follows the zip code into the store too, or the next start would fetch the
        // old place's weather. Should this write fail, the address still holds until the next
        // start, as before.
        (void)store.update(next.SameSettings, [&](IniFile& ini) {
            ini.writeString(kNewsSection, QStringLiteral("WeatherURL"), next.News.WeatherURL);
        });
    }

    context.Settings = next;
    if (context.RearmAutoClocks)
        context.RearmAutoClocks();
    if (addressChanged && context.NewsDefinitionsChanged)
        context.NewsDefinitionsChanged(context.Settings.News);
    if (context.ForceSlotReload)
        context.ForceSlotReload();
    return {};
}

FileResult confirmRemote(const SettingsStore& store, const ManagerRemoteControls& remote) {
    const RemoteSettings s = remoteSettingsAfterOK(remote);
    if (FileResult written = writeRemoteSettings(store, s); !written)
        return written;
    if (s.Token.isEmpty())
        return {};
    return writeRemoteToken(store, s.Token);
}

QString remoteSaveErrorText(const FileResult& failure) {
    return QStringLiteral("The web page's settings could not be saved.\r%1\rThe other settings "
                          "were saved.")
        .arg(failure.error);
}

QString managerSaveErrorText(const FileResult& failure) {
    return QStringLiteral("The station settings could not be saved.\r%1\rNothing was changed.")
        .arg(failure.error);
}

} // namespace corvalin
