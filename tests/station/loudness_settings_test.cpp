// [Loudness] in the settings store: Enabled and Target, with their defaults.

#include "TestSupport.h"
#include "station/SettingsStore.h"

#include <gtest/gtest.h>

using namespace corvalin;

struct LoudnessIniCase {
    const char* what;
    QString enabled; // empty: no key
    QString target;  // empty: no key
    bool wantEnabled;
    double wantTarget;
};

TEST(LoudnessSettingsStore, EnabledAndTargetWithTheirDefaults) {
    const LoudnessIniCase cases[] = {
        {"nothing stored", {}, {}, true, -18.0},
        {"switched off", QStringLiteral("0"), {}, false, -18.0},
        {"another target", QStringLiteral("1"), QStringLiteral("-23"), true, -23.0},
        {"decimal target", {}, QStringLiteral(" -16.5 "), true, -16.5},
        {"malformed target", {}, QStringLiteral("loud"), true, -18.0},
        {"too loud a target", {}, QStringLiteral("3"), true, kLoudnessTargetMax},
        {"too quiet a target", {}, QStringLiteral("-90"), true, kLoudnessTargetMin},
    };
    for (const LoudnessIniCase& c : cases) {
        test::TempFolder station;
        test::TempFolder home;
        SettingsStore store(SettingsPaths{station.path(), home.path() + QStringLiteral("xdg")});
        const bool same = store.readSameSettings();
        ASSERT_TRUE(store.update(same, [&](IniFile& ini) {
            ini.writeString(QStringLiteral("Screen"), QStringLiteral("Left"), QStringLiteral("1"));
            if (!c.enabled.isEmpty())
                ini.writeString(QStringLiteral("Loudness"), QStringLiteral("Enabled"), c.enabled);
            if (!c.target.isEmpty())
                ini.writeString(QStringLiteral("Loudness"), QStringLiteral("Target"), c.target);
        }));
        const LoudnessSettings s = store.readLoudness();
        EXPECT_EQ(s.Enabled, c.wantEnabled) << c.what;
        EXPECT_DOUBLE_EQ(s.Target, c.wantTarget) << c.what;
    }
}
