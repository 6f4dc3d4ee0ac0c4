#include "platform/LoginName.h"
#include "station/UserName.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

TEST(UserName, ReplacesWhatAFileNameCannotHold) {
    struct Case {
        const char* login;
        const char* expected;
    };
    const Case cases[] = {
        {"Dr. J/K", "Dr._J2K"},
        {"", "USER1"},
        {"a\\b:c*d?e\"f<g>h|i j", "a1b3c4d5e6f7g8h9i_j"},
        {"radio", "radio"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UserNameFromLogin(QString::fromUtf8(c.login)), QString::fromUtf8(c.expected))
            << c.login;
}

TEST(UserName, IsTheEffectiveUsersAccountName) {
    QProcess id;
    id.start(QStringLiteral("id"), {QStringLiteral("-un")});
    ASSERT_TRUE(id.waitForFinished(10000));
    const QString expected = QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(loginName(), expected);
    EXPECT_EQ(UserName(), UserNameFromLogin(expected));
}

} // namespace
} // namespace corvalin
