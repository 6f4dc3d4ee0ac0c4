#include "voice/CleanSpeech.h"

#include "core/Helpers.h"

namespace corvalin {

const std::array<TSubstitution, 12>& ExtraSubstitutions() {
    static const std::array<TSubstitution, 12> pairs = {{
        {"&amp;", " and "},
        {"&lt;", " less than "},
        {"&gt;", " greater than "},
        {"&mdash;", ", "},
        {"&hellip;", "... "},
        {"Natl.", "National"},
        {"Gov. ", "Governor "},
        {" mph", " miles per hour"},
        {" km/h", " kilometers per hour"},
        {"&#39;", "'"},
        {"Mt. ", "Mount "},
        {"&apos;", "'"},
    }};
    return pairs;
}

QString CleanSpeech(const QString& text, const TSpeechNames& names) {
    const std::pair<QString, QString> steps[] = {
        {QStringLiteral("&StationIdentification&"), names.StationIdentification},
        {QStringLiteral("&DJName&"), names.DJName},
        {QStringLiteral("Arpt."), QStringLiteral("Airport")},
        {QStringLiteral("Intl."), QStringLiteral("International")},
        {QStringLiteral("Sen. "), QStringLiteral("Senator ")},
        {QStringLiteral("t-storm"), QStringLiteral("thunder storms")},
        {QStringLiteral("&#149;&nbsp;"), names.Emp},
        {QStringLiteral("&nbsp;"), QStringLiteral(" ")},
        {QStringLiteral("&quot;"), QStringLiteral("\"")},
        {QStringLiteral("&quot;"), QStringLiteral("\"")},
    };
    QString result = text;
    for (const auto& [find, replace] : steps)
        result = ReplaceText(result, find, replace);
    for (const auto& [find, replace] : ExtraSubstitutions())
        result = ReplaceText(result, QString::fromUtf8(find), QString::fromUtf8(replace));
    return result.isEmpty() ? QStringLiteral(" ") : result;
}

} // namespace corvalin
