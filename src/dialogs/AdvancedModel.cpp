#include "AdvancedModel.h"

namespace corvalin {

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
