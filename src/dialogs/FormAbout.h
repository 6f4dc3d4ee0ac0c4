#pragma once

#include "dialogs/BrowserLaunch.h"

#include <QDialog>
#include <QPixmap>
#include <functional>

class QLabel;
class QPushButton;

namespace corvalin {

inline const QString kSupportMailAddress = QStringLiteral("support@corvalinradio.org");
inline const QString kWebSiteName = QStringLiteral("https://www.corvalinradio.org");
inline const QString kNoBrowserText =
    QStringLiteral("No web-browser is setup. Unable to launch the URL.");
inline constexpr int kAboutHelpTopic = 8;

// The three version texts the box shows, captured once when the program starts.
struct AboutTexts {
    QString Version;   // "0.1.0"
    QString Copyright; // the legal notice
    QString CompanyName;

    // This build's own texts.
    static AboutTexts ofProgram();
};

// What the box needs from outside. The defaults are the desktop's; tests give their own.
struct AboutEnvironment {
    BrowserLookup lookup = BrowserLookup::fromEnvironment();
    DetachedStarter start = startDetachedProcess;
    QString path = qEnvironmentVariable("PATH"); // where a handler's program name is looked up
    std::function<void(int topic)> showHelp;     // opens a help topic; none: Help does nothing
    std::function<void()> beep;                  // default QApplication::beep
    QPixmap logo;                                // none: the name in large letters
};

// The address a link opens: "mailto:" and the address for the e-mail link, the site name and
// "/corvalinradio" for the web site.
QString AboutLinkTarget(const QString& linkText, bool mailLink);
// The URL schemes whose registered handler may open `target`, in the order they are asked:
// "mailto" for a mail address; "https" then "http" for an https address (a desktop may register
// its browser for either); "http" for any other.
QStringList AboutLinkSchemes(const QString& target);

// The About box: logo, version texts and the two links, which open the desktop's registered
// mail and web programs. Window thread only.
class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    TfrmAbout(AboutTexts texts, AboutEnvironment environment, QWidget* parent = nullptr);

    QWidget* pTop = nullptr;
    QLabel* iLogo = nullptr;
    QLabel* lVersion = nullptr;
    QLabel* lCopyright = nullptr;
    QLabel* lCompanyName = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lMailTo = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* lWebSite = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bHelp = nullptr;

    // True while a link's launch is being handled; a click meanwhile only beeps.
    bool LaunchBusy = false;

    // A click on lMailTo or lWebSite.
    void URLClick(QLabel* link);
    void URLMouseDown(QLabel* link);
    void URLMouseUp(QLabel* link);
    void bHelpClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void showError(const QString& text);

    AboutTexts texts_;
    AboutEnvironment env_;
};

} // namespace corvalin
