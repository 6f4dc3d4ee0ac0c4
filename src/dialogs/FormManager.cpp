#include "FormManager.h"

#include "FormAdvanced.h"
#include "ManagerWidgets.h"
#include "platform/FileSystem.h"
#include "station/TimeSlot.h"
#include "voice/speech/VoiceCatalogue.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

namespace corvalin {

namespace {

inline constexpr int kTimer1Ms = 2000;
inline constexpr int kManagerMinimumWidth = 660;
// Room beside the tabs, so the last one never touches the edge.
inline constexpr int kTabBarSlack = 8;
inline constexpr int kBroadcastPage = 6;
// The pages' frames; the Broadcast page is the tallest.
inline constexpr int kPageFrameHeight = 484;
inline constexpr int kManagerHeight = kPageFrameHeight + 96;

const std::array<const char*, kSlotCount> kSlotNames = {"Morning", "Afternoon", "Evening",
                                                        "Late Night"};
const std::array<const char*, 3> kPhraseCaptions = {
    "Phrases \r\nAfter \r\nSongs", "Phrases \r\nBetween \r\nSongs", "Phrases \r\nBefore \r\nSongs"};
// The blank stretch of these captions is where the spin boxes sit.
const QString kMinutesCaption = QStringLiteral("After every                  minutes");
const QString kSongsCaption = QStringLiteral("After every                  songs");

template <typename W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

QLabel* label(const QString& text, QWidget* parent, int x, int y, int w) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 18);
    return l;
}

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = named(new QPushButton(withLineBreaks(caption), parent), name);
    b->setAutoDefault(false);
    return b;
}

// The spin box sits in the blank stretch of its radio button's caption.
SpinEdit* spinInCaption(QRadioButton* rb, SpinRange range, const QString& name) {
    auto* spin = named(new SpinEdit(range, rb->parentWidget()), name);
    const int x =
        rb->x() + 20 + rb->fontMetrics().horizontalAdvance(QStringLiteral("After every "));
    spin->setGeometry(x, rb->y() - 1, 52, 24);
    return spin;
}

} // namespace

TfrmManager::TfrmManager(ManagerContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("frmManager"));
    setWindowTitle(QStringLiteral("Corvalin Radio - Radio Manager"));
    setModal(true);

    PageControl1 = named(new QTabWidget(this), QStringLiteral("PageControl1"));
    buildGeneralPage();
    for (int slot = 1; slot <= kSlotCount; ++slot)
        buildDJPage(slot);
    buildNewsPage();
    buildBroadcastPage();

    // Wide enough for every tab: with scroll arrows a tab would hide, and once scrolled no tab
    // looks selected. The pages' frames grow with it.
    PageControl1->setUsesScrollButtons(false);
    ensurePolished();
    const int width = std::max(kManagerMinimumWidth,
                               PageControl1->tabBar()->sizeHint().width() + kTabBarSlack + 16);
    setFixedSize(width, kManagerHeight);
    PageControl1->setGeometry(8, 8, width - 16, kPageFrameHeight + 36);
    for (QFrame* frame : pageFrames)
        frame->resize(width - 26, frame->height());

    bOK = button(QStringLiteral("bOK"), QStringLiteral("OK"), this);
    const int buttonsY = kPageFrameHeight + 54;
    bOK->setGeometry(width - 264, buttonsY, 80, 30);
    bOK->setDefault(true);
    bCancel = button(QStringLiteral("bCancel"), QStringLiteral("Cancel"), this);
    bCancel->setGeometry(width - 176, buttonsY, 80, 30);
    bHelp = button(QStringLiteral("bHelp"), QStringLiteral("Help"), this);
    bHelp->setGeometry(width - 88, buttonsY, 80, 30);
    connect(bOK, &QPushButton::clicked, this, &TfrmManager::bOKClick);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bHelp, &QPushButton::clicked, this, &TfrmManager::bHelpClick);

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(kTimer1Ms);
    connect(Timer1, &QTimer::timeout, this, &TfrmManager::Timer1Timer);

    FormCreate();
    // Connected after filling: only the operator's page changes are remembered.
    connect(PageControl1, &QTabWidget::currentChanged, this, &TfrmManager::PageControl1Change);
}

QFrame* TfrmManager::addPage(int index, const QString& caption, const QColor& frameColour) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheet%1").arg(index + 1));
    PageControl1->addTab(page, caption);
    auto* frame = named(new QFrame(page), QStringLiteral("pageFrame%1").arg(index));
    frame->setGeometry(2, 2, 634, kPageFrameHeight);
    // Only the frame itself: the selector keeps the border off its children.
    frame->setStyleSheet(QStringLiteral("QFrame#%1 { border: 2px solid %2; }")
                             .arg(frame->objectName(), frameColour.name()));
    pageFrames[static_cast<std::size_t>(index)] = frame;
    return frame;
}

void TfrmManager::buildGeneralPage() {
    QFrame* f =
        addPage(0, QStringLiteral("General Options"), palette().color(QPalette::WindowText));

    label(QStringLiteral("Radio Station Identification"), f, 12, 8, 300);
    eStationIdentification = named(new QLineEdit(f), QStringLiteral("eStationIdentification"));
    eStationIdentification->setGeometry(12, 26, 300, 24);
    eStationIdentification->setToolTip(withLineBreaks(QStringLiteral(
        "This is the name of the\r\nradio station that will be\r\nannounced by the DJ.")));

    label(QStringLiteral("Crossfading Overlap"), f, 390, 29, 130);
    eCrossfade = named(new SpinEdit(kCrossfadeSpin, f), QStringLiteral("eCrossfade"));
    eCrossfade->setGeometry(520, 26, 52, 24);
    eCrossfade->setToolTip(withLineBreaks(QStringLiteral(
        "Number of overlapping seconds\r\nwhen crossfading from\r\none player to the other")));
    label(QStringLiteral("seconds"), f, 578, 29, 54);

    auto* gbPublicService = named(new QGroupBox(QStringLiteral("Public Service Announcement"), f),
                                  QStringLiteral("gbPublicService"));
    gbPublicService->setGeometry(12, 58, 610, 92);
    mPublicService = named(new AnnouncementMemo(gbPublicService), QStringLiteral("mPublicService"));
    mPublicService->setGeometry(10, 22, 590, 62);
    mPublicService->setToolTip(withLineBreaks(
        QStringLiteral("The DJ will occasionally read the \r\npublic service announcement\r\nthat "
                       "you type in here.")));

    struct TimeGroup {
        QGroupBox** group;
        TimeField** time;
        QToolButton** ampm;
        QCheckBox** enabled;
        const char* title;
        const char* hint;
        int number;
        int x;
        void (TfrmManager::*toggle)();
    };
    const TimeGroup groups[] = {
        {&gbAutoStart, &dtAutoStart, &sbAMPM1, &cbAutoStart, "Auto Start",
         "The Play button will automatically\r\nbe clicked at the specified time.", 1, 12,
         &TfrmManager::sbAMPM1Click},
        {&gbAutoStop, &dtAutoStop, &sbAMPM2, &cbAutoStop, "Auto Stop",
         "The Stop button will automatically\r\nbe clicked at the time specified.", 2, 322,
         &TfrmManager::sbAMPM2Click},
    };
    for (const TimeGroup& g : groups) {
        const QString which = QString::fromLatin1(g.title).remove(QLatin1Char(' '));
        auto* group =
            named(new QGroupBox(QString::fromLatin1(g.title), f), QStringLiteral("gb") + which);
        group->setGeometry(g.x, 158, 300, 72);
        group->setToolTip(withLineBreaks(QString::fromLatin1(g.hint)));
        auto* time = named(new TimeField(group), QStringLiteral("dt") + which);
        time->setGeometry(10, 28, 110, 26);
        auto* ampm = named(new QToolButton(group), QStringLiteral("sbAMPM%1").arg(g.number));
        ampm->setText(QStringLiteral("AM/PM"));
        ampm->setGeometry(126, 28, 52, 26);
        ampm->setStyleSheet(QStringLiteral(
            "QToolButton { border: 1px solid #808080; border-radius: 8px; background: #e8e8e8; "
            "font-size: 10px; } QToolButton:pressed { background: #c8c8c8; }"));
        connect(ampm, &QToolButton::clicked, this, g.toggle);
        auto* enabled =
            named(new QCheckBox(QStringLiteral("Enabled"), group), QStringLiteral("cb") + which);
        enabled->setGeometry(190, 30, 76, 22);
        *g.group = group;
        *g.time = time;
        *g.ampm = ampm;
        *g.enabled = enabled;
    }

    rgArtistSource = named(new RadioGroup(QStringLiteral("Artist/Title Source"),
                                          {QStringLiteral("Always use file name"),
                                           QStringLiteral("Always use tags in file"),
                                           QStringLiteral("Use file name if tags blank")},
                                          f),
                           QStringLiteral("rgArtistSource"));
    rgArtistSource->setGeometry(12, 238, 300, 96);
    rgArtistSource->setToolTip(withLineBreaks(QStringLiteral(
        "The DJ will read the Artist\r\nand Title of the song being played.\r\nThis selection "
        "determines whether\r\nthat information comes from the \r\nname of the file or from the "
        "\r\ninternal MP3-ID3 tags .")));

    cbStartPlay = named(new QCheckBox(QStringLiteral("Always start play when program started"), f),
                        QStringLiteral("cbStartPlay"));
    cbStartPlay->setGeometry(330, 256, 290, 22);
    cbSameSettings = named(new QCheckBox(QStringLiteral("Use same settings for all users"), f),
                           QStringLiteral("cbSameSettings"));
    cbSameSettings->setGeometry(330, 286, 290, 22);
}

void TfrmManager::buildDJPage(int slot) {
    static const std::array<QColor, kSlotCount> colours = {QColor(255, 0, 0), QColor(0, 255, 0),
                                                           QColor(0, 0, 255), QColor(255, 0, 255)};
    const auto i = static_cast<std::size_t>(slot - 1);
    const QString slotName = QString::fromLatin1(kSlotNames[i]);
    QFrame* f = addPage(slot, slotName + QStringLiteral(" DJ"), colours[i]);
    DJPage& p = djPages_[i];
    p.frame = f;
    const QString n = QString::number(slot);

    label(QStringLiteral("Name of %1 DJ").arg(slotName), f, 12, 8, 260);
    p.eDJName = named(new QLineEdit(f), QStringLiteral("eDJName") + n);
    p.eDJName->setGeometry(12, 26, 260, 24);

    label(QStringLiteral("Voice for %1 DJ").arg(slotName), f, 330, 8, 292);
    p.cbSpeechEngine = named(new QComboBox(f), QStringLiteral("cbSpeechEngine") + n);
    p.cbSpeechEngine->setEditable(true);
    p.cbSpeechEngine->setInsertPolicy(QComboBox::NoInsert);
    p.cbSpeechEngine->setGeometry(330, 26, 292, 24);

    label(QStringLiteral("Play List for %1 DJ").arg(slotName), f, 12, 58, 400);
    p.fePlayList = named(new FileNameEdit(QStringLiteral("Select Play List"),
                                          QStringLiteral("List files (*.lst);;All files (*)"), f),
                         QStringLiteral("fePlayList") + n);
    p.fePlayList->setGeometry(12, 76, 500, 26);
    p.bViewList = button(QStringLiteral("bViewList") + n, QStringLiteral("View List"), f);
    p.bViewList->setGeometry(522, 75, 100, 28);
    p.bViewList->setToolTip(QStringLiteral("Load a saved play list."));
    connect(p.bViewList, &QPushButton::clicked, this, [this, slot] { bViewListClick(slot); });

    auto* gbFrequency =
        named(new QGroupBox(QStringLiteral("Frequency"), f), QStringLiteral("gbFrequency") + n);
    gbFrequency->setGeometry(12, 112, 300, 130);
    const QString captions[] = {kMinutesCaption, kSongsCaption, QStringLiteral("Random"),
                                QStringLiteral("Never")};
    for (int k = 0; k < 4; ++k) {
        auto* rb = named(new QRadioButton(captions[k], gbFrequency),
                         QStringLiteral("rb%1Freq%2").arg(slot).arg(k));
        rb->setGeometry(12, 24 + k * 26, 276, 22);
        p.rbFreq[static_cast<std::size_t>(k)] = rb;
    }
    p.eMinutes = spinInCaption(p.rbFreq[0], kDJMinutesSpin, QStringLiteral("eMinutes") + n);
    p.eSongs = spinInCaption(p.rbFreq[1], kDJSongsSpin, QStringLiteral("eSongs") + n);

    p.rgListOrder =
        named(new RadioGroup(QStringLiteral("List Order"),
                             {QStringLiteral("Original order"), QStringLiteral("Random order")}, f),
              QStringLiteral("rgListOrder") + n);
    p.rgListOrder->setGeometry(330, 112, 292, 70);

    p.bDJTest = button(QStringLiteral("bDJTest") + n, QStringLiteral("Test DJ\r\nVoice"), f);
    p.bDJTest->setGeometry(330, 192, 110, 50);
    p.bDJTest->setToolTip(withLineBreaks(
        QStringLiteral("Test the TTS voice\r\nyou selected for the\r\ncurrent time slot")));
    connect(p.bDJTest, &QPushButton::clicked, this, [this, slot] { bDJTestClick(slot); });
    p.lVoiceTest = named(new QLabel(f), QStringLiteral("lVoiceTest") + n);
    p.lVoiceTest->setGeometry(448, 188, 174, 58);
    p.lVoiceTest->setWordWrap(true);
    connect(p.cbSpeechEngine, &QComboBox::currentTextChanged, p.lVoiceTest, &QLabel::clear);

    for (std::size_t k = 0; k < 3; ++k) {
        const QString code = n + QLatin1Char(static_cast<char>('a' + k));
        auto* b =
            button(QStringLiteral("bPhrases") + code, QString::fromLatin1(kPhraseCaptions[k]), f);
        b->setGeometry(12 + static_cast<int>(k) * 118, 256, 110, 76);
        connect(b, &QPushButton::clicked, this, [this, code] { StartFormPhrases(code); });
        p.bPhrases[k] = b;
    }
}

void TfrmManager::buildNewsPage() {
    QFrame* f = addPage(5, QStringLiteral("News-Weather"), palette().color(QPalette::WindowText));

    cbNews = named(new QCheckBox(QStringLiteral("Read the News"), f), QStringLiteral("cbNews"));
    cbNews->setGeometry(12, 14, 200, 22);
    cbWeather =
        named(new QCheckBox(QStringLiteral("Read the Weather"), f), QStringLiteral("cbWeather"));
    cbWeather->setGeometry(12, 42, 200, 22);

    label(QStringLiteral("Zip or postal code, or town"), f, 240, 8, 240);
    eZipCode = named(new QLineEdit(f), QStringLiteral("eZipCode"));
    eZipCode->setGeometry(240, 26, 120, 24);
    bAdvanced = button(QStringLiteral("bAdvanced"), QStringLiteral("Advanced"), f);
    bAdvanced->setGeometry(380, 24, 110, 28);
    connect(bAdvanced, &QPushButton::clicked, this, &TfrmManager::bAdvancedClick);

    auto* gbFrequency =
        named(new QGroupBox(QStringLiteral("Frequency"), f), QStringLiteral("gbFrequency5"));
    gbFrequency->setGeometry(12, 80, 300, 80);
    rb5Freq0 = named(new QRadioButton(kMinutesCaption, gbFrequency), QStringLiteral("rb5Freq0"));
    rb5Freq0->setGeometry(12, 24, 276, 22);
    rb5Freq1 = named(new QRadioButton(kSongsCaption, gbFrequency), QStringLiteral("rb5Freq1"));
    rb5Freq1->setGeometry(12, 50, 276, 22);
    eMinutes5 = spinInCaption(rb5Freq0, kNewsMinutesSpin, QStringLiteral("eMinutes5"));
    eSongs5 = spinInCaption(rb5Freq1, kNewsSongsSpin, QStringLiteral("eSongs5"));

    bPhrases5a =
        button(QStringLiteral("bPhrases5a"), QStringLiteral("Phrases \r\nBefore\r\nNews\r\n"), f);
    bPhrases5a->setGeometry(12, 176, 110, 84);
    connect(bPhrases5a, &QPushButton::clicked, this,
            [this] { StartFormPhrases(QStringLiteral("5a")); });
    bPhrases5b =
        button(QStringLiteral("bPhrases5b"), QStringLiteral("Phrases \r\nAfter \r\nNews\r\n"), f);
    bPhrases5b->setGeometry(130, 176, 110, 84);
    connect(bPhrases5b, &QPushButton::clicked, this,
            [this] { StartFormPhrases(QStringLiteral("5b")); });
}

void TfrmManager::buildBroadcastPage() {
    QFrame* f =
        addPage(kBroadcastPage, QStringLiteral("Broadcast"), palette().color(QPalette::WindowText));

    auto* gbStream =
        named(new QGroupBox(QStringLiteral("Icecast Stream"), f), QStringLiteral("gbStream"));
    gbStream->setGeometry(12, 8, 610, 250);
    cbStreamEnabled =
        named(new QCheckBox(QStringLiteral("Send the program to an Icecast server"), gbStream),
              QStringLiteral("cbStreamEnabled"));
    cbStreamEnabled->setGeometry(10, 24, 300, 22);
    cbStreamEnabled->setToolTip(withLineBreaks(QStringLiteral(
        "Listeners hear what the sound card plays:\r\nboth players and the DJ, after "
        "the main volume.")));
    auto edit = [&](QLineEdit** e, const QString& name, const QString& caption, int x, int y,
                    int w) {
        label(caption, gbStream, x, y, w);
        *e = named(new QLineEdit(gbStream), name);
        (*e)->setGeometry(x, y + 18, w, 24);
    };
    edit(&eStreamHost, QStringLiteral("eStreamHost"), QStringLiteral("Server"), 10, 52, 250);
    edit(&eStreamPort, QStringLiteral("eStreamPort"), QStringLiteral("Port"), 270, 52, 80);
    edit(&eStreamMount, QStringLiteral("eStreamMount"), QStringLiteral("Mount point"), 360, 52,
         240);
    edit(&eStreamUser, QStringLiteral("eStreamUser"), QStringLiteral("User"), 10, 100, 160);
    edit(&eStreamPassword, QStringLiteral("eStreamPassword"), QStringLiteral("Password"), 180, 100,
         170);
    eStreamPassword->setEchoMode(QLineEdit::Password);
    eStreamPassword->setToolTip(withLineBreaks(streamPasswordHint(context_.Store.paths())));
    label(QStringLiteral("Format"), gbStream, 360, 100, 100);
    cbStreamFormat = named(new QComboBox(gbStream), QStringLiteral("cbStreamFormat"));
    cbStreamFormat->addItems({QStringLiteral("MP3"), QStringLiteral("Opus")});
    cbStreamFormat->setGeometry(360, 118, 100, 24);
    label(QStringLiteral("kbit/s"), gbStream, 470, 100, 80);
    eStreamBitrate =
        named(new SpinEdit(kStreamBitrateSpin, gbStream), QStringLiteral("eStreamBitrate"));
    eStreamBitrate->setGeometry(470, 118, 70, 24);
    edit(&eStreamName, QStringLiteral("eStreamName"), QStringLiteral("Stream name"), 10, 148, 250);
    eStreamName->setPlaceholderText(QStringLiteral("(the station's name)"));
    edit(&eStreamGenre, QStringLiteral("eStreamGenre"), QStringLiteral("Genre"), 270, 148, 160);
    cbStreamPublic = named(new QCheckBox(QStringLiteral("Listed publicly"), gbStream),
                           QStringLiteral("cbStreamPublic"));
    cbStreamPublic->setGeometry(444, 168, 150, 22);
    edit(&eStreamDescription, QStringLiteral("eStreamDescription"), QStringLiteral("Description"),
         10, 196, 340);
    edit(&eStreamUrl, QStringLiteral("eStreamUrl"), QStringLiteral("Web site"), 360, 196, 240);
    eStreamUrl->setPlaceholderText(QStringLiteral("https://"));

    // Up to three outputs (say MP3 128 and Opus 64, or two servers) share these controls.
    tbStreamOutput = named(new QTabBar(gbStream), QStringLiteral("tbStreamOutput"));
    tbStreamOutput->setDrawBase(false);
    tbStreamOutput->setExpanding(false);
    for (std::size_t i = 0; i < kStreamOutputCount; ++i)
        tbStreamOutput->addTab(QStringLiteral("Output %1").arg(i + 1));
    const QSize tabs = tbStreamOutput->sizeHint();
    tbStreamOutput->setGeometry(600 - tabs.width(), 18, tabs.width(), std::min(tabs.height(), 30));
    connect(tbStreamOutput, &QTabBar::currentChanged, this, &TfrmManager::tbStreamOutputChange);
    connect(cbStreamEnabled, &QCheckBox::toggled, this, &TfrmManager::showStreamOutputs);
    for (QLineEdit* e : {eStreamHost, eStreamPort, eStreamMount})
        connect(e, &QLineEdit::textChanged, this, &TfrmManager::showStreamOutputs);
    connect(cbStreamFormat, &QComboBox::currentIndexChanged, this, &TfrmManager::showStreamOutputs);

    auto* gbLog = named(new QGroupBox(QStringLiteral("As-Run Log"), f), QStringLiteral("gbLog"));
    gbLog->setGeometry(12, 266, 610, 64);
    cbLogEnabled = named(new QCheckBox(QStringLiteral("Log every song and talk"), gbLog),
                         QStringLiteral("cbLogEnabled"));
    cbLogEnabled->setGeometry(10, 26, 220, 22);
    cbLogEnabled->setToolTip(withLineBreaks(
        QStringLiteral("One file per day in the folder Logs\r\nof the station folder.")));
    label(QStringLiteral("Keep the files for"), gbLog, 250, 28, 130);
    eLogKeepDays = named(new SpinEdit(kLogKeepDaysSpin, gbLog), QStringLiteral("eLogKeepDays"));
    eLogKeepDays->setGeometry(380, 25, 70, 24);
    label(QStringLiteral("days"), gbLog, 456, 28, 60);

    auto* gbRemote =
        named(new QGroupBox(QStringLiteral("Web Page"), f), QStringLiteral("gbRemote"));
    gbRemote->setGeometry(12, 338, 610, 138);
    cbRemoteEnabled =
        named(new QCheckBox(QStringLiteral("Show and steer the station in a browser"), gbRemote),
              QStringLiteral("cbRemoteEnabled"));
    cbRemoteEnabled->setGeometry(10, 24, 290, 22);
    label(QStringLiteral("Address"), gbRemote, 306, 27, 56);
    eRemoteAddress = named(new QLineEdit(gbRemote), QStringLiteral("eRemoteAddress"));
    eRemoteAddress->setGeometry(362, 24, 128, 24);
    eRemoteAddress->setToolTip(withLineBreaks(
        QStringLiteral("127.0.0.1: this machine only.\r192.168.1.20: that network too.\r0.0.0.0: "
                       "every network.")));
    label(QStringLiteral("Port"), gbRemote, 500, 27, 36);
    eRemotePort = named(new QLineEdit(gbRemote), QStringLiteral("eRemotePort"));
    eRemotePort->setGeometry(536, 24, 64, 24);
    lRemoteUrl = named(new QLabel(gbRemote), QStringLiteral("lRemoteUrl"));
    lRemoteUrl->setGeometry(10, 52, 590, 20);
    lRemoteUrl->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label(QStringLiteral("Token"), gbRemote, 10, 81, 50);
    eRemoteToken = named(new QLineEdit(gbRemote), QStringLiteral("eRemoteToken"));
    eRemoteToken->setGeometry(60, 78, 350, 24);
    eRemoteToken->setReadOnly(true);
    eRemoteToken->setToolTip(withLineBreaks(
        QStringLiteral("A browser enters it once to press the buttons.\rKept apart from the "
                       "settings, in a file only its owner can read.")));
    bRemoteCopy = button(QStringLiteral("bRemoteCopy"), QStringLiteral("Copy"), gbRemote);
    bRemoteCopy->setGeometry(418, 76, 76, 28);
    connect(bRemoteCopy, &QPushButton::clicked, this, &TfrmManager::bRemoteCopyClick);
    bRemoteNewToken =
        button(QStringLiteral("bRemoteNewToken"), QStringLiteral("New token"), gbRemote);
    bRemoteNewToken->setGeometry(500, 76, 100, 28);
    connect(bRemoteNewToken, &QPushButton::clicked, this, &TfrmManager::bRemoteNewTokenClick);
    lRemoteNote = named(new QLabel(gbRemote), QStringLiteral("lRemoteNote"));
    lRemoteNote->setGeometry(10, 108, 590, 22);
    lRemoteNote->setText(
        QStringLiteral("On, address and port take effect at the next start; a new token at OK."));
    connect(eRemoteAddress, &QLineEdit::textChanged, this, &TfrmManager::showRemote);
    connect(eRemotePort, &QLineEdit::textChanged, this, &TfrmManager::showRemote);
}

void TfrmManager::showRemote() {
    ManagerRemoteControls r;
    r.Address = eRemoteAddress->text();
    r.Port = eRemotePort->text();
    const QString url = remotePageAddress(r);
    lRemoteUrl->setText(url.isEmpty() ? QStringLiteral("The page's address: (type an IP address "
                                                       "and a port)")
                                      : QStringLiteral("The page's address: ") + url);
    bRemoteCopy->setEnabled(!eRemoteToken->text().isEmpty());
}

void TfrmManager::bRemoteCopyClick() {
    if (!eRemoteToken->text().isEmpty())
        QGuiApplication::clipboard()->setText(eRemoteToken->text());
}

void TfrmManager::bRemoteNewTokenClick() {
    eRemoteToken->setText(newRemoteToken());
    eRemoteToken->setCursorPosition(0);
    lRemoteNote->setText(
        QStringLiteral("A new token: after OK, open pages must enter it to press the buttons."));
    showRemote();
}

void TfrmManager::FormCreate() {
    for (int slot = 1; slot <= kSlotCount; ++slot)
        djPage(slot).cbSpeechEngine->addItems(context_.SpeechEngineList);
    fill(managerControlsFrom(context_.Settings));
    fillRemote(remoteControlsFrom(readRemoteSettings(context_.Store)));
}

void TfrmManager::fill(const ManagerControls& c) {
    PageControl1->setCurrentIndex(c.Page);
    eStationIdentification->setText(c.StationIdentification);
    eCrossfade->setValue(c.CrossFade);
    mPublicService->setPlainText(c.PublicService);
    dtAutoStart->setTime(c.AutoStartTime);
    dtAutoStop->setTime(c.AutoStopTime);
    cbAutoStart->setChecked(c.AutoStart);
    cbAutoStop->setChecked(c.AutoStop);
    cbStartPlay->setChecked(c.StartPlay);
    cbSameSettings->setChecked(c.SameSettings);
    rgArtistSource->setItemIndex(c.ArtistSource);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        const ManagerSlotControls& s = c.Slots[static_cast<std::size_t>(slot - 1)];
        DJPage& p = djPage(slot);
        p.eDJName->setText(s.Name);
        // Also a voice that is not installed (any text may be typed).
        p.cbSpeechEngine->setCurrentText(s.SpeechEngine);
        p.fePlayList->setFileName(s.PlayList);
        p.rbFreq[static_cast<std::size_t>(s.FrequencyType)]->setChecked(true);
        p.eMinutes->setValue(s.FrequencyMinutes);
        p.eSongs->setValue(s.FrequencySongs);
    }
    eZipCode->setText(c.ZipCode);
    cbNews->setChecked(c.ReadNews);
    cbWeather->setChecked(c.ReadWeather);
    (c.NewsFrequencyType == ftSongs ? rb5Freq1 : rb5Freq0)->setChecked(true);
    eMinutes5->setValue(c.NewsFrequencyMinutes);
    eSongs5->setValue(c.NewsFrequencySongs);
    for (int slot = 1; slot <= kSlotCount; ++slot)
        djPage(slot).rgListOrder->setItemIndex(
            c.Slots[static_cast<std::size_t>(slot - 1)].ListOrder);
    streams_ = c.Streams;
    fillStream(streams_[static_cast<std::size_t>(shownOutput_)]);
    showStreamOutputs();
    cbLogEnabled->setChecked(c.LogEnabled);
    eLogKeepDays->setValue(c.LogKeepDays);
}

void TfrmManager::fillRemote(const ManagerRemoteControls& remote) {
    cbRemoteEnabled->setChecked(remote.Enabled);
    eRemoteAddress->setText(remote.Address);
    eRemotePort->setText(remote.Port);
    eRemoteToken->setText(remote.Token);
    eRemoteToken->setCursorPosition(0);
    showRemote();
}

ManagerControls TfrmManager::controls() {
    ManagerControls c;
    c.Page = PageControl1->currentIndex();
    c.StationIdentification = eStationIdentification->text();
    c.CrossFade = eCrossfade->settledValue();
    c.PublicService = mPublicService->toPlainText();
    c.AutoStartTime = dtAutoStart->time();
    c.AutoStopTime = dtAutoStop->time();
    c.AutoStart = cbAutoStart->isChecked();
    c.AutoStop = cbAutoStop->isChecked();
    c.ArtistSource = rgArtistSource->itemIndex() < 0 ? 0 : rgArtistSource->itemIndex();
    c.StartPlay = cbStartPlay->isChecked();
    c.SameSettings = cbSameSettings->isChecked();
    for (int slot = 1; slot <= kSlotCount; ++slot) {
        ManagerSlotControls& s = c.Slots[static_cast<std::size_t>(slot - 1)];
        DJPage& p = djPage(slot);
        s.Name = p.eDJName->text();
        s.SpeechEngine = p.cbSpeechEngine->currentText();
        s.PlayList = p.fePlayList->fileName();
        s.FrequencyType = p.rbFreq[0]->isChecked()   ? ftMinutes
                          : p.rbFreq[1]->isChecked() ? ftSongs
                          : p.rbFreq[2]->isChecked() ? ftRandom
                                                     : ftNever;
        s.FrequencyMinutes = p.eMinutes->settledValue();
        s.FrequencySongs = p.eSongs->settledValue();
        s.ListOrder = p.rgListOrder->itemIndex() == loRandom ? loRandom : loOriginal;
    }
    c.ZipCode = eZipCode->text();
    c.ReadNews = cbNews->isChecked();
    c.ReadWeather = cbWeather->isChecked();
    c.NewsFrequencyType = rb5Freq0->isChecked() ? ftMinutes : ftSongs;
    c.NewsFrequencyMinutes = eMinutes5->settledValue();
    c.NewsFrequencySongs = eSongs5->settledValue();
    c.Streams = streams_;
    c.Streams[static_cast<std::size_t>(shownOutput_)] = streamControls();
    c.LogEnabled = cbLogEnabled->isChecked();
    c.LogKeepDays = eLogKeepDays->settledValue();
    return c;
}

void TfrmManager::fillStream(const ManagerStreamControls& stream) {
    const QSignalBlocker quiet(cbStreamEnabled); // the tabs are redrawn once, by the caller
    cbStreamEnabled->setChecked(stream.Enabled);
    eStreamHost->setText(stream.Host);
    eStreamPort->setText(stream.Port);
    eStreamMount->setText(stream.Mount);
    eStreamUser->setText(stream.User);
    eStreamPassword->setText(stream.Password);
    cbStreamFormat->setCurrentIndex(stream.Format == kStreamFormatOpus ? 1 : 0);
    eStreamBitrate->setValue(stream.Bitrate);
    eStreamName->setText(stream.Name);
    eStreamDescription->setText(stream.Description);
    eStreamGenre->setText(stream.Genre);
    eStreamUrl->setText(stream.Url);
    cbStreamPublic->setChecked(stream.Public);
    eStreamPassword->setToolTip(withLineBreaks(
        streamPasswordHint(context_.Store.paths(), static_cast<std::size_t>(shownOutput_))));
}

ManagerStreamControls TfrmManager::streamControls() const {
    ManagerStreamControls stream;
    stream.Enabled = cbStreamEnabled->isChecked();
    stream.Host = eStreamHost->text();
    stream.Port = eStreamPort->text();
    stream.Mount = eStreamMount->text();
    stream.User = eStreamUser->text();
    stream.Password = eStreamPassword->text();
    stream.Format = cbStreamFormat->currentIndex() == 1 ? kStreamFormatOpus : kStreamFormatMp3;
    stream.Bitrate = eStreamBitrate->settledValue();
    stream.Name = eStreamName->text();
    stream.Description = eStreamDescription->text();
    stream.Genre = eStreamGenre->text();
    stream.Url = eStreamUrl->text();
    stream.Public = cbStreamPublic->isChecked();
    return stream;
}

void TfrmManager::tbStreamOutputChange(int index) {
    if (index < 0 || index >= static_cast<int>(kStreamOutputCount) || index == shownOutput_)
        return;
    streams_[static_cast<std::size_t>(shownOutput_)] = streamControls();
    shownOutput_ = index;
    fillStream(streams_[static_cast<std::size_t>(index)]);
    showStreamOutputs();
}

void TfrmManager::showStreamOutputs() {
    for (std::size_t i = 0; i < kStreamOutputCount; ++i) {
        const int tab = static_cast<int>(i);
        const ManagerStreamControls stream = tab == shownOutput_ ? streamControls() : streams_[i];
        tbStreamOutput->setTabTextColor(
            tab, palette().color(stream.Enabled ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        tbStreamOutput->setTabToolTip(tab,
                                      QStringLiteral("Output %1 ([%2]): %3")
                                          .arg(tab + 1)
                                          .arg(kStreamSections[i], streamOutputSummary(stream)));
    }
}

ManagerRemoteControls TfrmManager::remoteControls() const {
    ManagerRemoteControls remote;
    remote.Enabled = cbRemoteEnabled->isChecked();
    remote.Address = eRemoteAddress->text();
    remote.Port = eRemotePort->text();
    remote.Token = eRemoteToken->text();
    return remote;
}

void TfrmManager::PageControl1Change(int index) {
    // Kept at once, so the page is remembered after Cancel too.
    context_.Settings.ManagerTab = index;
}

void TfrmManager::sbAMPM1Click() {
    dtAutoStart->setTime(toggleAmPm(dtAutoStart->time()));
}

void TfrmManager::sbAMPM2Click() {
    dtAutoStop->setTime(toggleAmPm(dtAutoStop->time()));
}

void TfrmManager::bDJTestClick(int slot) {
    DJPage& p = djPage(slot);
    p.bDJTest->setEnabled(false);
    const bool speaking = context_.DJSpeaking && context_.DJSpeaking();
    const QString voice = p.cbSpeechEngine->currentText();
    // A name no engine has would be silent on the air; the station speaks with another voice
    // instead, and the test lets that one be heard.
    const SlotVoice heard = slotVoice(context_.SpeechEngineList, voice, slot);
    p.lVoiceTest->setText(
        heard.fellBack && !voice.isEmpty()
            ? QStringLiteral("No such voice. On the air the %1 DJ speaks with \"%2\".")
                  .arg(QString::fromLatin1(kSlotNames[static_cast<std::size_t>(slot - 1)]),
                       heard.voice)
            : QString());
    if (!speaking && !voice.isEmpty() && context_.SpeakTest)
        context_.SpeakTest(heard.voice);
    Timer1->start();
}

void TfrmManager::Timer1Timer() {
    Timer1->stop();
    if (context_.DJSpeaking && context_.DJSpeaking()) {
        Timer1->start();
        return;
    }
    for (int slot = 1; slot <= kSlotCount; ++slot)
        djPage(slot).bDJTest->setEnabled(true);
}

void TfrmManager::bViewListClick(int slot) {
    DJPage& p = djPage(slot);
    const QString file = p.fePlayList->fileName();
    if (file.isEmpty() || !isRegularFile(file) || !context_.OpenPlayListEditor)
        return;
    p.bViewList->setEnabled(false);
    // Enabled again however the editor ends, also when it fails.
    struct Reenable {
        QPushButton* b;
        ~Reenable() { b->setEnabled(true); }
    } reenable{p.bViewList};
    context_.OpenPlayListEditor(file);
}

void TfrmManager::StartFormPhrases(const QString& code) {
    if (context_.StartFormPhrases)
        context_.StartFormPhrases(code);
}

void TfrmManager::bAdvancedClick() {
    AdvancedContext advanced(context_.Settings, context_.Store);
    advanced.NewsDefinitionsChanged = context_.NewsDefinitionsChanged;
    advanced.ShowHelp = context_.ShowHelp;
    advanced.LastFetchOutcome = context_.LastFetchOutcome;
    TfrmAdvanced dialog(advanced, this);
    dialog.exec();
}

void TfrmManager::bHelpClick() {
    if (context_.ShowHelp)
        context_.ShowHelp(4);
}

bool TfrmManager::refused(const ManagerProblem& problem, int page) {
    if (!problem)
        return false;
    PageControl1->setCurrentIndex(page);
    QMessageBox box(QMessageBox::Warning, kSetupErrorCaption, withLineBreaks(problem.text),
                    QMessageBox::Ok, this);
    box.exec();
    if (auto* control = findChild<QWidget*>(problem.control))
        control->setFocus();
    return true;
}

void TfrmManager::bOKClick() {
    const ManagerControls c = controls();
    // Settings that cannot work are not stored: the operator puts them right or cancels.
    const ManagerProblem stream = broadcastProblem(c.Streams);
    if (stream.output >= 0)
        tbStreamOutput->setCurrentIndex(stream.output); // its controls hold what is wrong
    if (refused(stream, kBroadcastPage) || refused(remoteProblem(remoteControls()), kBroadcastPage))
        return;
    const FileResult saved = confirmManager(context_, c);
    if (!saved) {
        QMessageBox box(QMessageBox::Critical, kSetupErrorCaption,
                        withLineBreaks(managerSaveErrorText(saved)), QMessageBox::Ok, this);
        box.exec();
        return; // stays open: the operator may try again or cancel
    }
    if (const FileResult remote = confirmRemote(context_.Store, remoteControls()); !remote) {
        QMessageBox box(QMessageBox::Critical, kSetupErrorCaption,
                        withLineBreaks(remoteSaveErrorText(remote)), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    accept();
}

int ShowRadioManager(ManagerContext& context, QWidget* parent) {
    TfrmManager dialog(context, parent);
    return dialog.exec();
}

} // namespace corvalin
