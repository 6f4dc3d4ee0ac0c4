#include "FormHelp.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace corvalin {

TfrmHelp::TfrmHelp(const QString& programFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), programFolder_(programFolder) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Corvalin Radio Help"));
    resize(640, 560);
    mHelp = new QTextBrowser(this);
    mHelp->setObjectName(QStringLiteral("mHelp"));
    mHelp->setOpenLinks(true);
    mHelp->setOpenExternalLinks(true);
    mHelp->setSearchPaths({programFolder_ + QStringLiteral("help")});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mHelp);
}

QString TfrmHelp::topicPath(const QString& programFolder, int topic) {
    return programFolder + QStringLiteral("help/%1.html").arg(topic);
}

bool TfrmHelp::showTopic(int topic) {
    const QString path = topicPath(programFolder_, topic);
    if (QFileInfo(path).isFile()) {
        mHelp->setSource(QUrl::fromLocalFile(path));
        return true;
    }
    mHelp->setHtml(QStringLiteral("<h2>No help here yet</h2><p>The help page for this topic "
                                  "(%1) is missing from the station folder.</p>")
                       .arg(path.toHtmlEscaped()));
    return false;
}

} // namespace corvalin
