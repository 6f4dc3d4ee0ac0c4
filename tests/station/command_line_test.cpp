// The command line: parsing of each option, and the program's answers to them in processes of
// its own (help, version, usage errors, no display without --headless, the device list).
#include "ProgramProcess.h"
#include "TestSupport.h"
#include "app/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <gtest/gtest.h>

using namespace corvalin;
using namespace corvalin::test;

namespace {

QStringList words(const char* text) {
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(CommandLine, EachOptionIsUnderstood) {
    EXPECT_TRUE(parseCommandLine(words("--help")).help);
    EXPECT_TRUE(parseCommandLine(words("-h")).help);
    EXPECT_TRUE(parseCommandLine(words("--version")).version);
    EXPECT_TRUE(parseCommandLine(words("--headless")).headless);
    EXPECT_TRUE(parseCommandLine(words("--verbose")).verbose);
    EXPECT_TRUE(parseCommandLine(words("--list-devices")).listDevices);
    EXPECT_TRUE(parseCommandLine(words("--list-voices")).listVoices);
    EXPECT_FALSE(needsWindow(parseCommandLine(words("--list-voices"))));
    EXPECT_TRUE(parseCommandLine(words("--headless --quiet")).quiet);
    EXPECT_FALSE(parseCommandLine(words("--headless")).quiet);

    const CommandLine all =
        parseCommandLine({QStringLiteral("--headless"), QStringLiteral("--station-dir"),
                          QStringLiteral("/srv/My Radio"), QStringLiteral("--zip=10001"),
                          QStringLiteral("--verbose")});
    EXPECT_TRUE(all.error.isEmpty()) << all.error.toStdString();
    EXPECT_TRUE(all.headless);
    EXPECT_TRUE(all.verbose);
    EXPECT_EQ(all.stationDir, QStringLiteral("/srv/My Radio"));
    EXPECT_EQ(all.zipCode, QStringLiteral("10001"));
    EXPECT_FALSE(all.help);

    const CommandLine import =
        parseCommandLine(words("--import-folder /music --slot Evening --station-dir=/s"));
    EXPECT_TRUE(import.error.isEmpty()) << import.error.toStdString();
    EXPECT_EQ(import.importFolder, QStringLiteral("/music"));
    EXPECT_EQ(import.slot, QStringLiteral("Evening"));
    EXPECT_EQ(import.stationDir, QStringLiteral("/s"));
    EXPECT_TRUE(parseCommandLine({}).error.isEmpty());
}

TEST(CommandLine, UsageErrorsAreOneLine) {
    const struct {
        QStringList arguments;
        const char* mentions;
    } cases[] = {
        {words("--bogus"), "--bogus"},
        {words("stray"), "stray"},
        {words("--station-dir"), "--station-dir"},
        {words("--zip"), "--zip"},
        {{QStringLiteral("--zip"), QStringLiteral("  ")}, "--zip"},
        {words("--zip="), "--zip"},
        {words("--import-folder"), "--import-folder"},
        {words("--slot Morning"), "--slot"},
        {words("--headless --slot"), "--slot"},
        {words("--quiet"), "--quiet"},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(c.arguments);
        SCOPED_TRACE(c.arguments.join(QLatin1Char(' ')).toStdString());
        EXPECT_TRUE(line.error.contains(QString::fromUtf8(c.mentions))) << line.error.toStdString();
        EXPECT_FALSE(line.error.contains(QLatin1Char('\n')));
    }
    // A zip code keeps what is inside its blanks.
    EXPECT_EQ(parseCommandLine({QStringLiteral("--zip"), QStringLiteral(" 10 001 ")}).zipCode,
              QStringLiteral("10 001"));
}

TEST(CommandLine, WindowIsNeededOnlyForTheStationWithAWindow) {
    EXPECT_TRUE(needsWindow(parseCommandLine({})));
    EXPECT_TRUE(needsWindow(parseCommandLine(words("--zip 10001 --verbose"))));
    for (const char* line :
         {"--help", "--version", "--list-devices", "--headless", "--import-folder /m"})
        EXPECT_FALSE(needsWindow(parseCommandLine(words(line)))) << line;

    QMap<QString, QString> vars;
    const auto read = [&vars](const char* name) { return vars.value(QString::fromLatin1(name)); };
    EXPECT_FALSE(windowSystemAvailable(read));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        vars.clear();
        vars.insert(QString::fromLatin1(name), QStringLiteral(":0"));
        EXPECT_TRUE(windowSystemAvailable(read)) << name;
    }
}

class CommandLineProgram : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"home", "config", "data", "run"})
            ASSERT_TRUE(QDir().mkpath(work.file(QString::fromLatin1(folder))));
    }
    ProgramRun run(const QStringList& arguments) const {
        return runProgram(QStringLiteral(CORVALIN_PROGRAM), arguments,
                          stationEnvironment(work.path()));
    }
    TempFolder work;
};

TEST_F(CommandLineProgram, HelpVersionAndUsageErrors) {
    const ProgramRun help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"--headless", "--quiet", "--station-dir", "--zip", "--import-folder",
                               "--slot", "--list-devices", "--verbose", "--version", "--help"})
        EXPECT_TRUE(help.out.contains(QString::fromLatin1(option))) << option;

    const ProgramRun version = run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out,
              QStringLiteral("Corvalin Radio %1\n").arg(QStringLiteral(CORVALIN_VERSION_TEXT)));

    const ProgramRun bad = run({QStringLiteral("--frobnicate")});
    EXPECT_EQ(bad.exitCode, kExitUsage);
    EXPECT_EQ(bad.err.count(QLatin1Char('\n')), 1) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(QStringLiteral("--frobnicate")));
    // Nothing was laid out for a line that was not understood.
    EXPECT_FALSE(QFileInfo::exists(work.file(QStringLiteral("data/CorvalinRadio"))));
}

TEST_F(CommandLineProgram, WithoutADisplayTheWindowIsRefusedInOneLine) {
    const ProgramRun run = this->run({QStringLiteral("--zip"), QStringLiteral("10001")});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kExitNoDisplay);
    EXPECT_EQ(run.err, noDisplayLine());
    EXPECT_TRUE(run.out.isEmpty());
}

// A station folder that cannot be one ends the start with the system's reason, not with the
// vocabulary file missing.
TEST_F(CommandLineProgram, AStationFolderThatCannotBeMadeEndsTheStartWithTheReason) {
    writeWholeFile(work.file(QStringLiteral("a file")), "x");
    const struct {
        const char* folder;
        const char* reason;
    } cases[] = {{"a file", "is not a folder"}, {"a file/station", "Not a directory"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const ProgramRun run =
            this->run({QStringLiteral("--headless"), QStringLiteral("--station-dir"),
                       work.file(QString::fromUtf8(c.folder))});
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.reason))) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("CVRSystem.dat"))) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("reinstall"))) << run.err.toStdString();
    }
}

TEST_F(CommandLineProgram, VoiceListNamesBothEnginesOneVoiceALine) {
    const ProgramRun r = run({QStringLiteral("--list-voices")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains(QStringLiteral("English (America) - Adult Male 1")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Flite slt (US English, female)")));
    EXPECT_TRUE(r.out.endsWith(QLatin1Char('\n')));
}

TEST_F(CommandLineProgram, DeviceListKeepsTheSoundLibrariesQuietUnlessVerbose) {
    const ProgramRun quiet = run({QStringLiteral("--list-devices")});
    ASSERT_TRUE(quiet.finished);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err.toStdString();
    EXPECT_FALSE(quiet.out.isEmpty());
    EXPECT_TRUE(quiet.err.isEmpty()) << quiet.err.toStdString();

    const ProgramRun verbose = run({QStringLiteral("--list-devices"), QStringLiteral("--verbose")});
    EXPECT_EQ(verbose.exitCode, 0);
    EXPECT_EQ(verbose.out, quiet.out);
    // On a machine without a sound card ALSA's probing complains; the quiet run kept it back.
    if (!QFileInfo::exists(QStringLiteral("/dev/snd"))) {
        EXPECT_TRUE(verbose.err.contains(QStringLiteral("ALSA"))) << verbose.err.toStdString();
    }
}

} // namespace
