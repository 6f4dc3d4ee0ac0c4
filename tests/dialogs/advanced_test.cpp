#include "DialogDriving.h"
#include "TestSupport.h"
#include "dialogs/FormAdvanced.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::runModal;
using corvalin::test::TempFolder;

namespace {

const char* const kBoxNames[] = {
    "eNewsURL",        "eNewsStart",     "eNewsEnd",     "eWeatherURL", "eTemperatureStart",
    "eTemperatureEnd", "eForecastStart", "eForecastEnd", "eCityStart",  "eCityEnd"};

// Values an operator might have set, none of them a default.
NewsDefinitions customDefinitions() {
    NewsDefinitions d;
    d.NewsURL = QStringLiteral("http://127.0.0.1:8001/news");
    d.NewsStart = QStringLiteral("<h1>");
    d.NewsEnd = QStringLiteral("</h1>");
    d.WeatherURL = QStringLiteral("http://127.0.0.1:8002/weather/local/12345");
    d.TemperatureStart = QStringLiteral("temp=");
    d.TemperatureEnd = QStringLiteral(";");
    d.ForecastStart = QStringLiteral("sky=");
    d.ForecastEnd = QStringLiteral(";");
    d.CityStart = QStringLiteral("city=");
    d.CityEnd = QStringLiteral(";");
    d.PrecipStart = QStringLiteral("rain=");
    d.PrecipEnd = QStringLiteral("%");
    return d;
}

struct AdvancedStation {
    TempFolder folder;
    SettingsStore store{SettingsPaths{folder.path(), folder.path() + QStringLiteral("config")}};
    StationSettings settings = defaultSettings(folder.path(), QTime(9, 0));
    QList<NewsDefinitions> changes;
    QList<int> helpTopics;
    AdvancedContext context{settings, store};

    AdvancedStation() {
        settings.ZipCode = QStringLiteral("12345");
        settings.News = customDefinitions();
        context.NewsDefinitionsChanged = [this](const NewsDefinitions& d) { changes << d; };
        context.ShowHelp = [this](int topic) { helpTopics << topic; };
    }
    QString storeFile() const { return store.paths().storeFile(settings.SameSettings); }
};

QString stored(const QString& file, const QString& key) {
    return IniFile::load(file).value(kNewsSection, key).value_or(QStringLiteral("<missing>"));
}

TEST(AdvancedOptions, ShowsTheTenValuesInTheirGroups) {
    AdvancedStation st;
    TfrmAdvanced dlg(st.context);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Corvalin Radio - Advanced Options"));
    EXPECT_EQ(dlg.gbNews->title(), QStringLiteral("News"));
    EXPECT_EQ(dlg.gbWeather->title(), QStringLiteral("Weather"));
    const QStringList labels = {
        QStringLiteral("News URL"),
        QStringLiteral("News starts at text"),
        QStringLiteral("News ends at text"),
        QStringLiteral("Weather URL"),
        QStringLiteral("Temperature starts at text"),
        QStringLiteral("Temperature ends at text"),
        QStringLiteral("Condition starts at text"),
        QStringLiteral("Condition ends at text"),
        QStringLiteral("City starts at text"),
        QStringLiteral("City ends at text"),
    };
    const NewsDefinitions values = customDefinitions();
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE(kBoxNames[i]);
        auto* box = dlg.findChild<QLineEdit*>(QString::fromLatin1(kBoxNames[i]));
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), i < 3 ? dlg.gbNews : dlg.gbWeather);
        EXPECT_EQ(box->text(), values.*newsDefinitionKeys()[i].field);
        QLabel* label = nullptr;
        for (QLabel* l : box->parentWidget()->findChildren<QLabel*>())
            if (l->buddy() == box)
                label = l;
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), labels[static_cast<qsizetype>(i)]);
    }
    EXPECT_EQ(dlg.bOK->text(), QStringLiteral("OK"));
    EXPECT_TRUE(dlg.bOK->isDefault());
    EXPECT_EQ(dlg.bCancel->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(dlg.bDefaults->text(), QStringLiteral("Set All To Default"));
    EXPECT_EQ(dlg.bHelp->text(), QStringLiteral("Help"));
    dlg.bHelp->click();
    EXPECT_EQ(st.helpTopics, QList<int>{6});
}

QString labelOf(QLineEdit* box) {
    for (QLabel* l : box->parentWidget()->findChildren<QLabel*>())
        if (l->buddy() == box)
            return l->text();
    return QStringLiteral("<no label>");
}

// The defaults read a feed and a JSON answer: the boxes are named by what those use, and follow
// the kind of source as the operator changes it.
TEST(AdvancedOptions, BoxesAreNamedByWhatTheSourceKindUses) {
    AdvancedStation st;
    st.settings.News = builtInDefinitionsInForce(QStringLiteral("12345"));
    TfrmAdvanced dlg(st.context);
    struct Expect {
        QLineEdit* box;
        const char* label;
    };
    const auto check = [&](std::initializer_list<Expect> expected) {
        for (const Expect& e : expected) {
            SCOPED_TRACE(e.box->objectName().toStdString());
            EXPECT_EQ(labelOf(e.box), QString::fromLatin1(e.label));
            EXPECT_FALSE(e.box->toolTip().isEmpty()) << "each box has its hint";
        }
    };
    check({{dlg.eNewsURL, "News URL"},
           {dlg.eNewsStart, "Feed: title, or \"description\""},
           {dlg.eNewsEnd, "Not used for a feed"},
           {dlg.eWeatherURL, "Weather URL"},
           {dlg.eTemperatureStart, "Temperature JSON pointer"},
           {dlg.eTemperatureEnd, "Not used for JSON"},
           {dlg.eForecastStart, "Condition JSON pointer"},
           {dlg.eForecastEnd, "Not used for JSON"},
           {dlg.eCityStart, "City JSON pointer"},
           {dlg.eCityEnd, "Not used for JSON"}});
    EXPECT_TRUE(dlg.eTemperatureStart->toolTip().contains(QStringLiteral("JSON pointer")));
    EXPECT_TRUE(dlg.lNewsKind->text().contains(QStringLiteral("RSS or Atom feed")));
    EXPECT_TRUE(dlg.lWeatherKind->text().contains(QStringLiteral("JSON pointer")));

    // A web page's address and markers: text markers again.
    dlg.eNewsURL->setText(QStringLiteral("http://127.0.0.1:8001/news"));
    dlg.eWeatherURL->setText(QStringLiteral("http://127.0.0.1:8002/weather/local/12345"));
    dlg.eTemperatureStart->setText(QStringLiteral("<b class=temp>"));
    check({{dlg.eNewsStart, "News starts at text"},
           {dlg.eNewsEnd, "News ends at text"},
           {dlg.eTemperatureStart, "Temperature starts at text"},
           {dlg.eTemperatureEnd, "Temperature ends at text"},
           {dlg.eCityStart, "City starts at text"}});
    EXPECT_TRUE(dlg.lNewsKind->text().contains(QStringLiteral("web page")));
    EXPECT_TRUE(dlg.lWeatherKind->text().contains(QStringLiteral("web page")));

    // "Set All To Default" brings the feed and JSON names back.
    dlg.bDefaults->click();
    check({{dlg.eNewsEnd, "Not used for a feed"}, {dlg.eCityStart, "City JSON pointer"}});
}

TEST(AdvancedOptions, SourceKindGuessedFromAddressAndMarkers) {
    struct Case {
        const char* name;
        QString url;
        QString start;
        SourceKind kind;
    };
    const Case news[] = {
        {"feed file", QStringLiteral("https://feeds.bbci.co.uk/news/rss.xml"),
         QStringLiteral("<div>"), SourceKind::Feed},
        {"atom path", QStringLiteral("https://example.org/atom"), QString(), SourceKind::Feed},
        {"feed word in the query", QStringLiteral("https://example.org/news?format=rss"), QString(),
         SourceKind::Feed},
        {"summary asked for", QStringLiteral("https://example.org/latest"),
         QStringLiteral(" Description "), SourceKind::Feed},
        {"home page", QStringLiteral("https://www.example.org/"), QStringLiteral("<h1>"),
         SourceKind::Page},
        {"word inside another", QStringLiteral("https://example.org/crossfeeding/x"),
         QStringLiteral("<h1>"), SourceKind::Page},
    };
    for (const Case& c : news) {
        SCOPED_TRACE(c.name);
        NewsDefinitions d;
        d.NewsURL = c.url;
        d.NewsStart = c.start;
        EXPECT_EQ(newsSourceKind(d), c.kind);
    }
    const Case weather[] = {
        {"pointer", QStringLiteral("https://example.org/w/12345"), QStringLiteral("/current/temp"),
         SourceKind::Json},
        {"j1 address", QStringLiteral("https://wttr.in/12345?format=j1"), QString(),
         SourceKind::Json},
        {"json address", QStringLiteral("https://api.example.org/weather.json?zip=1"),
         QStringLiteral("temp="), SourceKind::Json},
        {"markers", QStringLiteral("https://example.org/weather/local/12345"),
         QStringLiteral("><B CLASS=obsTempTextA>"), SourceKind::Page},
        {"closing tag marker", QStringLiteral("https://example.org/weather/local/12345"),
         QStringLiteral("/b><i>"), SourceKind::Page},
    };
    for (const Case& c : weather) {
        SCOPED_TRACE(c.name);
        NewsDefinitions d;
        d.WeatherURL = c.url;
        d.TemperatureStart = c.start;
        EXPECT_EQ(weatherSourceKind(d), c.kind);
    }
}

TEST(AdvancedOptions, ShowsTheLastFetchOutcome) {
    AdvancedStation st;
    {
        TfrmAdvanced dlg(st.context);
        EXPECT_TRUE(dlg.lLastFetch->text().isEmpty()) << "no outcome to show";
    }
    const QString line =
        QStringLiteral("Last fetch 2026-12-10 11:15: no headline: HTTP status 404; weather found.");
    st.context.LastFetchOutcome = [&] { return line; };
    TfrmAdvanced dlg(st.context);
    EXPECT_EQ(dlg.lLastFetch->text(), line);
    EXPECT_EQ(dlg.lLastFetch->objectName(), QStringLiteral("lLastFetch"));
    EXPECT_FALSE(dlg.eTemperatureStart->toolTip().isEmpty()) << "says a JSON pointer goes here";
}

TEST(AdvancedOptions, DefaultsThenOkStoresTheBuiltInValuesWithTheZipCode) {
    AdvancedStation st;
    TfrmAdvanced dlg(st.context);
    const int result = runModal(dlg, [&] {
        dlg.bDefaults->click();
        EXPECT_EQ(st.settings.News, customDefinitions()) << "only the boxes change";
        dlg.bOK->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    const NewsDefinitions defaults = builtInDefinitionsInForce(QStringLiteral("12345"));
    EXPECT_EQ(st.settings.News.WeatherURL, QStringLiteral("https://wttr.in/12345?format=j1"));
    for (const auto& [key, field] : newsDefinitionKeys()) {
        SCOPED_TRACE(key.toStdString());
        EXPECT_EQ(st.settings.News.*field, defaults.*field);
        EXPECT_EQ(stored(st.storeFile(), key), defaults.*field);
    }
    EXPECT_EQ(st.settings.News.PrecipStart, QStringLiteral("rain=")) << "not offered here";
    ASSERT_EQ(st.changes.size(), 1);
    EXPECT_EQ(st.changes.front(), st.settings.News);

    // In the store's [DJ5] in their order, after what was there.
    const IniFile ini = IniFile::load(st.storeFile());
    const auto& entries = ini.entries(kNewsSection);
    ASSERT_EQ(entries.size(), 10u);
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].key, newsDefinitionKeys()[i].key);
}

TEST(AdvancedOptions, CancelOrEscChangesNothingAfterDefaults) {
    for (const bool esc : {false, true}) {
        SCOPED_TRACE(esc ? "Esc" : "Cancel");
        AdvancedStation st;
        TfrmAdvanced dlg(st.context);
        const int result = runModal(dlg, [&] {
            dlg.bDefaults->click();
            dlg.eNewsEnd->setText(QStringLiteral("changed"));
            if (esc) {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(dlg.eNewsEnd, &press);
            } else {
                dlg.bCancel->click();
            }
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(st.settings.News, customDefinitions());
        EXPECT_FALSE(QFile::exists(st.storeFile()));
        EXPECT_TRUE(st.changes.isEmpty());
    }
}

TEST(AdvancedOptions, OkStoresTheBoxesExactlyAsTyped) {
    struct Case {
        const char* name;
        bool sameSettings;
        QString typed;
    };
    const Case cases[] = {
        {"emptied", false, QString()},
        {"blanks kept", false, QStringLiteral("  <b> ")},
        {"shared store", true, QStringLiteral("<span class=\"t\">")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AdvancedStation st;
        st.settings.SameSettings = c.sameSettings;
        TfrmAdvanced dlg(st.context);
        dlg.show();
        dlg.eTemperatureStart->setText(c.typed);
        dlg.eNewsURL->clear();
        dlg.bOK->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(st.settings.News.TemperatureStart, c.typed);
        EXPECT_EQ(st.settings.News.NewsURL, QString());
        EXPECT_EQ(stored(st.storeFile(), QStringLiteral("TemperatureStart")), c.typed);
        EXPECT_EQ(stored(st.storeFile(), QStringLiteral("NewsURL")), QString());
        EXPECT_EQ(stored(st.storeFile(), QStringLiteral("CityEnd")), QStringLiteral(";"));
        const QString otherStore = st.store.paths().storeFile(!c.sameSettings);
        EXPECT_EQ(stored(otherStore, QStringLiteral("NewsURL")), QStringLiteral("<missing>"));
    }
}

TEST(AdvancedOptions, ShowsTheAddressInMemoryNotAnUnconfirmedZipCode) {
    AdvancedStation st;
    st.settings.ZipCode = QStringLiteral("54321"); // as if typed but the address not yet adjusted
    TfrmAdvanced dlg(st.context);
    EXPECT_EQ(dlg.eWeatherURL->text(), customDefinitions().WeatherURL);
    dlg.bDefaults->click();
    EXPECT_EQ(dlg.eWeatherURL->text(), QStringLiteral("https://wttr.in/54321?format=j1"));
}

TEST(AdvancedOptions, UnwritableStoreShowsTheErrorAndStaysOpen) {
    TempFolder tmp;
    test::writeWholeFile(tmp.file(QStringLiteral("station")), "not a folder");
    SettingsStore blocked{
        SettingsPaths{tmp.file(QStringLiteral("station/")), tmp.file(QStringLiteral("config"))}};
    StationSettings settings = defaultSettings(tmp.file(QStringLiteral("station/")), QTime(9, 0));
    settings.SameSettings = true;
    settings.News = customDefinitions();
    AdvancedContext context(settings, blocked);
    int changes = 0;
    context.NewsDefinitionsChanged = [&](const NewsDefinitions&) { ++changes; };

    TfrmAdvanced dlg(context);
    QString text;
    bool stillOpen = false;
    const int result = runModal(dlg, [&] {
        dlg.eNewsURL->setText(QStringLiteral("http://127.0.0.1:9/never"));
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Corvalin Radio - Setup Error"));
            text = box->text();
            box->accept();
        });
        dlg.bOK->click();
        stillOpen = dlg.isVisible();
        dlg.bCancel->click();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(text.contains(blocked.paths().sharedFile())) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Not a directory"))) << text.toStdString();
    EXPECT_EQ(settings.News, customDefinitions());
    EXPECT_EQ(changes, 0);
}

TEST(AdvancedOptions, TypedValuesKeepThePrecipitationMarkers) {
    NewsDefinitions typed;
    typed.NewsURL = QStringLiteral("n");
    typed.CityEnd = QStringLiteral("c");
    const NewsDefinitions next = withTypedDefinitions(customDefinitions(), typed);
    EXPECT_EQ(next.NewsURL, QStringLiteral("n"));
    EXPECT_EQ(next.CityEnd, QStringLiteral("c"));
    EXPECT_EQ(next.WeatherURL, QString());
    EXPECT_EQ(next.PrecipStart, QStringLiteral("rain="));
    EXPECT_EQ(next.PrecipEnd, QStringLiteral("%"));
    EXPECT_EQ(advancedDefaults(QStringLiteral(" 777")).WeatherURL,
              weatherAddress(builtInNewsDefinitions().WeatherURL, QStringLiteral(" 777")));
}

} // namespace
