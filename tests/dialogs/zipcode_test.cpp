#include "DialogDriving.h"
#include "dialogs/FormZipCode.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::pressKey;

namespace {

const QString kWeatherPrefix = builtInNewsDefinitions().WeatherURL;

// Shows the prompt modally as the first start does, lets `operate` act on it once it is up, and
// returns exec()'s result. A prompt still open after a generous deadline is closed by force and
// fails the test.
int runPrompt(TfrmZipCode& prompt, const std::function<void(TfrmZipCode&)>& operate) {
    bool forced = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        forced = true;
        prompt.reject();
    });
    guard.start(10000);
    QTimer::singleShot(0, &prompt, [&] { operate(prompt); });
    const int result = prompt.exec();
    EXPECT_FALSE(forced) << "the prompt did not close";
    return result;
}

StationSettings unsetSettings() {
    StationSettings s;
    s.ZipCode = kUnsetZipCode;
    s.News = builtInDefinitionsInForce(kUnsetZipCode);
    return s;
}

} // namespace

TEST(ZipCodePrompt, LooksAsTheOperatorExpects) {
    StationSettings settings = unsetSettings();
    TfrmZipCode prompt(settings);
    EXPECT_EQ(prompt.windowTitle(), QStringLiteral("Corvalin Radio - Zip Code"));
    EXPECT_EQ(prompt.Label1->text(), QStringLiteral("Zip or postal code, or town"));
    EXPECT_EQ(prompt.eZipCode->objectName(), QStringLiteral("eZipCode"));
    EXPECT_TRUE(prompt.eZipCode->text().isEmpty());
    EXPECT_EQ(prompt.bOK->text(), QStringLiteral("OK"));
    EXPECT_TRUE(prompt.bOK->isDefault());
    EXPECT_TRUE(prompt.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(prompt.windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(ZipCodePrompt, EntrySetsZipCodeAndWeatherAddress) {
    struct Case {
        const char* typed;
        const char* zipCode;
    };
    const Case cases[] = {
        {"12345", "12345"},       {"", "90210"}, // nothing typed
        {"   ", "90210"},                        // only blanks
        {" 12345", " 12345"},                    // kept as typed, blank included
        {"SW1A 1AA", "SW1A 1AA"},                // any text is taken
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        StationSettings settings = unsetSettings();
        settings.News.NewsURL = QStringLiteral("http://127.0.0.1/news");
        TfrmZipCode prompt(settings);
        const int result = runPrompt(prompt, [&](TfrmZipCode& p) {
            p.eZipCode->setText(QString::fromUtf8(c.typed));
            p.bOK->click();
        });
        EXPECT_EQ(result, QDialog::Accepted);
        const QString zip = QString::fromUtf8(c.zipCode);
        EXPECT_EQ(settings.ZipCode, zip);
        EXPECT_EQ(settings.News.WeatherURL, weatherAddress(kWeatherPrefix, zip));
        EXPECT_EQ(settings.News.WeatherURL,
                  QStringLiteral("https://wttr.in/") + zip + QStringLiteral("?format=j1"));
        EXPECT_EQ(settings.News.NewsURL, QStringLiteral("http://127.0.0.1/news"))
            << "only the weather address changes";
    }
}

TEST(ZipCodePrompt, EveryWayOfClosingTakesTheEntry) {
    struct Way {
        const char* name;
        std::function<void(TfrmZipCode&)> close;
    };
    const Way ways[] = {
        {"Enter", [](TfrmZipCode& p) { pressKey(p.eZipCode, Qt::Key_Return); }},
        {"Esc", [](TfrmZipCode& p) { pressKey(p.eZipCode, Qt::Key_Escape); }},
        {"close button", [](TfrmZipCode& p) { p.close(); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        for (const QString& typed : {QStringLiteral("54321"), QString()}) {
            StationSettings settings = unsetSettings();
            TfrmZipCode prompt(settings);
            runPrompt(prompt, [&](TfrmZipCode& p) {
                p.eZipCode->setText(typed);
                way.close(p);
            });
            const QString expected = typed.isEmpty() ? QStringLiteral("90210") : typed;
            EXPECT_FALSE(prompt.isVisible());
            EXPECT_EQ(settings.ZipCode, expected);
            EXPECT_EQ(settings.News.WeatherURL, weatherAddress(kWeatherPrefix, expected));
        }
    }
}
