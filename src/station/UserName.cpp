#include "station/UserName.h"

#include "core/Helpers.h"
#include "platform/LoginName.h"

#include <array>
#include <utility>

namespace corvalin {

QString UserNameFromLogin(const QString& login) {
    static const std::array<std::pair<QString, QString>, 10> replacements = {{
        {QStringLiteral(" "), QStringLiteral("_")},
        {QStringLiteral("\\"), QStringLiteral("1")},
        {QStringLiteral("/"), QStringLiteral("2")},
        {QStringLiteral(":"), QStringLiteral("3")},
        {QStringLiteral("*"), QStringLiteral("4")},
        {QStringLiteral("?"), QStringLiteral("5")},
        {QStringLiteral("\""), QStringLiteral("6")},
        {QStringLiteral("<"), QStringLiteral("7")},
        {QStringLiteral(">"), QStringLiteral("8")},
        {QStringLiteral("|"), QStringLiteral("9")},
    }};
    QString name = login.isEmpty() ? QStringLiteral("USER1") : login;
    for (const auto& [find, replace] : replacements)
        name = ReplaceText(name, find, replace);
    return name;
}

QString UserName() {
    return UserNameFromLogin(loginName());
}

} // namespace corvalin
