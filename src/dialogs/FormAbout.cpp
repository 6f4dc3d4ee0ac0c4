#include "dialogs/FormAbout.h"

#include "platform/Version.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

namespace corvalin {

namespace {

const QColor kLinkColour(0x00, 0x00, 0x80);    // navy
const QColor kPressedColour(0x00, 0x00, 0xFF); // blue
const QColor kVisitedColour(0xFF, 0x00, 0xFF); // fuchsia

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(10, y, 380, 20);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

AboutTexts AboutTexts::ofProgram() {
    return AboutTexts{programVersion(), legalNotice(), QStringLiteral("Corvalin Radio")};
}

QString AboutLinkTarget(const QString& linkText, bool mailLink) {
    return mailLink ? QStringLiteral("mailto:") + linkText
                    : linkText + QStringLiteral("/corvalinradio");
}

QStringList AboutLinkSchemes(const QString& target) {
    if (target.toUpper().contains(QStringLiteral("MAILTO")))
        return {QStringLiteral("mailto")};
    if (target.startsWith(QStringLiteral("https:"), Qt::CaseInsensitive))
        return {QStringLiteral("https"), QStringLiteral("http")};
    return {QStringLiteral("http")};
}

TfrmAbout::TfrmAbout(AboutTexts texts, AboutEnvironment environment, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      texts_(std::move(texts)), env_(std::move(environment)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Corvalin Radio"));
    setFixedSize(400, 322);
    setModal(true);

    pTop = new QWidget(this);
    pTop->setObjectName(QStringLiteral("pTop"));
    pTop->setGeometry(0, 0, 400, 84);
    pTop->setAutoFillBackground(true);
    QPalette topPalette = pTop->palette();
    topPalette.setColor(QPalette::Window, QColor(0x20, 0x28, 0x30));
    pTop->setPalette(topPalette);

    iLogo = new QLabel(pTop);
    iLogo->setObjectName(QStringLiteral("iLogo"));
    iLogo->setGeometry(10, 10, 380, 64);
    iLogo->setAlignment(Qt::AlignCenter);
    if (!env_.logo.isNull()) {
        iLogo->setPixmap(
            env_.logo.scaled(iLogo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    } else {
        iLogo->setText(QStringLiteral("Corvalin Radio"));
        QFont font = iLogo->font();
        font.setPointSize(22);
        font.setBold(true);
        iLogo->setFont(font);
        setTextColour(iLogo, Qt::white);
    }

    lVersion = makeLabel(this, "lVersion", QString(), 96);
    QFont bold = lVersion->font();
    bold.setBold(true);
    lVersion->setFont(bold);
    lCopyright = makeLabel(this, "lCopyright", QString(), 118);
    lCompanyName = makeLabel(this, "lCompanyName", QString(), 140);
    Label5 = makeLabel(this, "Label5", QStringLiteral("Send comments and support requests "), 172);
    lMailTo = makeLabel(this, "lMailTo", QString(), 192);
    Label6 = makeLabel(this, "Label6", QStringLiteral("Check for new updates on website"), 222);
    lWebSite = makeLabel(this, "lWebSite", QString(), 242);
    for (QLabel* link : {lMailTo, lWebSite}) {
        QFont font = link->font();
        font.setUnderline(true);
        link->setFont(font);
        link->setCursor(Qt::PointingHandCursor);
        setTextColour(link, kLinkColour);
        link->installEventFilter(this);
    }

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry(110, 280, 84, 28);
    bOK->setDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    bHelp = new QPushButton(QStringLiteral("Help"), this);
    bHelp->setObjectName(QStringLiteral("bHelp"));
    bHelp->setGeometry(206, 280, 84, 28);
    bHelp->setAutoDefault(false);
    connect(bHelp, &QPushButton::clicked, this, &TfrmAbout::bHelpClick);

    FormCreate();
}

void TfrmAbout::FormCreate() {
    LaunchBusy = false;
    lMailTo->setText(kSupportMailAddress);
    lWebSite->setText(kWebSiteName);
    // Only as wide as its text, so a click beside a link is no click on it.
    for (QLabel* link : {lMailTo, lWebSite}) {
        link->adjustSize();
        link->move((width() - link->width()) / 2, link->y());
    }
    lVersion->setText(QStringLiteral("Version ") + texts_.Version);
    lCopyright->setText(texts_.Copyright);
    lCompanyName->setText(texts_.CompanyName);
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    auto* link = qobject_cast<QLabel*>(watched);
    if ((link == lMailTo || link == lWebSite) && link) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            URLMouseDown(link);
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            // A click is a release over the link; the box may close while the launch runs.
            QPointer<QLabel> guard = link;
            if (link->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()))
                URLClick(link);
            if (guard)
                URLMouseUp(link);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::URLMouseDown(QLabel* link) {
    setTextColour(link, kPressedColour);
    link->repaint();
}

void TfrmAbout::URLMouseUp(QLabel* link) {
    setTextColour(link, kVisitedColour);
}

void TfrmAbout::URLClick(QLabel* link) {
    const QString target = AboutLinkTarget(link->text(), link == lMailTo);
    if (LaunchBusy) {
        if (env_.beep)
            env_.beep();
        else
            QApplication::beep();
        return;
    }
    LaunchBusy = true;
    QPointer<TfrmAbout> self = this;
    const auto done = qScopeGuard([self] {
        if (self)
            self->LaunchBusy = false;
    });
    QString command;
    for (const QString& scheme : AboutLinkSchemes(target)) {
        command = GetBrowserCommand(env_.lookup, scheme);
        if (!GetBrowserProgram(command).isEmpty())
            break;
    }
    if (GetBrowserProgram(command).isEmpty()) {
        showError(kNoBrowserText);
        return;
    }
    const int error = ShellLaunch(command, target, env_.start, env_.path);
    if (error != 0 && self)
        showError(LaunchErrorText(error));
}

void TfrmAbout::showError(const QString& text) {
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Error"),
                                                text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("AboutError"));
    box->raise();
    box->activateWindow();
    box->exec();
    delete box.data();
}

void TfrmAbout::bHelpClick() {
    if (env_.showHelp)
        env_.showHelp(kAboutHelpTopic);
}

} // namespace corvalin
