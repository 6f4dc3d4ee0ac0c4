#include "DialogDriving.h"
#include "TestSupport.h"
#include "dialogs/BrowserLaunch.h"
#include "dialogs/FormAbout.h"
#include "platform/Version.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::whenModal;

namespace {

const QString kSiteTarget = QStringLiteral("https://www.corvalinradio.org/corvalinradio");
const QString kMailTarget = QStringLiteral("mailto:support@corvalinradio.org");

void writeExecutable(const QString& path, const QByteArray& script) {
    test::writeWholeFile(path, script);
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadGroup | QFile::ExeGroup));
}

void writeEntry(const QString& path, const QString& exec, const QString& extra = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    test::writeWholeFile(path, (QStringLiteral("[Desktop Entry]\nType=Application\nName=Fake\n") +
                                extra + QStringLiteral("Exec=") + exec + QLatin1Char('\n'))
                                   .toUtf8());
}

// A desktop with its MIME associations answered by a table instead of xdg-mime, and its data
// folders in a temporary folder: data/ as XDG_DATA_HOME, sys1/ and sys2/ as XDG_DATA_DIRS.
struct FakeDesktop {
    test::TempFolder folder;
    std::map<QString, QString> handlers; // "x-scheme-handler/http" -> "browser.desktop"
    QStringList asked;                   // the MIME types asked for

    QString applications(const QString& root) const {
        return folder.file(root + QStringLiteral("/applications/"));
    }
    BrowserLookup lookup() {
        BrowserLookup l;
        l.runCommand = [this](const QString& program,
                              const QStringList& arguments) -> std::optional<QString> {
            EXPECT_EQ(program, QStringLiteral("xdg-mime"));
            if (arguments.size() != 3 || arguments[0] != QStringLiteral("query") ||
                arguments[1] != QStringLiteral("default"))
                return std::nullopt;
            asked.append(arguments[2]);
            const auto it = handlers.find(arguments[2]);
            // xdg-mime prints nothing and succeeds when no handler is registered.
            return it == handlers.end() ? QString() : it->second + QLatin1Char('\n');
        };
        l.dataHome = folder.file(QStringLiteral("data"));
        l.dataDirs = {folder.file(QStringLiteral("sys1")), folder.file(QStringLiteral("sys2"))};
        return l;
    }
};

struct Launch {
    QString program;
    QStringList arguments;
    QString folder;
};

// What the error box that comes up says; it is closed with OK.
struct ErrorBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int shown = 0;
};
void answerErrorBox(ErrorBox& seen) {
    whenModal([](QWidget* w) { return qobject_cast<QMessageBox*>(w) != nullptr; },
              [&seen](QWidget* w) {
                  auto* box = qobject_cast<QMessageBox*>(w);
                  seen.caption = box->windowTitle();
                  seen.text = box->text();
                  seen.icon = box->icon();
                  ++seen.shown;
                  box->button(QMessageBox::Ok)->click();
              });
}

void mouse(QWidget* target, QEvent::Type type) {
    const QPoint at = target->rect().center();
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, target->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void clickLink(QLabel* link) {
    mouse(link, QEvent::MouseButtonPress);
    mouse(link, QEvent::MouseButtonRelease);
}

QColor textColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

// The box with a fake desktop: a browser and a mail program registered, the launches recorded.
struct AboutFixture {
    FakeDesktop desktop;
    std::vector<Launch> launches;
    int launchResult = 0;
    std::vector<int> helpTopics;
    int beeps = 0;
    QString pathFolder = desktop.folder.file(QStringLiteral("bin"));

    AboutFixture() {
        QDir().mkpath(pathFolder);
        writeExecutable(pathFolder + QStringLiteral("/fakebrowser"), "#!/bin/sh\n");
        writeExecutable(pathFolder + QStringLiteral("/fakemail"), "#!/bin/sh\n");
        desktop.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
        desktop.handlers[QStringLiteral("x-scheme-handler/mailto")] =
            QStringLiteral("mail.desktop");
        writeEntry(desktop.applications(QStringLiteral("data")) + QStringLiteral("web.desktop"),
                   QStringLiteral("fakebrowser --new-window %u"));
        writeEntry(desktop.applications(QStringLiteral("sys2")) + QStringLiteral("mail.desktop"),
                   QStringLiteral("fakemail -compose %U"));
    }

    AboutEnvironment environment() {
        AboutEnvironment env;
        env.lookup = desktop.lookup();
        env.start = [this](const QString& program, const QStringList& arguments,
                           const QString& folder) {
            launches.push_back({program, arguments, folder});
            return launchResult;
        };
        env.path = pathFolder;
        env.showHelp = [this](int topic) { helpTopics.push_back(topic); };
        env.beep = [this] { ++beeps; };
        return env;
    }
};

AboutTexts sampleTexts() {
    return AboutTexts{QStringLiteral("1.2.3"), QStringLiteral("(c) Somebody"),
                      QStringLiteral("Some Company")};
}

} // namespace

TEST(BrowserLookup, FindsTheRegisteredHandlersExecCommand) {
    struct Case {
        const char* name;
        std::function<void(FakeDesktop&)> setUp;
        QString scheme;
        QString command; // expected; empty: none
    };
    const Case cases[] = {
        {"entry in the user's own folder",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             writeEntry(d.applications(QStringLiteral("data")) + QStringLiteral("web.desktop"),
                        QStringLiteral("fakebrowser %u"));
         },
         QStringLiteral("http"), QStringLiteral("fakebrowser %u")},
        {"entry in the second system folder",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             writeEntry(d.applications(QStringLiteral("sys2")) + QStringLiteral("web.desktop"),
                        QStringLiteral("/usr/bin/sysbrowser %U"));
         },
         QStringLiteral("http"), QStringLiteral("/usr/bin/sysbrowser %U")},
        {"the user's entry hides the system's",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             writeEntry(d.applications(QStringLiteral("data")) + QStringLiteral("web.desktop"),
                        QStringLiteral("mine %u"));
             writeEntry(d.applications(QStringLiteral("sys1")) + QStringLiteral("web.desktop"),
                        QStringLiteral("theirs %u"));
         },
         QStringLiteral("http"), QStringLiteral("mine %u")},
        {"a hidden user entry without Exec hides the system's too",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             QDir().mkpath(d.applications(QStringLiteral("data")));
             test::writeWholeFile(d.applications(QStringLiteral("data")) +
                                      QStringLiteral("web.desktop"),
                                  "[Desktop Entry]\nHidden=true\n");
             writeEntry(d.applications(QStringLiteral("sys1")) + QStringLiteral("web.desktop"),
                        QStringLiteral("theirs %u"));
         },
         QStringLiteral("http"), QString()},
        {"mail has its own handler",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             d.handlers[QStringLiteral("x-scheme-handler/mailto")] = QStringLiteral("mail.desktop");
             writeEntry(d.applications(QStringLiteral("data")) + QStringLiteral("web.desktop"),
                        QStringLiteral("web %u"));
             writeEntry(d.applications(QStringLiteral("sys1")) + QStringLiteral("mail.desktop"),
                        QStringLiteral("mail %u"));
         },
         QStringLiteral("mailto"), QStringLiteral("mail %u")},
        {"a desktop file ID with a subfolder",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] =
                 QStringLiteral("vendor-web.desktop");
             writeEntry(d.applications(QStringLiteral("sys1")) +
                            QStringLiteral("vendor/web.desktop"),
                        QStringLiteral("vendorweb %u"));
         },
         QStringLiteral("http"), QStringLiteral("vendorweb %u")},
        {"Exec of other groups and translations is not the command",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             QDir().mkpath(d.applications(QStringLiteral("data")));
             test::writeWholeFile(d.applications(QStringLiteral("data")) +
                                      QStringLiteral("web.desktop"),
                                  "[Desktop Action private]\nExec=web --private %u\n"
                                  "[Desktop Entry]\nExec[de]=web --german\n"
                                  "Exec = web --flag\\sx %u\n");
         },
         QStringLiteral("http"), QStringLiteral("web --flag x %u")},
        {"no handler registered", [](FakeDesktop&) {}, QStringLiteral("http"), QString()},
        {"registered entry missing",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("gone.desktop");
         },
         QStringLiteral("http"), QString()},
        {"entry without Exec",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] = QStringLiteral("web.desktop");
             QDir().mkpath(d.applications(QStringLiteral("data")));
             test::writeWholeFile(d.applications(QStringLiteral("data")) +
                                      QStringLiteral("web.desktop"),
                                  "[Desktop Entry]\nName=No command\n");
         },
         QStringLiteral("http"), QString()},
        {"an answer that is no desktop file ID",
         [](FakeDesktop& d) {
             d.handlers[QStringLiteral("x-scheme-handler/http")] =
                 QStringLiteral("../../etc/passwd");
         },
         QStringLiteral("http"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        c.setUp(desktop);
        EXPECT_EQ(GetBrowserCommand(desktop.lookup(), c.scheme), c.command);
        EXPECT_EQ(desktop.asked, QStringList({QStringLiteral("x-scheme-handler/") + c.scheme}));
    }

    // xdg-mime missing or failing: no browser.
    BrowserLookup failing;
    failing.runCommand = [](const QString&, const QStringList&) { return std::nullopt; };
    EXPECT_TRUE(GetBrowserCommand(failing, QStringLiteral("http")).isEmpty());
    EXPECT_TRUE(GetBrowserCommand(BrowserLookup{}, QStringLiteral("http")).isEmpty());
}

TEST(BrowserLookup, RealXdgMimeReadsTheDesktopsAssociations) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        GTEST_SKIP() << "xdg-mime is not installed (xdg-utils)";
    test::TempFolder folder;
    const QString bin = folder.file(QStringLiteral("bin/"));
    QDir().mkpath(bin);
    writeExecutable(bin + QStringLiteral("fakebrowser"), "#!/bin/sh\n");
    writeEntry(folder.file(QStringLiteral("data/applications/fake-web.desktop")),
               bin + QStringLiteral("fakebrowser --url %u"));
    QDir().mkpath(folder.file(QStringLiteral("config")));
    test::writeWholeFile(folder.file(QStringLiteral("config/mimeapps.list")),
                         "[Default Applications]\nx-scheme-handler/http=fake-web.desktop\n");

    // xdg-mime reads the environment of the program that runs it.
    const char* names[] = {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS",     "XDG_DATA_HOME",
                           "XDG_DATA_DIRS",   "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"};
    std::vector<std::optional<QByteArray>> saved;
    for (const char* name : names)
        saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                        : std::nullopt);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.file(QStringLiteral("config"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(folder.file(QStringLiteral("none"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(folder.file(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(folder.file(QStringLiteral("none"))));
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("DESKTOP_SESSION");
    const BrowserLookup lookup = BrowserLookup::fromEnvironment();
    const QString web = GetBrowserCommand(lookup, QStringLiteral("http"));
    const QString mail = GetBrowserCommand(lookup, QStringLiteral("mailto"));
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i])
            qputenv(names[i], *saved[i]);
        else
            qunsetenv(names[i]);
    }
    EXPECT_EQ(web, bin + QStringLiteral("fakebrowser --url %u"));
    EXPECT_TRUE(mail.isEmpty()) << mail.toStdString();
}

TEST(BrowserLookup, ProgramOfTheCommand) {
    struct Case {
        const char* command;
        const char* program;
    };
    const Case cases[] = {
        {"firefox-esr %u", "firefox-esr"},
        {"\"/opt/My Browser/browser\" --new %U", "/opt/My Browser/browser"},
        {"  /usr/bin/web   %u", "/usr/bin/web"},
        {"", ""},
        {"\"/opt/unterminated %u", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(GetBrowserProgram(QString::fromUtf8(c.command)), QString::fromUtf8(c.program));
    }
}

TEST(BrowserLookup, ResolveTargetPutsTheAddressIntoTheCommand) {
    test::TempFolder folder;
    const QString bin = folder.file(QStringLiteral("bin"));
    const QString other = folder.file(QStringLiteral("other"));
    QDir().mkpath(bin);
    QDir().mkpath(other + QStringLiteral("/afolder"));
    writeExecutable(bin + QStringLiteral("/web"), "#!/bin/sh\n");
    test::writeWholeFile(other + QStringLiteral("/web"), "not executable, and first on PATH");
    test::writeWholeFile(other + QStringLiteral("/plain"), "not executable");
    const QString path = other + QLatin1Char(':') + bin;
    const QString url = QStringLiteral("https://example.org/a b?c=1&d=%41");

    struct Case {
        QString command;
        TargetKind kind;
        QString program;
        QStringList arguments;
    };
    const QString web = bin + QStringLiteral("/web");
    const Case cases[] = {
        {QStringLiteral("web %u"), TargetKind::File, web, {url}},
        {QStringLiteral("web --new-window %U --class=x %i %c"),
         TargetKind::File,
         web,
         {QStringLiteral("--new-window"), url, QStringLiteral("--class=x")}},
        {QStringLiteral("web"), TargetKind::File, web, {url}},
        {QStringLiteral("web --url=%f"), TargetKind::File, web, {QStringLiteral("--url=") + url}},
        {QStringLiteral("web 100%% %F"), TargetKind::File, web, {QStringLiteral("100%"), url}},
        {QStringLiteral("web \"two words\" \"a \\\"quote\\\"\" %u"),
         TargetKind::File,
         web,
         {QStringLiteral("two words"), QStringLiteral("a \"quote\""), url}},
        {QStringLiteral("\"") + web + QStringLiteral("\" %u"), TargetKind::File, web, {url}},
        {QStringLiteral("plain %u"), TargetKind::File, other + QStringLiteral("/plain"), {url}},
        {other + QStringLiteral("/afolder %u"),
         TargetKind::Folder,
         other + QStringLiteral("/afolder"),
         {url}},
        {QStringLiteral("nosuchbrowser %u"),
         TargetKind::Missing,
         QStringLiteral("nosuchbrowser"),
         {url}},
        {QString(), TargetKind::Nothing, QString(), {}},
        {QStringLiteral("\"unterminated %u"), TargetKind::Nothing, QString(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command.toStdString());
        const ResolvedLaunch r = ResolveTarget(c.command, url, path);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.program, c.program);
        EXPECT_EQ(r.arguments, c.arguments);
    }
}

TEST(BrowserLaunch, ErrorTextsByTheSystemsError) {
    struct Case {
        int error;
        const char* text;
    };
    const Case cases[] = {
        {ENOENT, "The specified file or directory was not found."},
        {EACCES, "Access denied."},
        {ENOMEM, "Not enough memory."},
        {EPERM, "An unexpected error has occurred."},
        {ENOEXEC, "An unexpected error has occurred."},
        {-1, "An unexpected error has occurred."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LaunchErrorText(c.error), QString::fromLatin1(c.text)) << c.error;
}

TEST(BrowserLaunch, StartsDetachedOrReportsTheSystemsError) {
    test::TempFolder folder;
    const QString record = folder.file(QStringLiteral("record.txt"));
    const QString script = folder.file(QStringLiteral("tools/browser"));
    QDir().mkpath(folder.file(QStringLiteral("tools")));
    // Writes its folder and arguments, then lets the test see the whole record at once.
    writeExecutable(script,
                    "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$0.tmp\"\n"
                    "mv \"$0.tmp\" \"" +
                        QFile::encodeName(record) + "\"\n");
    test::writeWholeFile(folder.file(QStringLiteral("plain")), "#!/bin/sh\n");

    struct Case {
        QString program;
        int error;
    };
    const Case cases[] = {
        {folder.file(QStringLiteral("missing")), ENOENT},
        {folder.file(QStringLiteral("plain")), EACCES}, // not executable
        {folder.file(QStringLiteral("tools")), EACCES}, // a folder
        {folder.file(QStringLiteral("plain/below")), ENOTDIR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        EXPECT_EQ(startDetachedProcess(c.program, {QStringLiteral("x")}, folder.path()), c.error);
    }

    const int error = ShellLaunch(script + QStringLiteral(" --open %u"), kSiteTarget,
                                  startDetachedProcess, QString());
    EXPECT_EQ(error, 0);
    ASSERT_TRUE(test::waitFor([&] { return QFileInfo::exists(record); }));
    EXPECT_EQ(QString::fromUtf8(test::readWholeFile(record)), folder.file(QStringLiteral("tools")) +
                                                                  QStringLiteral("\n--open\n") +
                                                                  kSiteTarget + QLatin1Char('\n'))
        << "started in the program's own folder with the address";

    EXPECT_EQ(ShellLaunch(QStringLiteral("nosuchbrowser-xyz %u"), kSiteTarget, startDetachedProcess,
                          folder.path()),
              ENOENT);
    EXPECT_EQ(ShellLaunch(QString(), kSiteTarget, startDetachedProcess), ENOENT);
}

TEST(AboutBox, ShowsTheVersionTextsAndTheLinks) {
    AboutFixture f;
    TfrmAbout about(sampleTexts(), f.environment());
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Corvalin Radio"));
    EXPECT_EQ(about.lVersion->text(), QStringLiteral("Version 1.2.3"));
    EXPECT_EQ(about.lCopyright->text(), QStringLiteral("(c) Somebody"));
    EXPECT_EQ(about.lCompanyName->text(), QStringLiteral("Some Company"));
    EXPECT_EQ(about.Label5->text(), QStringLiteral("Send comments and support requests "));
    EXPECT_EQ(about.Label6->text(), QStringLiteral("Check for new updates on website"));
    EXPECT_EQ(about.lMailTo->text(), QStringLiteral("support@corvalinradio.org"));
    EXPECT_EQ(about.lWebSite->text(), QStringLiteral("https://www.corvalinradio.org"));
    EXPECT_EQ(about.bOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(about.bHelp->text(), QStringLiteral("Help"));
    EXPECT_TRUE(about.bOK->isDefault());
    EXPECT_FALSE(about.LaunchBusy);
    for (QLabel* link : {about.lMailTo, about.lWebSite}) {
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(textColour(link), QColor(0x00, 0x00, 0x80));
    }

    const AboutTexts own = AboutTexts::ofProgram();
    EXPECT_EQ(own.Version, programVersion());
    EXPECT_EQ(own.Copyright, legalNotice());
    EXPECT_FALSE(own.CompanyName.isEmpty());
}

TEST(AboutBox, PressingALinkTurnsItBlueAndReleasingFuchsia) {
    AboutFixture f;
    TfrmAbout about(sampleTexts(), f.environment());
    about.show();
    mouse(about.lWebSite, QEvent::MouseButtonPress);
    EXPECT_EQ(textColour(about.lWebSite), QColor(0x00, 0x00, 0xFF));
    EXPECT_TRUE(f.launches.empty()) << "the press alone opens nothing";
    mouse(about.lWebSite, QEvent::MouseButtonRelease);
    EXPECT_EQ(textColour(about.lWebSite), QColor(0xFF, 0x00, 0xFF));
    EXPECT_EQ(textColour(about.lMailTo), QColor(0x00, 0x00, 0x80));
    EXPECT_EQ(f.launches.size(), 1u);
}

TEST(AboutBox, LinksOpenTheRegisteredWebAndMailPrograms) {
    AboutFixture f;
    TfrmAbout about(sampleTexts(), f.environment());
    about.show();
    clickLink(about.lWebSite);
    clickLink(about.lMailTo);
    ASSERT_EQ(f.launches.size(), 2u);
    EXPECT_EQ(f.launches[0].program, f.pathFolder + QStringLiteral("/fakebrowser"));
    EXPECT_EQ(f.launches[0].arguments, QStringList({QStringLiteral("--new-window"), kSiteTarget}));
    EXPECT_EQ(f.launches[0].folder, f.pathFolder);
    EXPECT_EQ(f.launches[1].program, f.pathFolder + QStringLiteral("/fakemail"));
    EXPECT_EQ(f.launches[1].arguments, QStringList({QStringLiteral("-compose"), kMailTarget}));
    EXPECT_EQ(f.desktop.asked, QStringList({QStringLiteral("x-scheme-handler/https"),
                                            QStringLiteral("x-scheme-handler/http"),
                                            QStringLiteral("x-scheme-handler/mailto")}));
    EXPECT_FALSE(about.LaunchBusy);
    EXPECT_EQ(f.beeps, 0);

    EXPECT_EQ(AboutLinkTarget(QStringLiteral("www.example.org"), false),
              QStringLiteral("www.example.org/corvalinradio"));
    EXPECT_EQ(AboutLinkTarget(QStringLiteral("a@b.org"), true), QStringLiteral("mailto:a@b.org"));
    EXPECT_EQ(AboutLinkSchemes(QStringLiteral("MAILTO:a@b.org")),
              QStringList{QStringLiteral("mailto")});
    EXPECT_EQ(AboutLinkSchemes(kSiteTarget),
              QStringList({QStringLiteral("https"), QStringLiteral("http")}));
    EXPECT_EQ(AboutLinkSchemes(QStringLiteral("http://www.example.org/corvalinradio")),
              QStringList{QStringLiteral("http")});
}

// The site is an https address: the program registered for https opens it, and the one for http
// only when none is registered for https.
TEST(AboutBox, TheWebLinkAsksForAnHttpsHandlerFirstThenHttp) {
    struct Case {
        const char* name;
        const char* https; // desktop entry registered for https, or none
        const char* http;  // and for http
        const char* opened;
        QStringList asked;
    };
    const QString https = QStringLiteral("x-scheme-handler/https");
    const QString http = QStringLiteral("x-scheme-handler/http");
    const Case cases[] = {
        {"https only", "secure.desktop", nullptr, "/securebrowser", {https}},
        {"both: https wins", "secure.desktop", "web.desktop", "/securebrowser", {https}},
        {"http only", nullptr, "web.desktop", "/fakebrowser", {https, http}},
        {"https entry gone", "gone.desktop", "web.desktop", "/fakebrowser", {https, http}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AboutFixture f;
        writeExecutable(f.pathFolder + QStringLiteral("/securebrowser"), "#!/bin/sh\n");
        writeEntry(f.desktop.applications(QStringLiteral("sys1")) +
                       QStringLiteral("secure.desktop"),
                   QStringLiteral("securebrowser %u"));
        f.desktop.handlers.erase(http);
        if (c.https)
            f.desktop.handlers[https] = QString::fromLatin1(c.https);
        if (c.http)
            f.desktop.handlers[http] = QString::fromLatin1(c.http);
        TfrmAbout about(sampleTexts(), f.environment());
        about.show();
        clickLink(about.lWebSite);
        ASSERT_EQ(f.launches.size(), 1u);
        EXPECT_EQ(f.launches[0].program, f.pathFolder + QString::fromLatin1(c.opened));
        EXPECT_EQ(f.launches[0].arguments.last(), kSiteTarget);
        EXPECT_EQ(f.desktop.asked, c.asked);
    }
}

TEST(AboutBox, NoRegisteredProgramSaysSo) {
    struct Case {
        const char* name;
        std::function<void(AboutFixture&)> breakIt;
    };
    const Case cases[] = {
        {"nothing registered", [](AboutFixture& f) { f.desktop.handlers.clear(); }},
        {"entry gone",
         [](AboutFixture& f) {
             QFile::remove(f.desktop.applications(QStringLiteral("data")) +
                           QStringLiteral("web.desktop"));
         }},
        {"empty Exec",
         [](AboutFixture& f) {
             writeEntry(f.desktop.applications(QStringLiteral("data")) +
                            QStringLiteral("web.desktop"),
                        QString());
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AboutFixture f;
        c.breakIt(f);
        TfrmAbout about(sampleTexts(), f.environment());
        about.show();
        ErrorBox seen;
        answerErrorBox(seen);
        clickLink(about.lWebSite);
        EXPECT_EQ(seen.shown, 1);
        EXPECT_EQ(seen.caption, QStringLiteral("Error"));
        EXPECT_EQ(seen.text, QStringLiteral("No web-browser is setup. Unable to launch the URL."));
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_TRUE(f.launches.empty());
        EXPECT_FALSE(about.LaunchBusy);
    }
}

TEST(AboutBox, FailedLaunchShowsTheSystemsReason) {
    struct Case {
        int error;
        const char* text;
    };
    const Case cases[] = {
        {ENOENT, "The specified file or directory was not found."},
        {EACCES, "Access denied."},
        {ENOMEM, "Not enough memory."},
        {E2BIG, "An unexpected error has occurred."},
        {-1, "An unexpected error has occurred."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        AboutFixture f;
        f.launchResult = c.error;
        TfrmAbout about(sampleTexts(), f.environment());
        about.show();
        ErrorBox seen;
        answerErrorBox(seen);
        clickLink(about.lMailTo);
        EXPECT_EQ(f.launches.size(), 1u);
        EXPECT_EQ(seen.shown, 1);
        EXPECT_EQ(seen.caption, QStringLiteral("Error"));
        EXPECT_EQ(seen.text, QString::fromLatin1(c.text));
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_FALSE(about.LaunchBusy);
    }

    // The real launcher with a registered program that is not there.
    AboutFixture f;
    writeEntry(f.desktop.applications(QStringLiteral("data")) + QStringLiteral("web.desktop"),
               f.desktop.folder.file(QStringLiteral("uninstalled/browser")) +
                   QStringLiteral(" %u"));
    AboutEnvironment env = f.environment();
    env.start = startDetachedProcess;
    TfrmAbout about(sampleTexts(), std::move(env));
    about.show();
    ErrorBox seen;
    answerErrorBox(seen);
    clickLink(about.lWebSite);
    EXPECT_EQ(seen.text, QStringLiteral("The specified file or directory was not found."));
}

TEST(AboutBox, ASecondClickWhileALaunchRunsOnlyBeeps) {
    AboutFixture f;
    AboutEnvironment env = f.environment();
    TfrmAbout* box = nullptr;
    int starts = 0;
    env.start = [&](const QString&, const QStringList&, const QString&) {
        ++starts;
        EXPECT_TRUE(box->LaunchBusy);
        clickLink(box->lWebSite); // the operator clicks again before the first launch is done
        clickLink(box->lMailTo);
        return 0;
    };
    TfrmAbout about(sampleTexts(), std::move(env));
    box = &about;
    about.show();
    clickLink(about.lWebSite);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(f.beeps, 2);
    EXPECT_FALSE(about.LaunchBusy);

    // Once it is done, a click launches again.
    about.URLClick(about.lWebSite);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(f.beeps, 4);
}

TEST(AboutBox, HelpOpensTopicEightAndOkOrEscCloses) {
    AboutFixture f;
    TfrmAbout about(sampleTexts(), f.environment());
    about.bHelp->click();
    EXPECT_EQ(f.helpTopics, std::vector<int>({8}));

    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key);
        TfrmAbout box(sampleTexts(), f.environment());
        QTimer::singleShot(0, &box, [&box, key] {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(&box, &press);
        });
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &box, &QDialog::reject);
        guard.start(10000);
        box.exec();
        EXPECT_TRUE(guard.isActive()) << "the box did not close by itself";
        EXPECT_FALSE(box.isVisible());
    }
}
