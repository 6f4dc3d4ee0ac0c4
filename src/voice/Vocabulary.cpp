#include "voice/Vocabulary.h"

#include "platform/FileSystem.h"

#include <QFile>
#include <QFileInfo>
#include <array>

namespace corvalin {

namespace {

const QString kCommands = QStringLiteral("Commands");
const QString kCommonPhrases = QStringLiteral("CommonPhrases");

// The "a" sets: one common list and the slots that say a phrase differently.
struct Variant {
    int key;
    const char* sets; // slot digits that use `phrase`
    const char* phrase;
};

const std::array<const char*, 21> kAfterSong = {
    "No no no.",
    "That was great.",
    "Reluctantly,",
    "Beautiful!",
    "Well. You either love it, or love to hate it!",
    "Smo-ken!",
    "A blast from the past!",
    "Oh my, my.",
    "I love that one.",
    "What was that?",
    "Yeah!",
    "Can you dig it?",
    "Wow! Guys and gals,",
    "I hope you are enjoying this.",
    "That was just great!",
    "Don't you just love it?",
    "Spin it again.",
    "Oh yes!",
    "Man! Now I've heard it all!",
    "Uh um um um!",
    "Unbelievable!",
};

const std::array<Variant, 5> kAfterSongVariants = {{
    {2, "2", "That was great!"},
    {8, "24", "Oh my, my!"},
    {9, "24", "I love that one!"},
    {17, "1", "Spin it again!"},
    {18, "23", "Oh yes."},
}};

const std::array<std::array<const char*, 12>, 4> kThisIs = {{
    {
        "This is &StationIdentification&.",
        "We've got all your favorites! here on &StationIdentification&.",
        "You're tuned in to &StationIdentification&.",
        "This is the morning show with &DJName&, and all your friends here at "
        "&StationIdentification&.",
        "&DJName& and the morning show, on &StationIdentification&!",
        "This is the morning show, with &DJName&, and one more cup of coffee.",
        "&DJName& here!",
        "So pour some more coffee, and keep listening to, &DJName& and all your friends here at "
        "&StationIdentification&.",
        "We love listening to &DJName& and &StationIdentification&.",
        "&DJName& spinning your discs.",
        "I need more coffee, and &DJName& and &StationIdentification&.",
        "&StationIdentification& and &DJName& saying Good Morning to you!",
    },
    {
        "This is &StationIdentification&.",
        "We've got all your favorites! here on &StationIdentification&.",
        "You're tuned in to &StationIdentification&.",
        "This is &DJName&, hoping you are having a pleasant afternoon.",
        "You are enduring this afternoon with &DJName&, and &StationIdentification&!",
        "Good afternoon! This is &DJName&.",
        "&DJName& here!",
        "We love listening to &DJName& and &StationIdentification&.",
        "&DJName& spinning your discs.",
        "&DJName&, says, Hey!",
        "The clock and &DJName& here.",
        "&StationIdentification& and &DJName& and a Good Afternoon!",
    },
    {
        "This is &StationIdentification&.",
        "We've got all your favorites! here on &StationIdentification&.",
        "You're tuned in to &StationIdentification&.",
        "&DJName& here with you on this romantic evening.",
        "&DJName& plays only the best songs!",
        "You've got the sun going down, and &DJName&, and &StationIdentification&.",
        "&DJName& here!",
        "We love listening to &DJName& and &StationIdentification&.",
        "&DJName& spinning your discs.",
        "&DJName&, says, Hey!",
        "The evening and &DJName& here.",
        "&StationIdentification& and &DJName& and a Good Evening!",
    },
    {
        "This is &StationIdentification&.",
        "We've got all your favorites! here on &StationIdentification&.",
        "You're staying up all night, with &DJName& here.",
        "&DJName& here asking, Why are you still awake?",
        "Are you still with me? This is your late night friend, &DJName&.",
        "&DJName&, here.",
        "You're at the pajama party, with &DJName&.",
        "All alone with &DJName&.",
        "&DJName& spinning your discs.",
        "&DJName&, says, Hey!",
        "Sail away with &DJName& and &StationIdentification&.",
        "&StationIdentification& and &DJName& wishing you a pleasant good night.",
    },
}};

// "1c", "3c" and "4c"; "3c" and "4c" end keys 12 and 13 with a full stop.
const std::array<const char*, 19> kBeforeSong = {
    "And now, let's listen to,",
    "Coming up next, We've got,",
    "Here's the one You've been waiting for!",
    "Stay with us for,",
    "Next the sounds of,",
    "Dig this!",
    "Get an ear full of,",
    "When is the last time you heard this?",
    "Get ready now! Here is,",
    "Next!",
    "Where did this one come from?",
    "Here is your favorite,",
    "How about this one,",
    "Exclusively from &StationIdentification&.",
    "I love this.",
    "Sing along with,",
    "Get ready now! Here is,",
    "Have you heard,",
    "Like it or not, here is,",
};

const std::array<const char*, 19> kBeforeSongAfternoon = {
    "Next!",
    "Exclusively from &StationIdentification&,",
    "Here is your favorite,",
    "Get ready now! Here is,",
    "When is the last time you heard this?",
    "Get ready now! Here is,",
    "Stay with us for,",
    "Get an ear full of,",
    "How about this one,",
    "And now, let's listen to,",
    "Next the sounds of,",
    "Like it or not, here is,",
    "Sing along with,",
    "Coming up next, We've got,",
    "Here's the one You've been waiting for!",
    "Have you heard,",
    "Dig this!",
    "I love this.",
    "Where did this one come from?",
};

const std::array<const char*, 4> kBeforeNews = {
    "And now, here is the latest news headline.",
    "Stand by, for news!",
    "And now for a more serious note.",
    "And here is the latest from the &StationIdentification& news desk.",
};

const std::array<const char*, 4> kAfterNews = {
    "Now remember, you heard it here first!",
    "And that's the way it was!",
    "Well, we all wish it was some good news.",
    "That's all folks!",
};

template <std::size_t N> QStringList toList(const std::array<const char*, N>& phrases) {
    QStringList list;
    for (const char* p : phrases)
        list << QString::fromUtf8(p);
    return list;
}

QString fileName(const char* name) {
    return QString::fromLatin1(name);
}

} // namespace

const std::vector<TVocabularyKey>& vocabularyKeys() {
    using V = TVocabulary;
    static const std::vector<TVocabularyKey> keys = {
        {"Commands", "ShortPause", &V::ShortPause, "\\Pau=250\\"},
        {"Commands", "LongPause", &V::LongPause, "\\Pau=500\\"},
        {"Commands", "Emp", &V::Emp, "\\Emp\\"},
        {"Commands", "Intro", &V::Intro, "\\Mrk=700\\"},
        {"Commands", "Period", &V::Period, "."},
        {"Commands", "Comma", &V::Comma, ","},
        {"CommonPhrases", "zzDJ1", &V::zzDJ1, "That was,"},
        {"CommonPhrases", "zzDJ2", &V::zzDJ2, "The"},
        {"CommonPhrases", "zzDJ3", &V::zzDJ3, "from,"},
        {"CommonPhrases", "zzDJ4", &V::zzDJ4,
         "You need to tell me what songs I should play for you, so click on Radio Manager, right "
         "now!"},
        {"CommonPhrases", "zzDJ5", &V::zzDJ5, "A.M."},
        {"CommonPhrases", "zzDJ6", &V::zzDJ6, "A.M."},
        {"CommonPhrases", "zzDJ7", &V::zzDJ7, "in the morning!"},
        {"CommonPhrases", "zzDJ8", &V::zzDJ8, "in the morning!"},
        {"CommonPhrases", "zzDJ9", &V::zzDJ9, "P.M."},
        {"CommonPhrases", "zzDJ10", &V::zzDJ10, "P.M."},
        {"CommonPhrases", "zzDJ11", &V::zzDJ11, "noon"},
        {"CommonPhrases", "zzDJ12", &V::zzDJ12, "midnight"},
        {"CommonPhrases", "zzDJ13", &V::zzDJ13, "The current time is, 12 o'clock, noon"},
        {"CommonPhrases", "zzDJ14", &V::zzDJ14, "The current time is, 12 o'clock, midnight"},
        {"CommonPhrases", "zzDJ15", &V::zzDJ15, "The current time is,"},
        {"CommonPhrases", "zzDJ16", &V::zzDJ16, "minute after"},
        {"CommonPhrases", "zzDJ17", &V::zzDJ17, "minutes after"},
        {"CommonPhrases", "zzDJ18", &V::zzDJ18, "o'clock"},
        {"CommonPhrases", "zzDJ19", &V::zzDJ19, "It's"},
        {"CommonPhrases", "zzDJ20", &V::zzDJ20, "The time will be"},
        {"CommonPhrases", "zzDJ21", &V::zzDJ21, "in just"},
        {"CommonPhrases", "zzDJ21a", &V::zzDJ21a, "minutes"},
        {"CommonPhrases", "zzDJ22", &V::zzDJ22, "minute before"},
        {"CommonPhrases", "zzDJ23", &V::zzDJ23, "over at"},
        {"CommonPhrases", "zzDJ24", &V::zzDJ24, "here in"},
        {"CommonPhrases", "zzDJ25", &V::zzDJ25, "Outside"},
        {"CommonPhrases", "zzDJ26", &V::zzDJ26, ", it is"},
        {"CommonPhrases", "zzDJ27", &V::zzDJ27, "and"},
        {"CommonPhrases", "zzDJ28", &V::zzDJ28, "degrees"},
        {"CommonPhrases", "zzDJ29", &V::zzDJ29,
         "Well! Here is a public service announcement, if I may have your attention please."},
        {"CommonPhrases", "zzDJ34", &V::zzDJ34, "OK"},
        {"CommonPhrases", "zzDJ35", &V::zzDJ35, "with,"},
    };
    return keys;
}

TVocabulary TVocabulary::builtIn() {
    return read(IniFile());
}

TVocabulary TVocabulary::read(const IniFile& file) {
    TVocabulary v;
    for (const TVocabularyKey& k : vocabularyKeys())
        v.*k.field = file.readString(QString::fromLatin1(k.section), QString::fromLatin1(k.key),
                                     QString::fromUtf8(k.defaultValue));
    return v;
}

QStringList phraseSetNames() {
    QStringList names;
    for (const char letter : {'a', 'b', 'c'})
        for (int slot = 1; slot <= 4; ++slot)
            names << QString::number(slot) + QLatin1Char(letter);
    names << QStringLiteral("5a") << QStringLiteral("5b");
    return names;
}

QStringList builtInPhraseSet(const QString& setName) {
    if (setName.size() != 2)
        return {};
    const QChar slotChar = setName[0];
    const QChar letter = setName[1].toLower();
    if (slotChar == QLatin1Char('5')) {
        if (letter == QLatin1Char('a'))
            return toList(kBeforeNews);
        if (letter == QLatin1Char('b'))
            return toList(kAfterNews);
        return {};
    }
    if (slotChar < QLatin1Char('1') || slotChar > QLatin1Char('4'))
        return {};
    const int slot = slotChar.digitValue();
    if (letter == QLatin1Char('a')) {
        QStringList list = toList(kAfterSong);
        for (const Variant& v : kAfterSongVariants)
            if (QByteArray(v.sets).contains(static_cast<char>('0' + slot)))
                list[v.key - 1] = QString::fromUtf8(v.phrase);
        return list;
    }
    if (letter == QLatin1Char('b'))
        return toList(kThisIs[static_cast<std::size_t>(slot - 1)]);
    if (letter == QLatin1Char('c')) {
        if (slot == 2)
            return toList(kBeforeSongAfternoon);
        QStringList list = toList(kBeforeSong);
        if (slot != 1) {
            list[11] = QStringLiteral("Here is your favorite.");
            list[12] = QStringLiteral("How about this one.");
        }
        return list;
    }
    return {};
}

IniFile builtInVocabularyFile() {
    IniFile file;
    for (const TVocabularyKey& k : vocabularyKeys())
        file.writeString(QString::fromLatin1(k.section), QString::fromLatin1(k.key),
                         QString::fromUtf8(k.defaultValue));
    return file;
}

IniFile builtInPhraseFile() {
    IniFile file;
    for (const QString& set : phraseSetNames()) {
        const QStringList phrases = builtInPhraseSet(set);
        for (qsizetype i = 0; i < phrases.size(); ++i)
            file.writeString(set, QString::number(i + 1), phrases[i]);
    }
    return file;
}

QString missingSystemFileText(const QString& path) {
    return QStringLiteral("The required system file named\r") + path + QStringLiteral("\r") +
           QStringLiteral("is missing.") + QStringLiteral("\r") +
           QStringLiteral("You may need to reinstall or contact the software vendor.");
}

TVoiceStartUp ReadVocabulary(const QString& programFolder, bool sameSettings,
                             const QString& userName) {
    TVoiceStartUp result;
    const QString sharedVocabulary = programFolder + fileName(kVocabularyFileName);
    const QString sharedPhrases = programFolder + fileName(kPhrasesFileName);
    for (const QString& required : {sharedVocabulary, sharedPhrases}) {
        if (!QFileInfo(required).isFile()) {
            result.error = missingSystemFileText(required);
            return result;
        }
    }

    QString vocabularyPath = sharedVocabulary;
    result.PhrasesFile = sharedPhrases;
    if (!sameSettings) {
        const QString userVocabulary = programFolder + userName + fileName(kVocabularyFileName);
        const QString userPhrases = programFolder + userName + fileName(kPhrasesFileName);
        // A copy that cannot be made is not an error: the shared vocabulary stands in below, and
        // the phrase file then reads as empty (every list says "Hey, ").
        if (!QFileInfo::exists(userVocabulary))
            (void)copyNoOverwrite(sharedVocabulary, userVocabulary);
        if (!QFileInfo::exists(userPhrases))
            (void)copyNoOverwrite(sharedPhrases, userPhrases);
        result.PhrasesFile = userPhrases;
        QFile probe(userVocabulary);
        if (probe.open(QIODevice::ReadOnly))
            vocabularyPath = userVocabulary;
    }
    result.vocabulary = TVocabulary::read(IniFile::load(vocabularyPath));
    return result;
}

} // namespace corvalin
