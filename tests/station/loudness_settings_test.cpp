// [Loudness] and [Segue] in the settings store: Enabled and Target, TrimSilence and Threshold,
// with their defaults.

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

struct SegueIniCase {
    const char* what;
    QString trim;      // empty: no key
    QString threshold; // empty: no key
    bool wantTrim;
    double wantThreshold;
};

TEST(LoudnessSettingsStore, SegueTrimSilenceAndThresholdWithTheirDefaults) {
    const SegueIniCase cases[] = {
        {"nothing stored", {}, {}, true, -50.0},
        {"switched off", QStringLiteral("0"), {}, false, -50.0},
        {"switched on", QStringLiteral("1"), QStringLiteral("-60"), true, -60.0},
        {"decimal threshold", {}, QStringLiteral(" -42.5 "), true, -42.5},
        {"malformed threshold", {}, QStringLiteral("quiet"), true, -50.0},
        {"malformed switch", QStringLiteral("maybe"), {}, true, -50.0},
        {"not a finite threshold", {}, QStringLiteral("-inf"), true, -50.0},
        {"too high a threshold", {}, QStringLiteral("-3"), true, kTrimThresholdMax},
        {"too low a threshold", {}, QStringLiteral("-120"), true, kTrimThresholdMin},
        {"at the lower limit", {}, QStringLiteral("-90"), true, -90.0},
        {"at the upper limit", {}, QStringLiteral("-20"), true, -20.0},
    };
    for (const SegueIniCase& c : cases) {
        test::TempFolder station;
        test::TempFolder home;
        SettingsStore store(SettingsPaths{station.path(), home.path() + QStringLiteral("xdg")});
        const bool same = store.readSameSettings();
        ASSERT_TRUE(store.update(same, [&](IniFile& ini) {
            ini.writeString(QStringLiteral("Screen"), QStringLiteral("Left"), QStringLiteral("1"));
            if (!c.trim.isEmpty())
                ini.writeString(QStringLiteral("Segue"), QStringLiteral("TrimSilence"), c.trim);
            if (!c.threshold.isEmpty())
                ini.writeString(QStringLiteral("Segue"), QStringLiteral("Threshold"), c.threshold);
        }));
        const LoudnessSettings s = store.readLoudness();
        EXPECT_EQ(s.TrimSilence, c.wantTrim) << c.what;
        EXPECT_DOUBLE_EQ(s.TrimThreshold, c.wantThreshold) << c.what;
        // The loudness keys are left to their own defaults.
        EXPECT_TRUE(s.Enabled) << c.what;
        EXPECT_DOUBLE_EQ(s.Target, -18.0) << c.what;
    }
}
