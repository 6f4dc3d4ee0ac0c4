#include "voice/DJTalk.h"

#include "core/Helpers.h"
#include "voice/CleanSpeech.h"

#include <optional>
#include <stdexcept>

namespace corvalin {

namespace {

const QString kBlank = QStringLiteral(" ");
const QString kSampleArtist = QStringLiteral("Corvalin Radio Sample");
constexpr qint64 kAnnouncementIntervalMs = 50 * 60 * 1000;

enum class NameOrder { TitleFirst, ArtistFirst };

// A song's artist or title as plain words: a backslash would pair with the talk's own speech
// tags (an artist "AC\DC" swallowing the station name, a title "\Pau=9000\" silencing the
// DJ), and a text of thousands of characters would keep the DJ talking for minutes.
QString songWords(const QString& text) {
    QString words = text;
    words.replace(QLatin1Char('\\'), QLatin1Char(' '));
    return CapText(words, kMaxSongTextChars);
}

// The naming of a song, when it applies: the name part that follows the opening words.
std::optional<QString> namePart(const _rSong& song, const TVocabulary& v, NameOrder order) {
    if (song.FileName.isEmpty() || song.NeverAnnounce ||
        (song.Artist.isEmpty() && song.Title.isEmpty()))
        return std::nullopt;
    const QString t =
        ((song.TheTitle ? v.zzDJ2 + kBlank : QString()) + songWords(song.Title)).trimmed();
    const QString a =
        ((song.TheArtist ? v.zzDJ2 + kBlank : QString()) + songWords(song.Artist)).trimmed();
    // The form is chosen by the stored fields, before the prefix and the trimming.
    if (!song.Artist.isEmpty() && !song.Title.isEmpty()) {
        if (order == NameOrder::TitleFirst)
            return kBlank + t + v.Comma + kBlank + v.zzDJ3 + kBlank + a + v.Period;
        return kBlank + a + v.Comma + kBlank + v.zzDJ35 + kBlank + t + v.Period;
    }
    if (!song.Title.isEmpty())
        return kBlank + t + v.Period;
    return kBlank + a + v.Period;
}

// A weather station's place: an airport ("Logan Intl. Arpt.") or an airfield ("Edwards Field").
// "Field" counts only as a word of its own: Springfield and Mansfield are towns.
bool isAirfield(const QString& city) {
    const QString upper = city.toUpper();
    if (upper.contains(QStringLiteral("ARPT.")))
        return true;
    const QString field = QStringLiteral("FIELD");
    for (qsizetype at = upper.indexOf(field); at >= 0; at = upper.indexOf(field, at + 1)) {
        const qsizetype end = at + field.size();
        if ((at == 0 || !upper[at - 1].isLetter()) &&
            (end == upper.size() || !upper[end].isLetter()))
            return true;
    }
    return false;
}

// `text`, one blank and `word`; a word that opens with a mark that clings to the word before it
// (", it is") follows the text's last word directly, the blanks between them dropped.
QString followedBy(const QString& text, const QString& word) {
    static const QString clinging = QStringLiteral(",.;:!?");
    if (word.isEmpty() || !clinging.contains(word.front()))
        return text + kBlank + word;
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return text.first(end) + word;
}

QString padded(const QString& word) {
    return kBlank + word + kBlank;
}

} // namespace

QString TDJTalk::TimeAnnouncement(const TVocabulary& v, const QTime& time,
                                  const QString& timeSeparator) {
    const int h = time.hour();
    const int m = time.minute();

    // This hour: suffix E, suffix F after "o'clock", and the hour as said (HC).
    QString e, f;
    int hc = h;
    if (h == 0) {
        e = v.zzDJ5, f = v.zzDJ12, hc = 12;
    } else if (h == 1 || (h >= 5 && h <= 11)) {
        e = v.zzDJ5, f = v.zzDJ6;
    } else if (h >= 2 && h <= 4) {
        e = v.zzDJ7, f = v.zzDJ8;
    } else if (h == 12) {
        e = v.zzDJ9, f = v.zzDJ11;
    } else {
        e = v.zzDJ9, f = v.zzDJ10, hc = h - 12;
    }
    // The coming hour (suffix G, HN), for announcements after the half hour.
    QString g = e;
    int hn = h + 1;
    if (h == 0)
        g = v.zzDJ5;
    else if (h == 11)
        g = v.zzDJ11;
    else if (h == 12)
        g = v.zzDJ9, hn = 1;
    else if (h >= 13 && h <= 22)
        hn = h - 11;
    else if (h == 23)
        g = v.zzDJ12, hn = 12;
    e = padded(e);
    f = padded(f);
    g = padded(g);

    const QString hcText = QString::number(hc);
    const QString hnText = QString::number(hn);
    switch (m) {
    case 0:
        if (h == 0)
            return v.zzDJ14 + kBlank;
        if (h == 12)
            return v.zzDJ13 + kBlank;
        return v.zzDJ15 + kBlank + hcText + kBlank + e;
    case 1:
        return v.zzDJ15 + kBlank + QStringLiteral("1") + kBlank + v.zzDJ16 + kBlank + hcText +
               kBlank + v.zzDJ18 + kBlank + v.ShortPause + f;
    case 2:
    case 5:
    case 10:
        return v.zzDJ15 + kBlank + QString::number(m) + kBlank + v.zzDJ17 + kBlank + hcText +
               kBlank + v.zzDJ18 + kBlank + v.ShortPause + f;
    case 15:
    case 20:
    case 25:
    case 30:
    case 35:
    case 40:
    case 45:
        return v.zzDJ19 + kBlank + hcText + timeSeparator + QString::number(m) + kBlank + e;
    case 50:
    case 55:
    case 58:
        return v.zzDJ20 + kBlank + hnText + kBlank + v.zzDJ18 + kBlank + v.ShortPause + g + kBlank +
               v.zzDJ21 + kBlank + QString::number(60 - m) + kBlank + v.zzDJ21a + kBlank;
    case 59:
        return v.zzDJ15 + kBlank + QStringLiteral("1") + kBlank + v.zzDJ22 + kBlank + hnText +
               kBlank + v.zzDJ18 + kBlank + v.ShortPause + g;
    default:
        return {};
    }
}

void TDJTalk::Timer2Timer() {
    if (in_.host.TalkSettings().FrequencyType == ftRandom)
        in_.state.SongsUntilTalk = 1 + in_.random.below(11);
    SetDJSpeech();
}

void TDJTalk::SetDJSpeech() {
    const QDateTime now = in_.clock.now();
    in_.state.LastDJTalk = now;
    in_.state.SongsSinceTalk = 0;
    if (!in_.host.HasVoices())
        return;
    try {
        compose(now);
        return;
    } catch (...) {
        // Falls through to keep the station on air.
    }
    if (in_.host.PlayDown())
        in_.host.PlaySong();
    else
        in_.host.bStopClick();
}

void TDJTalk::compose(const QDateTime& now) {
    const TVocabulary& v = in_.vocabulary;
    const TTalkSettings settings = in_.host.TalkSettings();
    in_.state.NextSongIntro.clear();

    // The fetched texts are taken once: what this talk reads is emptied for the next.
    const NewsTexts news = in_.news.takeForTalk();

    // Pieces in the order they are said; the phrase lists are drawn in this order too.
    const QString p1 = lastSongPiece();
    const QString p2 = in_.phrases.GetPhrase(in_.lists.ThisIsPhrases);
    const QString p3 = newsPiece(news);
    QString p4 = TimeAnnouncement(v, now.time(), in_.timeSeparator);
    if (!p4.isEmpty())
        p4 += v.LongPause;
    const QString p5 = weatherPiece(news);
    const QString p6 = announcementPiece(settings, now);
    const QString p7 = nextSongPiece();

    QString text = p1 + v.LongPause + p2 + v.LongPause + p3 + v.LongPause + p4 + v.LongPause + p5 +
                   v.LongPause + p6 + v.LongPause + v.Intro + p7;
    text = CleanSpeech(text, TSpeechNames{settings.StationIdentification, settings.DJName, v.Emp});

    in_.host.ClearDJTestRunning();
    if (!in_.host.Speak(settings.SpeechEngine, text))
        throw std::runtime_error("the talk was not handed to the speech engine");
}

QString TDJTalk::lastSongPiece() {
    const TVocabulary& v = in_.vocabulary;
    const _rSong& song = in_.Songs[kLastSongInfo];
    QString piece;
    if (const auto name = namePart(song, v, NameOrder::TitleFirst))
        piece = in_.phrases.GetPhrase(in_.lists.LastSongPhrases) + v.LongPause + v.zzDJ1 + kBlank +
                *name;
    piece += v.LongPause;
    // The sample songs remind the operator to set up the play lists, named or not.
    if (song.Artist == kSampleArtist)
        piece += v.LongPause + kBlank + v.zzDJ4 + kBlank;
    return piece;
}

QString TDJTalk::newsPiece(const NewsTexts& news) {
    if (news.NewsHeadline.isEmpty())
        return {};
    const TVocabulary& v = in_.vocabulary;
    QString before = in_.phrases.GetPhrase(in_.lists.BeforeNewsPhrases);
    if (!before.isEmpty())
        before = v.LongPause + before + v.LongPause;
    QString after = in_.phrases.GetPhrase(in_.lists.AfterNewsPhrases);
    if (!after.isEmpty())
        after += v.LongPause;
    return before + news.NewsHeadline + v.LongPause + after;
}

QString TDJTalk::weatherPiece(const NewsTexts& news) {
    if (news.WeatherTemperature.isEmpty())
        return {};
    const TVocabulary& v = in_.vocabulary;
    QString place;
    if (!news.WeatherCity.isEmpty()) {
        const bool airfield = isAirfield(news.WeatherCity);
        place = kBlank + (airfield ? v.zzDJ23 : v.zzDJ24) + kBlank + news.WeatherCity;
    }
    QString piece;
    // "Outside here in Springfield, it is": the place's comma opens zzDJ26.
    if (!news.WeatherCondition.isEmpty())
        piece = followedBy(v.LongPause + kBlank + v.zzDJ25 + kBlank + place.trimmed(), v.zzDJ26) +
                kBlank + news.WeatherCondition + QStringLiteral(", ") + kBlank + v.zzDJ27 + kBlank;
    else
        piece = followedBy(kBlank + v.zzDJ25 + kBlank + place, v.zzDJ26) + kBlank;
    return piece + news.WeatherTemperature + kBlank + v.zzDJ28 + kBlank + v.LongPause;
}

QString TDJTalk::announcementPiece(const TTalkSettings& settings, const QDateTime& now) {
    const QDateTime& last = in_.state.LastPSA;
    if (last.isValid() && last.msecsTo(now) <= kAnnouncementIntervalMs)
        return {};
    // The interval restarts also when there is nothing to announce.
    in_.state.LastPSA = now;
    if (settings.PublicService.trimmed().isEmpty())
        return {};
    const TVocabulary& v = in_.vocabulary;
    return v.LongPause + kBlank + v.zzDJ29 + kBlank + v.LongPause + settings.PublicService +
           v.LongPause + kBlank + v.zzDJ34 + kBlank + v.LongPause;
}

QString TDJTalk::nextSongPiece() {
    const auto name = namePart(in_.Songs[kNextSongInfo], in_.vocabulary, NameOrder::ArtistFirst);
    if (!name)
        return {};
    in_.state.NextSongIntro = in_.phrases.GetPhrase(in_.lists.NextSongPhrases) + *name;
    return in_.state.NextSongIntro;
}

} // namespace corvalin
