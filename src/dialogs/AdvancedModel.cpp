#include "AdvancedModel.h"

#include "feeds/FeedReader.h"

#include <QRegularExpression>
#include <QUrl>

namespace corvalin {

SourceKind newsSourceKind(const NewsDefinitions& d) {
    if (d.NewsStart.trimmed().compare(kFeedSummaryWord, Qt::CaseInsensitive) == 0)
        return SourceKind::Feed;
    const QUrl url = QUrl::fromUserInput(d.NewsURL.trimmed());
    const QString path = url.path().toLower();
    static const QRegularExpression word(QStringLiteral("(^|[^a-z])(rss|atom|feeds?)([^a-z]|$)"));
    if (path.endsWith(QStringLiteral(".xml")) || path.endsWith(QStringLiteral(".rss")) ||
        path.endsWith(QStringLiteral(".atom")) ||
        word.match(url.host().toLower() + QLatin1Char('/') + path + QLatin1Char('?') +
                   url.query().toLower())
            .hasMatch())
        return SourceKind::Feed;
    return SourceKind::Page;
}

SourceKind weatherSourceKind(const NewsDefinitions& d) {
    const QString pointer = d.TemperatureStart.trimmed();
    if (pointer.startsWith(QLatin1Char('/')) && !pointer.contains(QLatin1Char('<')) &&
        !pointer.contains(QLatin1Char('>')))
        return SourceKind::Json;
    const QString url = d.WeatherURL.toLower();
    if (url.contains(QStringLiteral("json")) || url.contains(QStringLiteral("format=j1")))
        return SourceKind::Json;
    return SourceKind::Page;
}

NewsDefinitions advancedDefaults(const QString& zipCode) {
    return builtInDefinitionsInForce(zipCode);
}

NewsDefinitions withTypedDefinitions(const NewsDefinitions& current, const NewsDefinitions& typed) {
    NewsDefinitions next = current;
    for (const auto& [key, field] : newsDefinitionKeys())
        next.*field = typed.*field;
    return next;
}

FileResult confirmAdvanced(AdvancedContext& context, const NewsDefinitions& typed) {
    const NewsDefinitions next = withTypedDefinitions(context.Settings.News, typed);
    if (FileResult written = context.Store.update(
            context.Settings.SameSettings,
            [&](IniFile& ini) { writeNewsDefinitions(ini, kNewsSection, next); });
        !written)
        return written;
    // A whole value replaces the old one; a fetch that runs now works on its own copy.
    context.Settings.News = next;
    if (context.NewsDefinitionsChanged)
        context.NewsDefinitionsChanged(context.Settings.News);
    return {};
}

} // namespace corvalin
