#pragma once

#include <QWidget>

class QTextBrowser;

namespace corvalin {

// The help window: shows the page help/<topic>.html of the station folder. Links between the
// pages work; links to the web open in the desktop's browser.
class TfrmHelp : public QWidget {
    Q_OBJECT
public:
    // `programFolder` ends with "/".
    explicit TfrmHelp(const QString& programFolder, QWidget* parent = nullptr);

    // Shows the topic's page, or a short notice when the page is missing. Returns whether the
    // page was found.
    bool showTopic(int topic);
    static QString topicPath(const QString& programFolder, int topic);

    QTextBrowser* mHelp = nullptr;

private:
    QString programFolder_;
};

} // namespace corvalin
