#include "DialogDriving.h"
#include "TestSupport.h"
#include "dialogs/FormAdvanced.h"
#include "dialogs/FormManager.h"
#include "dialogs/ManagerWidgets.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <stdexcept>

using namespace corvalin;
using corvalin::test::pressKey;
using corvalin::test::runModal;
using corvalin::test::TempFolder;

// Readable failures for times.
void PrintTo(const QTime& time, std::ostream* out) {
    *out << time.toString(QStringLiteral("HH:mm:ss")).toStdString();
}

namespace {

const QStringList kVoices = {QStringLiteral("English (America) - Adult Male 1"),
                             QStringLiteral("English (Great Britain) - Adult Male 2"),
                             QStringLiteral("English (America) - Adult Male 3"),
                             QStringLiteral("English (Great Britain) - Adult Male 4"),
                             QStringLiteral("German")};

// Types `text` into `target` key by key, as the keyboard would (press and release per character).
void typeKeys(QWidget* target, const QString& text) {
    for (const QChar c : text) {
        // Qt's key codes for printable ASCII are the upper-case characters.
        const int key = c.toUpper().unicode();
        const Qt::KeyboardModifiers shift = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        QKeyEvent press(QEvent::KeyPress, key, shift, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, shift, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

// The next modal window to come up (a message box, a nested dialog) is handed to `handle`, which
// must close it.
void onNextModal(const std::function<void(QWidget*)>& handle) {
    QTimer::singleShot(0, [handle] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr) << "no modal window came up";
        handle(modal);
    });
}

QString iniValue(const QString& path, const QString& section, const QString& key) {
    return IniFile::load(path).value(section, key).value_or(QStringLiteral("<missing>"));
}

// A station in a temporary folder: the settings at their first-start values, both stores, and a
// context that records what the dialog asks of the station.
struct Station {
    TempFolder folder;
    SettingsStore store{SettingsPaths{folder.path(), folder.path() + QStringLiteral("config")}};
    StationSettings settings = defaultSettings(folder.path(), QTime(9, 30, 15));

    bool djSpeaking = false;
    QStringList spoken;
    int clocksRearmed = 0;
    int slotReloads = 0;
    QStringList listsOpened;
    QStringList phraseSets;
    QList<int> helpTopics;
    QList<NewsDefinitions> newsChanges;

    ManagerContext context{settings, store, kVoices};

    Station() {
        settings.ZipCode = QStringLiteral("12345");
        settings.News = builtInDefinitionsInForce(settings.ZipCode);
        context.SpeakTest = [this](const QString& voice) { spoken << voice; };
        context.DJSpeaking = [this] { return djSpeaking; };
        context.RearmAutoClocks = [this] { ++clocksRearmed; };
        context.ForceSlotReload = [this] { ++slotReloads; };
        context.NewsDefinitionsChanged = [this](const NewsDefinitions& d) { newsChanges << d; };
        context.OpenPlayListEditor = [this](const QString& file) { listsOpened << file; };
        context.StartFormPhrases = [this](const QString& code) {
            phraseSets << code;
            return true;
        };
        context.ShowHelp = [this](int topic) { helpTopics << topic; };
    }
    QString sharedFile() const { return store.paths().sharedFile(); }
    QString perUserFile() const { return store.paths().perUserFile(); }
    _rDJ& slot(int n) { return settings.DJSlots[static_cast<std::size_t>(n)]; }
};

// ---------------------------------------------------------------------------------------------
// The rules, without the dialog

TEST(ManagerRules, SpinBoxTextReadsAsNearerBoundOrMinimum) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"7", 7},
        {"1", 1},
        {"12", 12},
        {"0", 1},
        {"13", 12},
        {"-3", 1},
        {" 5 ", 5},
        {"+6", 6},
        {"", 1},
        {"abc", 1},
        {"4.5", 1},
        {"7x", 1},
        {"99999999999999", 12},
        {"-99999999999999", 1},
        {"2147483648", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(spinEditValue(QString::fromLatin1(c.text), {1, 12}), c.expected);
    }
}

TEST(ManagerRules, AmPmMovesTwelveHoursEitherWay) {
    struct Case {
        QTime before;
        QTime after;
    };
    const Case cases[] = {
        {QTime(11, 50), QTime(23, 50)},
        {QTime(23, 50), QTime(11, 50)},
        {QTime(12, 0), QTime(0, 0)},
        {QTime(0, 0), QTime(12, 0)},
        {QTime(11, 59, 59), QTime(23, 59, 59)},
        {QTime(18, 5, 30), QTime(6, 5, 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.toString().toStdString());
        EXPECT_EQ(toggleAmPm(c.before), c.after);
        EXPECT_EQ(toggleAmPm(toggleAmPm(c.before)), c.before);
    }
}

TEST(ManagerRules, ZipCodeChangeFollowsIntoWeatherAddress) {
    const QString base = QStringLiteral("https://w.example/weather/local/");
    struct Case {
        const char* name;
        QString url;
        QString oldZip;
        QString typed;
        QString expected;
    };
    const Case cases[] = {
        {"new code", base + QStringLiteral("12345"), QStringLiteral("12345"),
         QStringLiteral("54321"), base + QStringLiteral("54321")},
        {"address without the old code", base + QStringLiteral("99999"), QStringLiteral("12345"),
         QStringLiteral("54321"), base + QStringLiteral("99999")},
        {"same code with blanks", base + QStringLiteral("12345"), QStringLiteral("12345"),
         QStringLiteral(" 12345 "), base + QStringLiteral("12345")},
        {"every occurrence, any case", QStringLiteral("http://ab1.example/ab1/AB1"),
         QStringLiteral("ab1"), QStringLiteral("zz9"),
         QStringLiteral("http://zz9.example/zz9/zz9")},
        {"old code found only in another case", QStringLiteral("http://x/AB1"),
         QStringLiteral("ab1"), QStringLiteral("zz9"), QStringLiteral("http://x/AB1")},
        {"stored code with a blank", base + QStringLiteral(" 12345"), QStringLiteral(" 12345"),
         QStringLiteral("54321"), base + QStringLiteral("54321")},
        {"no old code", base, QString(), QStringLiteral("54321"), base},
        {"empty address", QString(), QStringLiteral("12345"), QStringLiteral("54321"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(weatherURLForZipCode(c.url, c.oldZip, c.typed), c.expected);
    }
}

TEST(ManagerRules, StoredValuesTheControlsCannotShowFallBack) {
    struct Case {
        const char* name;
        std::function<void(StationSettings&)> store;
        std::function<void(const ManagerControls&)> check;
    };
    const Case cases[] = {
        {"Tab 9 opens General Options", [](StationSettings& s) { s.ManagerTab = 9; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Page, 0); }},
        {"Tab -1", [](StationSettings& s) { s.ManagerTab = -1; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Page, 0); }},
        {"Tab 5", [](StationSettings& s) { s.ManagerTab = 5; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Page, 5); }},
        {"FrequencyType 7 in DJ2 selects songs",
         [](StationSettings& s) { s.DJSlots[2].FrequencyType = 7; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Slots[1].FrequencyType, ftSongs); }},
        {"FrequencyType 3 in DJ2 stays Never",
         [](StationSettings& s) { s.DJSlots[2].FrequencyType = ftNever; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Slots[1].FrequencyType, ftNever); }},
        {"FrequencyType 7 in DJ5 selects minutes",
         [](StationSettings& s) { s.DJSlots[5].FrequencyType = 7; },
         [](const ManagerControls& c) { EXPECT_EQ(c.NewsFrequencyType, ftMinutes); }},
        {"FrequencyType 1 in DJ5 selects songs",
         [](StationSettings& s) { s.DJSlots[5].FrequencyType = ftSongs; },
         [](const ManagerControls& c) { EXPECT_EQ(c.NewsFrequencyType, ftSongs); }},
        {"minutes 45 show 30", [](StationSettings& s) { s.DJSlots[1].FrequencyMinutes = 45; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Slots[0].FrequencyMinutes, 30); }},
        {"minutes 0 show 2", [](StationSettings& s) { s.DJSlots[4].FrequencyMinutes = 0; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Slots[3].FrequencyMinutes, 2); }},
        {"news songs 99 show 20", [](StationSettings& s) { s.DJSlots[5].FrequencySongs = 99; },
         [](const ManagerControls& c) { EXPECT_EQ(c.NewsFrequencySongs, 20); }},
        {"crossfade 0 shows 1", [](StationSettings& s) { s.CrossFade = 0; },
         [](const ManagerControls& c) { EXPECT_EQ(c.CrossFade, 1); }},
        {"artist source 5 selects the first choice", [](StationSettings& s) { s.ArtistSource = 5; },
         [](const ManagerControls& c) { EXPECT_EQ(c.ArtistSource, 0); }},
        {"list order 3 selects original order",
         [](StationSettings& s) { s.DJSlots[3].ListOrder = 3; },
         [](const ManagerControls& c) { EXPECT_EQ(c.Slots[2].ListOrder, loOriginal); }},
        {"a time the field refuses shows 6:00 AM",
         [](StationSettings& s) { s.AutoStopTime = QTime(); },
         [](const ManagerControls& c) { EXPECT_EQ(c.AutoStopTime, QTime(6, 0)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StationSettings s = defaultSettings(QStringLiteral("/station/"), QTime(8, 0));
        c.store(s);
        c.check(managerControlsFrom(s));
    }
}

TEST(ManagerRules, OkKeepsAnEmptyStationNameAndAnnouncementOnOneLine) {
    const StationSettings before = defaultSettings(QStringLiteral("/station/"), QTime(8, 0));
    ManagerControls c = managerControlsFrom(before);
    c.StationIdentification.clear();
    c.PublicService = QStringLiteral("  Drive safely.\nBuckle up.\r\nThank you.  ");
    c.Slots[1].Name.clear();
    const StationSettings after = settingsAfterManagerOK(before, c);
    EXPECT_EQ(after.StationIdentification, QStringLiteral("Z99 Rockin' Zebra"));
    EXPECT_EQ(after.PublicService, QStringLiteral("Drive safely. Buckle up. Thank you."));
    EXPECT_EQ(after.DJSlots[2].Name, QString()) << "a DJ name is taken as typed";
    EXPECT_EQ(publicServiceText(QStringLiteral("\n\n")), QString());
}

// ---------------------------------------------------------------------------------------------
// OK's writes

TEST(ManagerOK, SameSettingsChoosesTheStoreAndIsAlwaysInTheSharedFile) {
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "on" : "off");
        Station st;
        ManagerControls c = managerControlsFrom(st.settings);
        c.SameSettings = same;
        c.StationIdentification = QStringLiteral("WCVR");
        c.Slots[0].Name = QStringLiteral("Rita Sunrise");
        c.Slots[3].ListOrder = loRandom;
        c.NewsFrequencyMinutes = 45;
        ASSERT_TRUE(confirmManager(st.context, c));

        const QString chosen = same ? st.sharedFile() : st.perUserFile();
        const QString other = same ? st.perUserFile() : st.sharedFile();
        const auto general = QStringLiteral("General");
        EXPECT_EQ(
            iniValue(st.sharedFile(), QStringLiteral("Screen"), QStringLiteral("SameSettings")),
            same ? QStringLiteral("1") : QStringLiteral("0"));
        EXPECT_EQ(iniValue(chosen, general, QStringLiteral("StationIdentification")),
                  QStringLiteral("WCVR"));
        EXPECT_EQ(iniValue(chosen, QStringLiteral("DJ1"), QStringLiteral("Name")),
                  QStringLiteral("Rita Sunrise"));
        EXPECT_EQ(iniValue(chosen, QStringLiteral("DJ4"), QStringLiteral("ListOrder")),
                  QStringLiteral("1"));
        EXPECT_EQ(iniValue(chosen, QStringLiteral("DJ5"), QStringLiteral("FrequencyMinutes")),
                  QStringLiteral("45"));
        EXPECT_EQ(iniValue(chosen, general, QStringLiteral("Crossfade")), QStringLiteral("6"));
        EXPECT_EQ(iniValue(chosen, QStringLiteral("Screen"), QStringLiteral("StartPlay")),
                  QStringLiteral("1"));
        EXPECT_EQ(iniValue(other, general, QStringLiteral("StationIdentification")),
                  QStringLiteral("<missing>"))
            << "the other store is left alone";

        EXPECT_EQ(st.settings.StationIdentification, QStringLiteral("WCVR"));
        EXPECT_EQ(st.settings.SameSettings, same);
        EXPECT_EQ(st.clocksRearmed, 1);
        EXPECT_EQ(st.slotReloads, 1);

        // What the next start reads back.
        StationSettings next;
        next.SameSettings = st.store.readSameSettings();
        EXPECT_EQ(next.SameSettings, same);
        st.store.readIni(next, QTime(10, 0));
        EXPECT_EQ(next.StationIdentification, QStringLiteral("WCVR"));
        EXPECT_EQ(next.DJSlots[1].Name, QStringLiteral("Rita Sunrise"));
        EXPECT_EQ(next.DJSlots[4].ListOrder, loRandom);
    }
}

TEST(ManagerOK, ZipCodeCases) {
    const QString prefix = builtInNewsDefinitions().WeatherURL;
    struct Case {
        const char* name;
        QString storedURL;
        QString typed;
        QString urlAfter;
    };
    const Case cases[] = {
        {"new code", prefix + QStringLiteral("12345"), QStringLiteral("54321"),
         prefix + QStringLiteral("54321")},
        {"address without the old code", QStringLiteral("http://127.0.0.1/weather?city=Corvalin"),
         QStringLiteral("54321"), QStringLiteral("http://127.0.0.1/weather?city=Corvalin")},
        {"same code with blanks", prefix + QStringLiteral("12345"), QStringLiteral(" 12345 "),
         prefix + QStringLiteral("12345")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station st;
        st.settings.News.WeatherURL = c.storedURL;
        ASSERT_TRUE(st.store.update(false, [&](IniFile& ini) {
            ini.writeString(kNewsSection, QStringLiteral("WeatherURL"), c.storedURL);
        }));
        ManagerControls controls = managerControlsFrom(st.settings);
        controls.ZipCode = c.typed;
        ASSERT_TRUE(confirmManager(st.context, controls));
        EXPECT_EQ(st.settings.News.WeatherURL, c.urlAfter);
        EXPECT_EQ(st.settings.ZipCode, c.typed) << "kept as typed";
        EXPECT_EQ(iniValue(st.perUserFile(), kNewsSection, kZipCodeKey), c.typed);
        // The address in the store follows the one in memory, so the next start fetches the same.
        EXPECT_EQ(iniValue(st.perUserFile(), kNewsSection, QStringLiteral("WeatherURL")),
                  c.urlAfter);
        const bool changed = c.urlAfter != c.storedURL;
        ASSERT_EQ(st.newsChanges.size(), changed ? 1 : 0);
        if (changed) {
            EXPECT_EQ(st.newsChanges.front().WeatherURL, c.urlAfter);
        }
    }
}

TEST(ManagerOK, UnwritableStoreChangesNothing) {
    struct Case {
        const char* name;
        bool sameBefore;
        bool sameAfter;
        bool sharedBlocked; // else the per-user store is blocked
    };
    const Case cases[] = {
        {"shared file, settings shared", true, true, true},
        {"shared file, settings per user", false, false, true},
        {"shared file, switching to shared", false, true, true},
        {"per-user store, switching to it", true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder tmp;
        // A folder that is a file: nobody, root included, can create anything in it.
        test::writeWholeFile(tmp.file(QStringLiteral("blocked")), "not a folder");
        const QString blocked = tmp.file(QStringLiteral("blocked/"));
        const QString programFolder = c.sharedBlocked ? blocked : tmp.file(QStringLiteral("st/"));
        const QString configHome = c.sharedBlocked ? tmp.file(QStringLiteral("cfg")) : blocked;
        ASSERT_TRUE(QDir().mkpath(tmp.file(QStringLiteral("st"))));
        SettingsStore store{SettingsPaths{programFolder, configHome}};
        StationSettings settings = defaultSettings(programFolder, QTime(7, 0));
        settings.SameSettings = c.sameBefore;
        if (!c.sharedBlocked) {
            ASSERT_TRUE(store.update(true, [&](IniFile& ini) {
                ini.writeBool(QStringLiteral("Screen"), QStringLiteral("SameSettings"), true);
            }));
        }
        const QByteArray sharedBefore = test::readWholeFile(store.paths().sharedFile());
        int callbacks = 0;
        ManagerContext context(settings, store, kVoices);
        context.RearmAutoClocks = [&] { ++callbacks; };
        context.ForceSlotReload = [&] { ++callbacks; };
        const StationSettings before = settings;

        ManagerControls controls = managerControlsFrom(settings);
        controls.SameSettings = c.sameAfter;
        controls.StationIdentification = QStringLiteral("Never Stored");
        const FileResult result = confirmManager(context, controls);
        ASSERT_FALSE(result);
        // The shared file's failure carries the system's reason; the per-user folder's names the
        // folder that could not be made.
        if (c.sharedBlocked) {
            EXPECT_TRUE(result.error.contains(store.paths().sharedFile()))
                << result.error.toStdString();
            EXPECT_TRUE(result.error.contains(QStringLiteral("Not a directory")))
                << result.error.toStdString();
        } else {
            EXPECT_TRUE(result.error.contains(tmp.file(QStringLiteral("blocked"))))
                << result.error.toStdString();
        }
        EXPECT_TRUE(managerSaveErrorText(result).contains(result.error));
        EXPECT_EQ(settings.StationIdentification, before.StationIdentification);
        EXPECT_EQ(settings.SameSettings, c.sameBefore);
        EXPECT_EQ(callbacks, 0);
        EXPECT_EQ(test::readWholeFile(store.paths().sharedFile()), sharedBefore)
            << "the shared file keeps its switch";
    }
}

// ---------------------------------------------------------------------------------------------
// The dialog

TEST(ManagerDialog, ShowsEveryControlWithItsFirstStartValue) {
    Station st;
    TfrmManager dlg(st.context);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Corvalin Radio - Radio Manager"));

    const QStringList pages = {QStringLiteral("General Options"), QStringLiteral("Morning DJ"),
                               QStringLiteral("Afternoon DJ"),    QStringLiteral("Evening DJ"),
                               QStringLiteral("Late Night DJ"),   QStringLiteral("News-Weather"),
                               QStringLiteral("Broadcast")};
    const QStringList colours = {dlg.palette().color(QPalette::WindowText).name(),
                                 QStringLiteral("#ff0000"),
                                 QStringLiteral("#00ff00"),
                                 QStringLiteral("#0000ff"),
                                 QStringLiteral("#ff00ff"),
                                 dlg.palette().color(QPalette::WindowText).name(),
                                 dlg.palette().color(QPalette::WindowText).name()};
    ASSERT_EQ(dlg.PageControl1->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(dlg.PageControl1->tabText(i), pages[i]);
        EXPECT_TRUE(dlg.pageFrames[static_cast<std::size_t>(i)]->styleSheet().contains(
            QStringLiteral("2px solid ") + colours[i]))
            << i;
    }
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 0);

    EXPECT_EQ(dlg.eStationIdentification->text(), QStringLiteral("Z99 Rockin' Zebra"));
    EXPECT_EQ(dlg.eCrossfade->value(), 6);
    EXPECT_EQ(dlg.eCrossfade->minimum(), 1);
    EXPECT_EQ(dlg.eCrossfade->maximum(), 12);
    EXPECT_TRUE(dlg.mPublicService->toPlainText().isEmpty());
    EXPECT_EQ(dlg.dtAutoStart->time(), QTime(9, 30, 15));
    EXPECT_EQ(dlg.dtAutoStart->displayFormat(), QStringLiteral("hh:mm AP"));
    EXPECT_FALSE(dlg.cbAutoStart->isChecked());
    EXPECT_FALSE(dlg.cbAutoStop->isChecked());
    EXPECT_EQ(dlg.rgArtistSource->itemIndex(), 2);
    EXPECT_TRUE(dlg.cbStartPlay->isChecked());
    EXPECT_FALSE(dlg.cbSameSettings->isChecked());
    EXPECT_EQ(dlg.cbStartPlay->text(), QStringLiteral("Always start play when program started"));
    EXPECT_EQ(dlg.cbSameSettings->text(), QStringLiteral("Use same settings for all users"));
    EXPECT_EQ(dlg.eStationIdentification->toolTip(),
              QStringLiteral("This is the name of the\nradio station that will be\nannounced by "
                             "the DJ."));
    EXPECT_EQ(dlg.gbAutoStop->toolTip(),
              QStringLiteral("The Stop button will automatically\nbe clicked at the time "
                             "specified."));

    const char* names[] = {"Joe Early", "Al Cafe", "Sam Smooth", "Manfred Moonlight"};
    const char* lists[] = {"Morning", "Afternoon", "Evening", "Midnight"};
    for (int slot = 1; slot <= 4; ++slot) {
        SCOPED_TRACE(slot);
        TfrmManager::DJPage& p = dlg.djPage(slot);
        const QString n = QString::number(slot);
        EXPECT_EQ(p.eDJName->objectName(), QStringLiteral("eDJName") + n);
        EXPECT_EQ(p.eDJName->text(), QString::fromLatin1(names[slot - 1]));
        EXPECT_EQ(p.cbSpeechEngine->currentText(), defaultSlotVoices()[slot - 1]);
        EXPECT_EQ(p.cbSpeechEngine->count(), kVoices.size());
        EXPECT_TRUE(p.cbSpeechEngine->isEditable());
        EXPECT_EQ(p.fePlayList->fileName(),
                  st.folder.path() +
                      QStringLiteral("Lists/%1.lst").arg(QLatin1String(lists[slot - 1])));
        EXPECT_TRUE(p.rbFreq[1]->isChecked());
        EXPECT_EQ(p.rbFreq[2]->text(), QStringLiteral("Random"));
        EXPECT_EQ(p.rbFreq[3]->objectName(), QStringLiteral("rb%1Freq3").arg(slot));
        EXPECT_EQ(p.eMinutes->value(), 12);
        EXPECT_EQ(p.eMinutes->minimum(), 2);
        EXPECT_EQ(p.eMinutes->maximum(), 30);
        EXPECT_EQ(p.eSongs->value(), 2);
        EXPECT_EQ(p.eSongs->maximum(), 12);
        EXPECT_EQ(p.rgListOrder->itemIndex(), 0);
        EXPECT_EQ(p.bDJTest->text(), QStringLiteral("Test DJ\nVoice"));
        EXPECT_EQ(p.bViewList->toolTip(), QStringLiteral("Load a saved play list."));
        EXPECT_EQ(p.bPhrases[1]->text(), QStringLiteral("Phrases \nBetween \nSongs"));
    }
    EXPECT_EQ(dlg.eZipCode->text(), QStringLiteral("12345"));
    EXPECT_TRUE(dlg.cbNews->isChecked());
    EXPECT_TRUE(dlg.cbWeather->isChecked());
    EXPECT_TRUE(dlg.rb5Freq0->isChecked());
    EXPECT_EQ(dlg.eMinutes5->value(), 30);
    EXPECT_EQ(dlg.eMinutes5->maximum(), 59);
    EXPECT_EQ(dlg.eSongs5->value(), 12);
    EXPECT_EQ(dlg.eSongs5->maximum(), 20);
    EXPECT_EQ(dlg.bPhrases5a->text(), QStringLiteral("Phrases \nBefore\nNews\n"));
    EXPECT_TRUE(dlg.bOK->isDefault());
    EXPECT_EQ(dlg.Timer1->interval(), 2000);
    EXPECT_FALSE(dlg.Timer1->isActive());
    EXPECT_EQ(dlg.controls(), managerControlsFrom(st.settings)) << "nothing lost in the controls";
}

TEST(ManagerDialog, StoredEdgeValuesOpenAndSaveAsTheControlsShowThem) {
    Station st;
    st.settings.ManagerTab = 9;
    st.slot(2).FrequencyType = 7;
    st.slot(5).FrequencyType = 7;
    st.slot(1).FrequencyMinutes = 45;
    st.slot(3).SpeechEngine = QStringLiteral("Robot Voice (not installed)");
    TfrmManager dlg(st.context);
    EXPECT_EQ(dlg.PageControl1->currentIndex(), 0);
    EXPECT_TRUE(dlg.djPage(2).rbFreq[1]->isChecked());
    EXPECT_TRUE(dlg.rb5Freq0->isChecked());
    EXPECT_EQ(dlg.djPage(1).eMinutes->value(), 30);
    EXPECT_EQ(dlg.djPage(3).cbSpeechEngine->currentText(),
              QStringLiteral("Robot Voice (not installed)"));
    dlg.show();
    dlg.bOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(st.slot(1).FrequencyMinutes, 30);
    EXPECT_EQ(st.slot(2).FrequencyType, ftSongs);
    EXPECT_EQ(st.slot(5).FrequencyType, ftMinutes);
    EXPECT_EQ(iniValue(st.perUserFile(), QStringLiteral("DJ1"), QStringLiteral("FrequencyMinutes")),
              QStringLiteral("30"));
    EXPECT_EQ(iniValue(st.perUserFile(), QStringLiteral("DJ3"), QStringLiteral("SpeechEngine")),
              QStringLiteral("Robot Voice (not installed)"));
}

TEST(ManagerDialog, AmPmButtonsToggleOnlyTheirField) {
    struct Case {
        QTime start;
        QTime once;
    };
    const Case cases[] = {
        {QTime(11, 50), QTime(23, 50)}, {QTime(12, 0), QTime(0, 0)}, {QTime(0, 0), QTime(12, 0)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.toString().toStdString());
        Station st;
        st.settings.AutoStartTime = c.start;
        st.settings.AutoStopTime = QTime(22, 15);
        TfrmManager dlg(st.context);
        dlg.sbAMPM1->click();
        EXPECT_EQ(dlg.dtAutoStart->time(), c.once);
        EXPECT_EQ(dlg.dtAutoStop->time(), QTime(22, 15));
        EXPECT_EQ(st.settings.AutoStartTime, c.start) << "the setting changes at OK";
        dlg.sbAMPM1->click();
        EXPECT_EQ(dlg.dtAutoStart->time(), c.start);
        dlg.sbAMPM2->click();
        EXPECT_EQ(dlg.dtAutoStop->time(), QTime(10, 15));
    }
}

TEST(ManagerDialog, SpinBoxesTakeAnyTypingAndSettleInRange) {
    struct Case {
        const char* typed;
        int crossfade;
    };
    const Case cases[] = {{"9", 9}, {"40", 12}, {"0", 1}, {"abc", 1}, {"", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Station st;
        TfrmManager dlg(st.context);
        dlg.show();
        dlg.eCrossfade->lineEdit()->setText(QString::fromLatin1(c.typed));
        EXPECT_EQ(dlg.eCrossfade->lineEdit()->text(), QString::fromLatin1(c.typed))
            << "typing is not refused";
        dlg.bOK->click();
        EXPECT_EQ(st.settings.CrossFade, c.crossfade);
        EXPECT_EQ(dlg.eCrossfade->text(), QString::number(c.crossfade));
    }
}

TEST(ManagerDialog, EnterInTheAnnouncementPressesOk) {
    Station st;
    TfrmManager dlg(st.context);
    const int result = runModal(dlg, [&] {
        dlg.mPublicService->setPlainText(QStringLiteral("Drive safely."));
        dlg.mPublicService->setFocus();
        pressKey(dlg.mPublicService, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg.mPublicService->toPlainText(), QStringLiteral("Drive safely.")) << "no new line";
    EXPECT_EQ(st.settings.PublicService, QStringLiteral("Drive safely."));
}

TEST(ManagerRules, TypedTimesReadAsTheTimeMeant) {
    struct Case {
        const char* typed;
        std::optional<QTime> time;
    };
    const Case cases[] = {
        {"11:50 AM", QTime(11, 50)}, {"11:50 PM", QTime(23, 50)}, {"7:05 pm", QTime(19, 5)},
        {" 7:05PM ", QTime(19, 5)},  {"7:05 p.m.", QTime(19, 5)}, {"7 pm", QTime(19, 0)},
        {"7a", QTime(7, 0)},         {"12:00 AM", QTime(0, 0)},   {"12:30 PM", QTime(12, 30)},
        {"19:05", QTime(19, 5)},     {"07.05", QTime(7, 5)},      {"0:30", QTime(0, 30)},
        {"23:59", QTime(23, 59)},    {"1150", QTime(11, 50)},     {"750", QTime(7, 50)},
        {"7", QTime(7, 0)},          {"13:05 PM", std::nullopt},  {"0:30 AM", std::nullopt},
        {"24:00", std::nullopt},     {"11:60", std::nullopt},     {"11:5", std::nullopt},
        {"", std::nullopt},          {"noon", std::nullopt},      {"11:50 XM", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(parseTypedTime(QString::fromLatin1(c.typed)), c.time);
    }
}

// The operator types a time over the Auto Start field and presses Enter: the dialog closes with
// OK, and that time is kept, stored and armed.
TEST(ManagerDialog, ATimeTypedOverTheFieldIsStoredAndArmed) {
    const QTime shown(9, 30, 15);
    struct Case {
        const char* typed;
        QTime stored;
        const char* text; // what the field shows afterwards
    };
    const Case cases[] = {
        {"11:50 AM", QTime(11, 50), "11:50 AM"},
        {"7:05 pm", QTime(19, 5), "07:05 PM"},
        {"19:05", QTime(19, 5), "07:05 PM"},
        {"12:10 am", QTime(0, 10), "12:10 AM"},
        {"0930", shown, "09:30 AM"},     // the time shown: its seconds stay
        {"13:05 PM", shown, "09:30 AM"}, // no time: the field keeps its own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Station st;
        ASSERT_EQ(st.settings.AutoStartTime, shown);
        TfrmManager dlg(st.context);
        const int result = runModal(dlg, [&] {
            dlg.dtAutoStart->setFocus();
            typeKeys(dlg.dtAutoStart, QString::fromLatin1(c.typed));
            pressKey(dlg.dtAutoStart, Qt::Key_Return);
        });
        EXPECT_EQ(result, QDialog::Accepted);
        EXPECT_EQ(dlg.dtAutoStart->text(), QString::fromLatin1(c.text));
        EXPECT_EQ(st.settings.AutoStartTime, c.stored);
        EXPECT_EQ(st.settings.AutoStopTime, shown) << "only the field typed into";
        EXPECT_EQ(st.clocksRearmed, 1);
        StationSettings next;
        st.store.readIni(next, QTime(1, 0));
        EXPECT_EQ(next.AutoStartTime, c.stored);
    }
}

TEST(ManagerDialog, TimeFieldTakesTypingWhereverTheCursorIsAndStepsByArrows) {
    Station st;
    st.settings.AutoStopTime = QTime(9, 30);
    TfrmManager dlg(st.context);
    dlg.show();
    TimeField* field = dlg.dtAutoStop;
    auto* edit = field->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);

    // Leaving the field ends the editing.
    const auto leave = [field] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field, &out);
    };

    // Typing starts a new time even with the cursor inside the shown one.
    edit->setCursorPosition(4);
    typeKeys(field, QStringLiteral("7:05 PM"));
    EXPECT_EQ(field->time(), QTime(19, 5)) << "a finished time counts before editing ends";
    leave();
    EXPECT_EQ(edit->text(), QStringLiteral("07:05 PM"));

    // Selected text is replaced; a half-typed time is put back when editing ends.
    edit->selectAll();
    typeKeys(field, QStringLiteral("11:5"));
    EXPECT_EQ(field->time(), QTime(19, 5));
    leave();
    EXPECT_EQ(edit->text(), QStringLiteral("07:05 PM"));
    typeKeys(field, QStringLiteral("x"));
    EXPECT_EQ(edit->text(), QStringLiteral("07:05 PM")) << "a letter that is no part of a time";

    // The arrows step the part under the cursor: hour, minutes, AM/PM.
    struct Step {
        int cursor;
        int key;
        QTime after;
    };
    const Step steps[] = {
        {0, Qt::Key_Up, QTime(20, 5)}, {1, Qt::Key_Down, QTime(19, 5)},
        {4, Qt::Key_Up, QTime(19, 6)}, {3, Qt::Key_Down, QTime(19, 5)},
        {7, Qt::Key_Up, QTime(7, 5)},  {0, Qt::Key_Down, QTime(6, 5)},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.cursor);
        edit->setCursorPosition(step.cursor);
        pressKey(field, step.key);
        EXPECT_EQ(field->time(), step.after);
    }
    // Typed, then stepped: the arrow acts on the typed time.
    edit->selectAll();
    typeKeys(field, QStringLiteral("23:59"));
    edit->setCursorPosition(0);
    pressKey(field, Qt::Key_Up);
    EXPECT_EQ(field->time(), QTime(0, 59)) << "round midnight";
    EXPECT_EQ(edit->text(), QStringLiteral("12:59 AM"));
}

TEST(ManagerDialog, EveryTabIsInViewWithoutScrollArrows) {
    Station st;
    TfrmManager dlg(st.context);
    dlg.show();
    QTabBar* bar = dlg.PageControl1->tabBar();
    ASSERT_EQ(bar->count(), kManagerPageCount);
    EXPECT_EQ(bar->tabText(6), QStringLiteral("Broadcast"));
    for (int i = 0; i < bar->count(); ++i) {
        SCOPED_TRACE(bar->tabText(i).toStdString());
        const QRect tab = bar->tabRect(i);
        EXPECT_TRUE(bar->rect().contains(tab))
            << "tab " << tab.x() << ".." << tab.right() << " in a bar of " << bar->width();
        EXPECT_TRUE(dlg.PageControl1->rect().contains(bar->geometry()));
        // The caption whole, not shortened.
        EXPECT_GE(tab.width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
    }
    // No scroll arrows shown.
    for (QToolButton* arrow : bar->findChildren<QToolButton*>())
        EXPECT_FALSE(arrow->isVisible());
    // The last page shows its tab selected, and the dialog's buttons stay inside it.
    dlg.PageControl1->setCurrentIndex(6);
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(6)));
    EXPECT_TRUE(dlg.rect().contains(dlg.bHelp->geometry()));
    EXPECT_EQ(dlg.pageFrames[6]->width(), dlg.pageFrames[0]->width());
}

TEST(ManagerDialog, EmptyStationNameKeepsThePreviousOne) {
    Station st;
    st.settings.StationIdentification = QStringLiteral("WCVR 101.7");
    TfrmManager dlg(st.context);
    dlg.show();
    dlg.eStationIdentification->clear();
    dlg.bOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(st.settings.StationIdentification, QStringLiteral("WCVR 101.7"));
    EXPECT_EQ(iniValue(st.perUserFile(), QStringLiteral("General"),
                       QStringLiteral("StationIdentification")),
              QStringLiteral("WCVR 101.7"));
}

TEST(ManagerDialog, SameSettingsTickedAndUntickedThroughTheDialog) {
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same);
        Station st;
        st.settings.SameSettings = !same;
        TfrmManager dlg(st.context);
        dlg.show();
        dlg.cbSameSettings->setChecked(same);
        dlg.djPage(4).eDJName->setText(QStringLiteral("Nina Nightowl"));
        dlg.bOK->click();
        EXPECT_EQ(
            iniValue(st.sharedFile(), QStringLiteral("Screen"), QStringLiteral("SameSettings")),
            same ? QStringLiteral("1") : QStringLiteral("0"));
        EXPECT_EQ(iniValue(same ? st.sharedFile() : st.perUserFile(), QStringLiteral("DJ4"),
                           QStringLiteral("Name")),
                  QStringLiteral("Nina Nightowl"));
        EXPECT_EQ(iniValue(same ? st.perUserFile() : st.sharedFile(), QStringLiteral("DJ4"),
                           QStringLiteral("Name")),
                  QStringLiteral("<missing>"));
    }
}

TEST(ManagerDialog, VoiceTestSpeaksOnlyWhileTheDJIsSilent) {
    const QString fallback = QStringLiteral("English (Great Britain) - Adult Male 2");
    const QString noSuchVoice =
        QStringLiteral("No such voice. On the air the Afternoon DJ speaks with \"%1\".")
            .arg(fallback);
    struct Case {
        const char* name;
        bool djSpeaking;
        QString voice;
        QStringList spoken;
        QString notice;
    };
    const Case cases[] = {
        {"DJ silent", false, QStringLiteral("German"), {QStringLiteral("German")}, {}},
        {"other letter case", false, QStringLiteral("gERMAN"), {QStringLiteral("German")}, {}},
        // A name no engine has: said so, and the voice the slot falls back to is heard.
        {"typed voice no engine has",
         false,
         QStringLiteral("Any Text At All"),
         {fallback},
         noSuchVoice},
        {"no such voice while the DJ talks", true, QStringLiteral("Germann"), {}, noSuchVoice},
        {"DJ talking between songs", true, QStringLiteral("German"), {}, {}},
        {"empty voice box", false, QString(), {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Station st;
        st.djSpeaking = c.djSpeaking;
        TfrmManager dlg(st.context);
        dlg.djPage(2).cbSpeechEngine->setCurrentText(c.voice);
        dlg.djPage(2).bDJTest->click();
        EXPECT_EQ(st.spoken, c.spoken);
        EXPECT_EQ(dlg.djPage(2).lVoiceTest->text(), c.notice);
        // Another name in the box: the notice no longer applies.
        dlg.djPage(2).cbSpeechEngine->setCurrentText(QStringLiteral("German"));
        EXPECT_TRUE(dlg.djPage(2).lVoiceTest->text().isEmpty());
        EXPECT_FALSE(dlg.djPage(2).bDJTest->isEnabled());
        EXPECT_TRUE(dlg.djPage(1).bDJTest->isEnabled()) << "only the pressed button";
        EXPECT_TRUE(dlg.Timer1->isActive());
        EXPECT_EQ(st.slot(2).SpeechEngine, defaultSlotVoices()[1]) << "the setting is unchanged";

        // The DJ talks on (the test itself, or the talk between songs): polled again.
        st.djSpeaking = true;
        dlg.Timer1Timer();
        EXPECT_TRUE(dlg.Timer1->isActive());
        EXPECT_FALSE(dlg.djPage(2).bDJTest->isEnabled());
        st.djSpeaking = false;
        dlg.Timer1Timer();
        EXPECT_FALSE(dlg.Timer1->isActive());
        for (int slot = 1; slot <= 4; ++slot)
            EXPECT_TRUE(dlg.djPage(slot).bDJTest->isEnabled()) << slot;
    }
}

TEST(ManagerDialog, CancelAfterAPageChangeRemembersOnlyThePage) {
    Station st;
    {
        TfrmManager dlg(st.context);
        const int result = runModal(dlg, [&] {
            dlg.PageControl1->setCurrentIndex(3);
            dlg.djPage(3).eDJName->setText(QStringLiteral("Discarded"));
            dlg.bCancel->click();
        });
        EXPECT_EQ(result, QDialog::Rejected);
    }
    EXPECT_EQ(st.settings.ManagerTab, 3);
    EXPECT_EQ(st.slot(3).Name, QStringLiteral("Sam Smooth"));
    EXPECT_EQ(st.slotReloads, 0);
    EXPECT_FALSE(QFile::exists(st.perUserFile()));
    EXPECT_FALSE(QFile::exists(st.sharedFile()));

    TfrmManager again(st.context);
    EXPECT_EQ(again.PageControl1->currentIndex(), 3);
    const int result =
        runModal(again, [&] { pressKey(again.eStationIdentification, Qt::Key_Escape); });
    EXPECT_EQ(result, QDialog::Rejected);
}

TEST(ManagerDialog, ViewListOpensOnlyAnExistingFile) {
    Station st;
    const QString list = st.folder.file(QStringLiteral("Jazz.lst"));
    test::writeWholeFile(list, "a.mp3\r\n");
    QDir().mkpath(st.folder.file(QStringLiteral("AFolder.lst")));
    struct Case {
        const char* name;
        QString box;
        bool opened;
    };
    const Case cases[] = {
        {"existing file", list, true},
        {"missing file", st.folder.file(QStringLiteral("Missing.lst")), false},
        {"empty box", QString(), false},
        {"a folder", st.folder.file(QStringLiteral("AFolder.lst")), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        st.listsOpened.clear();
        bool disabledWhileOpen = false;
        TfrmManager dlg(st.context);
        st.context.OpenPlayListEditor = [&](const QString& file) {
            st.listsOpened << file;
            disabledWhileOpen = !dlg.djPage(2).bViewList->isEnabled();
        };
        dlg.djPage(2).fePlayList->setFileName(c.box);
        dlg.djPage(2).bViewList->click();
        EXPECT_EQ(st.listsOpened, c.opened ? QStringList{list} : QStringList{});
        EXPECT_EQ(disabledWhileOpen, c.opened);
        EXPECT_TRUE(dlg.djPage(2).bViewList->isEnabled());
    }

    // A failing editor still gives the button back.
    TfrmManager dlg(st.context);
    st.context.OpenPlayListEditor = [](const QString&) { throw std::runtime_error("editor"); };
    dlg.djPage(1).fePlayList->setFileName(list);
    EXPECT_THROW(dlg.bViewListClick(1), std::runtime_error);
    EXPECT_TRUE(dlg.djPage(1).bViewList->isEnabled());

    // Without an editor View List does nothing.
    st.context.OpenPlayListEditor = nullptr;
    dlg.bViewListClick(1);
    EXPECT_TRUE(dlg.djPage(1).bViewList->isEnabled());
}

TEST(ManagerDialog, PhraseButtonsHelpAndAdvancedReachTheStation) {
    Station st;
    TfrmManager dlg(st.context);
    QStringList expected;
    for (int slot = 1; slot <= 4; ++slot) {
        for (int k = 0; k < 3; ++k) {
            dlg.djPage(slot).bPhrases[static_cast<std::size_t>(k)]->click();
            expected << QStringLiteral("%1%2").arg(slot).arg(
                QLatin1Char(static_cast<char>('a' + k)));
        }
    }
    dlg.bPhrases5a->click();
    dlg.bPhrases5b->click();
    expected << QStringLiteral("5a") << QStringLiteral("5b");
    EXPECT_EQ(st.phraseSets, expected);
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("bPhrases3b")), dlg.djPage(3).bPhrases[1]);

    dlg.bHelp->click();
    EXPECT_EQ(st.helpTopics, QList<int>{4});

    QString opened;
    onNextModal([&](QWidget* modal) {
        opened = modal->windowTitle();
        EXPECT_NE(qobject_cast<TfrmAdvanced*>(modal), nullptr);
        qobject_cast<QDialog*>(modal)->reject();
    });
    dlg.bAdvanced->click();
    EXPECT_EQ(opened, QStringLiteral("Corvalin Radio - Advanced Options"));
}

TEST(ManagerDialog, AdvancedOptionsStayWhenTheManagerIsCancelled) {
    Station st;
    TfrmManager dlg(st.context);
    const int result = runModal(dlg, [&] {
        onNextModal([&](QWidget* modal) {
            auto* advanced = qobject_cast<TfrmAdvanced*>(modal);
            ASSERT_NE(advanced, nullptr);
            advanced->eNewsURL->setText(QStringLiteral("http://127.0.0.1:8080/news"));
            advanced->bOK->click();
        });
        dlg.bAdvanced->click();
        dlg.bCancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(st.settings.News.NewsURL, QStringLiteral("http://127.0.0.1:8080/news"));
    EXPECT_EQ(iniValue(st.perUserFile(), kNewsSection, QStringLiteral("NewsURL")),
              QStringLiteral("http://127.0.0.1:8080/news"));
}

TEST(ManagerDialog, OkStoresEveryPageAndReappliesTheSlot) {
    Station st;
    TfrmManager dlg(st.context);
    const int result = runModal(dlg, [&] {
        dlg.eStationIdentification->setText(QStringLiteral("WCVR 101.7"));
        dlg.eCrossfade->setValue(3);
        dlg.mPublicService->setPlainText(QStringLiteral("  Give blood.  "));
        dlg.dtAutoStart->setTime(QTime(7, 0));
        dlg.cbAutoStart->setChecked(true);
        dlg.dtAutoStop->setTime(QTime(23, 30));
        dlg.cbAutoStop->setChecked(true);
        dlg.rgArtistSource->setItemIndex(1);
        dlg.cbStartPlay->setChecked(false);
        TfrmManager::DJPage& p = dlg.djPage(2);
        p.eDJName->setText(QStringLiteral("Al Noon"));
        p.cbSpeechEngine->setCurrentIndex(4);
        p.fePlayList->setFileName(QStringLiteral("/lists/Noon.lst"));
        p.rbFreq[0]->setChecked(true);
        p.eMinutes->setValue(20);
        p.rgListOrder->setItemIndex(1);
        dlg.djPage(4).rbFreq[3]->setChecked(true);
        dlg.cbWeather->setChecked(false);
        dlg.rb5Freq1->setChecked(true);
        dlg.eSongs5->setValue(7);
        dlg.bOK->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(st.clocksRearmed, 1);
    EXPECT_EQ(st.slotReloads, 1);
    const StationSettings& s = st.settings;
    EXPECT_EQ(s.StationIdentification, QStringLiteral("WCVR 101.7"));
    EXPECT_EQ(s.CrossFade, 3);
    EXPECT_EQ(s.PublicService, QStringLiteral("Give blood."));
    EXPECT_EQ(s.AutoStartTime, QTime(7, 0));
    EXPECT_TRUE(s.AutoStart);
    EXPECT_EQ(s.AutoStopTime, QTime(23, 30));
    EXPECT_TRUE(s.AutoStop);
    EXPECT_EQ(s.ArtistSource, 1);
    EXPECT_FALSE(s.StartPlay);
    EXPECT_EQ(s.DJSlots[2].Name, QStringLiteral("Al Noon"));
    EXPECT_EQ(s.DJSlots[2].SpeechEngine, QStringLiteral("German"));
    EXPECT_EQ(s.DJSlots[2].PlayList, QStringLiteral("/lists/Noon.lst"));
    EXPECT_EQ(s.DJSlots[2].FrequencyType, ftMinutes);
    EXPECT_EQ(s.DJSlots[2].FrequencyMinutes, 20);
    EXPECT_EQ(s.DJSlots[2].ListOrder, loRandom);
    EXPECT_EQ(s.DJSlots[4].FrequencyType, ftNever);
    EXPECT_FALSE(s.ReadWeather);
    EXPECT_EQ(s.DJSlots[5].FrequencyType, ftSongs);
    EXPECT_EQ(s.DJSlots[5].FrequencySongs, 7);

    StationSettings next;
    st.store.readIni(next, QTime(1, 0));
    EXPECT_EQ(next.StationIdentification, s.StationIdentification);
    EXPECT_EQ(next.CrossFade, 3);
    EXPECT_EQ(next.PublicService, QStringLiteral("Give blood."));
    EXPECT_EQ(next.AutoStartTime, QTime(7, 0));
    EXPECT_EQ(next.AutoStopTime, QTime(23, 30));
    EXPECT_EQ(next.DJSlots[2].SpeechEngine, QStringLiteral("German"));
    EXPECT_EQ(next.DJSlots[2].ListOrder, loRandom);
    EXPECT_EQ(next.DJSlots[4].FrequencyType, ftNever);
    EXPECT_EQ(next.DJSlots[5].FrequencySongs, 7);
    EXPECT_EQ(iniValue(st.perUserFile(), QStringLiteral("Screen"), QStringLiteral("StartPlay")),
              QStringLiteral("0"));
}

TEST(ManagerDialog, UnwritableSharedFileShowsTheErrorAndStaysOpen) {
    Station st;
    // The station folder's settings file cannot be made: its folder is a file.
    TempFolder tmp;
    test::writeWholeFile(tmp.file(QStringLiteral("station")), "not a folder");
    SettingsStore blocked{
        SettingsPaths{tmp.file(QStringLiteral("station/")), tmp.file(QStringLiteral("config"))}};
    ManagerContext blockedContext(st.settings, blocked, kVoices);
    blockedContext.RearmAutoClocks = st.context.RearmAutoClocks;
    blockedContext.ForceSlotReload = st.context.ForceSlotReload;
    TfrmManager dlg(blockedContext);
    QString caption;
    QString text;
    bool stillOpen = false;
    const int result = runModal(dlg, [&] {
        dlg.eStationIdentification->setText(QStringLiteral("Never Stored"));
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Critical);
            box->accept();
        });
        dlg.bOK->click();
        stillOpen = dlg.isVisible();
        dlg.bCancel->click();
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(caption, QStringLiteral("Corvalin Radio - Setup Error"));
    EXPECT_TRUE(text.contains(blocked.paths().sharedFile())) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Not a directory"))) << text.toStdString();
    EXPECT_EQ(st.settings.StationIdentification, QStringLiteral("Z99 Rockin' Zebra"));
    EXPECT_EQ(st.slotReloads, 0);
    EXPECT_EQ(st.clocksRearmed, 0);
    EXPECT_FALSE(QFile::exists(blocked.paths().perUserFile()));
}

TEST(ManagerDialog, BrowseChoosesAPlayList) {
    Station st;
    const QString list = st.folder.file(QStringLiteral("Lists/Jazz.lst"));
    QDir().mkpath(st.folder.file(QStringLiteral("Lists")));
    test::writeWholeFile(list, "a.mp3\r\n");
    TfrmManager dlg(st.context);
    QString title;
    QStringList filters;
    onNextModal([&](QWidget* modal) {
        auto* files = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(files, nullptr);
        title = files->windowTitle();
        filters = files->nameFilters();
        files->selectFile(list);
        static_cast<QDialog*>(files)->accept();
    });
    dlg.djPage(1).fePlayList->browseButton()->click();
    EXPECT_EQ(title, QStringLiteral("Select Play List"));
    EXPECT_EQ(filters.value(0), QStringLiteral("List files (*.lst)"));
    EXPECT_EQ(dlg.djPage(1).fePlayList->fileName(), list);
}

} // namespace

TEST(ManagerRules, WebPageNeedsAPortAnAddressAndOffLoopbackAToken) {
    struct Case {
        const char* address;
        const char* port;
        bool token;
        const char* control; // "" when accepted
        const char* url;     // the page's address shown, "" when none
    };
    const Case cases[] = {
        {"127.0.0.1", "8765", false, "", "http://127.0.0.1:8765/"},
        {" localhost ", "80", false, "", "http://localhost:80/"},
        {"::1", "65535", false, "", "http://[::1]:65535/"},
        {"192.168.1.20", "8765", false, "bRemoteNewToken", "http://192.168.1.20:8765/"},
        {"192.168.1.20", "8765", true, "", "http://192.168.1.20:8765/"},
        {"0.0.0.0", "8765", false, "bRemoteNewToken", "http://127.0.0.1:8765/"},
        {"0.0.0.0", "8765", true, "", "http://127.0.0.1:8765/"},
        {"127.0.0.1", "0", true, "eRemotePort", ""},
        {"127.0.0.1", "65536", true, "eRemotePort", ""},
        {"127.0.0.1", "87a", true, "eRemotePort", ""},
        {"127.0.0.1", "", true, "eRemotePort", ""},
        {"radio.example.org", "8765", true, "eRemoteAddress", ""},
        {"127.0.0.1:8765", "8765", true, "eRemoteAddress", ""},
        {"", "8765", true, "eRemoteAddress", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " port " + c.port + (c.token ? " token" : ""));
        ManagerRemoteControls r;
        r.Address = QString::fromLatin1(c.address);
        r.Port = QString::fromLatin1(c.port);
        r.Token = c.token ? QStringLiteral("tok") : QString();
        const ManagerProblem problem = remoteProblem(r);
        EXPECT_EQ(problem.control, QString::fromLatin1(c.control)) << problem.text.toStdString();
        EXPECT_EQ(bool(problem), *c.control != 0);
        EXPECT_EQ(remotePageAddress(r), QString::fromLatin1(c.url));
    }
    // The refusal says what to do.
    ManagerRemoteControls open;
    open.Address = QStringLiteral("0.0.0.0");
    EXPECT_TRUE(remoteProblem(open).text.contains(QStringLiteral("New token")));
}

TEST(ManagerRules, WebPageTokenIsMadeAtTheFirstEnableOnly) {
    ManagerRemoteControls r;
    r.Port = QStringLiteral(" 9000 ");
    EXPECT_EQ(remoteSettingsAfterOK(r).Token, QString()) << "off: no token made";
    EXPECT_EQ(remoteSettingsAfterOK(r).Port, 9000);
    r.Enabled = true;
    const QString made = remoteSettingsAfterOK(r).Token;
    EXPECT_EQ(made.size(), 43) << "32 bytes, base64url";
    EXPECT_NE(remoteSettingsAfterOK(r).Token, made) << "a fresh one each time";
    r.Token = QStringLiteral("kept");
    EXPECT_EQ(remoteSettingsAfterOK(r).Token, QStringLiteral("kept"));
}

TEST(ManagerDialog, WebPageEnableCopyNewTokenAndAnOpenAddress) {
    Station st;
    {
        TfrmManager dlg(st.context);
        dlg.show();
        EXPECT_FALSE(dlg.cbRemoteEnabled->isChecked());
        EXPECT_EQ(dlg.eRemoteAddress->text(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(dlg.eRemotePort->text(), QStringLiteral("8765"));
        EXPECT_TRUE(dlg.eRemoteToken->text().isEmpty());
        EXPECT_TRUE(dlg.eRemoteToken->isReadOnly());
        EXPECT_FALSE(dlg.bRemoteCopy->isEnabled()) << "nothing to copy yet";
        EXPECT_TRUE(dlg.lRemoteUrl->text().contains(QStringLiteral("http://127.0.0.1:8765/")));
        EXPECT_TRUE(dlg.lRemoteNote->text().contains(QStringLiteral("next start")));
        dlg.eRemotePort->setText(QStringLiteral("9000"));
        EXPECT_TRUE(dlg.lRemoteUrl->text().contains(QStringLiteral("http://127.0.0.1:9000/")));
        dlg.cbRemoteEnabled->setChecked(true);
        dlg.bOK->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    // The first enable made the token: in the owner's credentials file, not in any settings file.
    const RemoteSettings stored = readRemoteSettings(st.store);
    EXPECT_TRUE(stored.Enabled);
    EXPECT_EQ(stored.Port, 9000);
    ASSERT_EQ(stored.Token.size(), 43);
    const QString credentials = st.store.paths().credentialsFile(false);
    ASSERT_TRUE(QFileInfo::exists(credentials));
    EXPECT_EQ(QFileInfo(credentials).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                   QFileDevice::WriteOther),
              QFileDevice::Permissions())
        << "0600";
    EXPECT_TRUE(QString::fromUtf8(test::readWholeFile(credentials)).contains(stored.Token));
    for (const QString& file : {st.perUserFile(), st.sharedFile()})
        EXPECT_FALSE(QString::fromUtf8(test::readWholeFile(file)).contains(stored.Token));
    EXPECT_EQ(iniValue(st.perUserFile(), QStringLiteral("Remote"), QStringLiteral("Enabled")),
              QStringLiteral("1"));

    // Reopened: the token shown, Copy puts it on the clipboard, New token changes it.
    TfrmManager dlg(st.context);
    QString refusal;
    bool openAfterRefusal = false;
    QString newToken;
    const int result = runModal(dlg, [&] {
        EXPECT_EQ(dlg.eRemoteToken->text(), stored.Token);
        dlg.bRemoteCopy->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), stored.Token);
        dlg.bRemoteNewToken->click();
        newToken = dlg.eRemoteToken->text();
        EXPECT_NE(newToken, stored.Token);
        EXPECT_EQ(newToken.size(), 43);
        EXPECT_TRUE(dlg.lRemoteNote->text().contains(QStringLiteral("must enter")));
        dlg.bRemoteCopy->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), newToken);
        dlg.eRemoteAddress->setText(QStringLiteral("0.0.0.0"));
        dlg.bOK->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    const RemoteSettings renewed = readRemoteSettings(st.store);
    EXPECT_EQ(renewed.Token, newToken);
    EXPECT_EQ(renewed.Address, QStringLiteral("0.0.0.0"));

    // An address others reach, with no token: refused, the dialog stays open, nothing stored.
    Station fresh;
    TfrmManager open(fresh.context);
    const int refusedResult = runModal(open, [&] {
        open.eRemoteAddress->setText(QStringLiteral("192.168.1.20"));
        onNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            refusal = box->text();
            box->accept();
        });
        open.bOK->click();
        openAfterRefusal = open.isVisible();
        EXPECT_EQ(open.PageControl1->currentIndex(), 6);
        open.bCancel->click();
    });
    EXPECT_EQ(refusedResult, QDialog::Rejected);
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_TRUE(refusal.contains(QStringLiteral("192.168.1.20"))) << refusal.toStdString();
    EXPECT_FALSE(QFile::exists(fresh.perUserFile()));
}

TEST(ManagerDialog, BroadcastPageFitsItsFrame) {
    Station st;
    TfrmManager dlg(st.context);
    dlg.show();
    dlg.PageControl1->setCurrentIndex(6);
    QFrame* frame = dlg.pageFrames[6];
    EXPECT_TRUE(frame->parentWidget()->rect().contains(frame->geometry()))
        << "frame bottom " << frame->geometry().bottom() << " in a page of "
        << frame->parentWidget()->height();
    for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        SCOPED_TRACE(child->objectName().toStdString());
        EXPECT_TRUE(frame->rect().adjusted(2, 2, -2, -2).contains(child->geometry()));
    }
    for (QWidget* w :
         {static_cast<QWidget*>(dlg.cbRemoteEnabled), static_cast<QWidget*>(dlg.bRemoteNewToken),
          static_cast<QWidget*>(dlg.lRemoteNote)})
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
            << w->objectName().toStdString();
}

namespace {

// Each page drawn with its frame in the slot colour. With CORVALIN_DIALOG_PICTURES set to a folder,
// the pictures are also saved there for the help pages (manager-1.png .. manager-6.png).
TEST(ManagerPictures, EveryPageIsFramedInItsColour) {
    Station st;
    st.settings.StationIdentification = QStringLiteral("WCVR 101.7 FM");
    st.settings.PublicService =
        QStringLiteral("The Corvalin Valley food bank needs volunteers this Saturday. Call "
                       "555-0123.");
    st.settings.AutoStartTime = QTime(6, 0);
    st.settings.AutoStopTime = QTime(23, 30);
    st.settings.AutoStart = true;
    const char* lists[] = {"Morning", "Afternoon", "Evening", "Midnight"};
    for (int slot = 1; slot <= 4; ++slot)
        st.slot(slot).PlayList =
            QStringLiteral("/home/radio/.local/share/CorvalinRadio/Lists/%1.lst")
                .arg(QLatin1String(lists[slot - 1]));
    TfrmManager dlg(st.context);
    dlg.show();
    const QString folder = qEnvironmentVariable("CORVALIN_DIALOG_PICTURES");
    const QRgb expected[] = {dlg.palette().color(QPalette::WindowText).rgb(),
                             qRgb(255, 0, 0),
                             qRgb(0, 255, 0),
                             qRgb(0, 0, 255),
                             qRgb(255, 0, 255),
                             dlg.palette().color(QPalette::WindowText).rgb()};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        dlg.PageControl1->setCurrentIndex(i);
        QFrame* frame = dlg.pageFrames[static_cast<std::size_t>(i)];
        const QImage page = frame->grab().toImage();
        ASSERT_FALSE(page.isNull());
        // The left edge, half way down, and one pixel in: both are the frame.
        EXPECT_EQ(page.pixel(0, page.height() / 2) & 0xffffff, expected[i] & 0xffffff);
        EXPECT_EQ(page.pixel(1, page.height() / 2) & 0xffffff, expected[i] & 0xffffff);
        if (!folder.isEmpty()) {
            EXPECT_TRUE(dlg.grab().save(folder + QStringLiteral("/manager-%1.png").arg(i + 1)));
        }
    }
    if (!folder.isEmpty()) {
        dlg.PageControl1->setCurrentIndex(6); // Broadcast
        EXPECT_TRUE(dlg.grab().save(folder + QStringLiteral("/manager-7.png")));
        AdvancedContext advancedContext(st.settings, st.store);
        TfrmAdvanced advanced(advancedContext);
        advanced.show();
        EXPECT_TRUE(advanced.grab().save(folder + QStringLiteral("/advanced.png")));
    }
}

} // namespace
