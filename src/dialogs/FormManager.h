#pragma once

#include "ManagerModel.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace corvalin {

class AnnouncementMemo;
class FileNameEdit;
class RadioGroup;
class TimeField;

// The Radio Manager: the station's name, overlap, announcement, auto start and stop, artist
// source, start-up and store choice, the four DJ slots, the news slot, and the Icecast outputs
// with the as-run log and the web page. A view over
// ManagerModel: it fills its controls from managerControlsFrom, hands them to confirmManager at
// OK and shows an error box (staying open) when the settings could not be stored. Created for one
// modal use; window thread only.
class TfrmManager : public QDialog {
    Q_OBJECT
public:
    // `context` must outlive the dialog.
    explicit TfrmManager(ManagerContext& context, QWidget* parent = nullptr);

    // The controls of one DJ page; their object names carry the slot digit ("eDJName1").
    struct DJPage {
        QFrame* frame = nullptr;
        QLineEdit* eDJName = nullptr;
        QComboBox* cbSpeechEngine = nullptr;
        FileNameEdit* fePlayList = nullptr;
        std::array<QRadioButton*, 4> rbFreq{}; // minutes, songs, "Random", "Never"
        SpinEdit* eMinutes = nullptr;
        SpinEdit* eSongs = nullptr;
        RadioGroup* rgListOrder = nullptr;
        QPushButton* bDJTest = nullptr;
        // What the voice test found: empty, or that no engine has the voice named in the box.
        QLabel* lVoiceTest = nullptr;
        QPushButton* bViewList = nullptr;
        std::array<QPushButton*, 3> bPhrases{}; // "a", "b", "c"
    };
    // Slot 1..4.
    DJPage& djPage(int slot) { return djPages_[static_cast<std::size_t>(slot - 1)]; }

    // What the controls hold now (spin boxes settled).
    ManagerControls controls();
    // What the web page controls hold now.
    ManagerRemoteControls remoteControls() const;

    QTabWidget* PageControl1 = nullptr;
    std::array<QFrame*, kManagerPageCount> pageFrames{};

    // General Options
    QLineEdit* eStationIdentification = nullptr;
    SpinEdit* eCrossfade = nullptr;
    AnnouncementMemo* mPublicService = nullptr;
    QGroupBox* gbAutoStart = nullptr;
    TimeField* dtAutoStart = nullptr;
    QToolButton* sbAMPM1 = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QGroupBox* gbAutoStop = nullptr;
    TimeField* dtAutoStop = nullptr;
    QToolButton* sbAMPM2 = nullptr;
    QCheckBox* cbAutoStop = nullptr;
    RadioGroup* rgArtistSource = nullptr;
    QCheckBox* cbStartPlay = nullptr;
    QCheckBox* cbSameSettings = nullptr;

    // News-Weather
    QCheckBox* cbNews = nullptr;
    QCheckBox* cbWeather = nullptr;
    QLineEdit* eZipCode = nullptr;
    QPushButton* bAdvanced = nullptr;
    QRadioButton* rb5Freq0 = nullptr;
    QRadioButton* rb5Freq1 = nullptr;
    SpinEdit* eMinutes5 = nullptr;
    SpinEdit* eSongs5 = nullptr;
    QPushButton* bPhrases5a = nullptr;
    QPushButton* bPhrases5b = nullptr;

    // Broadcast. One set of stream controls shows the output chosen in tbStreamOutput; the
    // others wait in the dialog until they are shown again or OK reads them.
    QTabBar* tbStreamOutput = nullptr; // "Output 1".."Output 3", greyed while off
    QCheckBox* cbStreamEnabled = nullptr;
    QLineEdit* eStreamHost = nullptr;
    QLineEdit* eStreamPort = nullptr; // as typed: a wrong port is told at OK, not changed
    QLineEdit* eStreamMount = nullptr;
    QLineEdit* eStreamUser = nullptr;
    QLineEdit* eStreamPassword = nullptr; // shown as dots
    QComboBox* cbStreamFormat = nullptr;  // "MP3", "Opus"
    SpinEdit* eStreamBitrate = nullptr;
    QLineEdit* eStreamName = nullptr;
    QLineEdit* eStreamDescription = nullptr;
    QLineEdit* eStreamGenre = nullptr;
    QLineEdit* eStreamUrl = nullptr;
    QCheckBox* cbStreamPublic = nullptr;
    QCheckBox* cbLogEnabled = nullptr;
    SpinEdit* eLogKeepDays = nullptr;
    // Broadcast: the web page that shows and steers the station
    QCheckBox* cbRemoteEnabled = nullptr;
    QLineEdit* eRemoteAddress = nullptr;
    QLineEdit* eRemotePort = nullptr;  // as typed, as the stream's
    QLabel* lRemoteUrl = nullptr;      // the page's address, selectable
    QLineEdit* eRemoteToken = nullptr; // read-only, selectable
    QPushButton* bRemoteCopy = nullptr;
    QPushButton* bRemoteNewToken = nullptr;
    QLabel* lRemoteNote = nullptr; // when the changes take effect

    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;
    QPushButton* bHelp = nullptr;
    // Polls the DJ after a voice test, every 2000 ms; off when the dialog opens.
    QTimer* Timer1 = nullptr;

    // Handlers; program code and tests call them directly.
    void PageControl1Change(int index);
    void sbAMPM1Click();
    void sbAMPM2Click();
    void bDJTestClick(int slot); // bDJTest1Click..bDJTest4Click
    void Timer1Timer();
    void bViewListClick(int slot); // bViewList1Click..bViewList4Click
    void StartFormPhrases(const QString& code);
    void bAdvancedClick();
    void bHelpClick();
    void bOKClick();
    // Shows output `index` (0..2) in the stream controls, keeping what the shown one holds.
    void tbStreamOutputChange(int index);
    // The token onto the clipboard.
    void bRemoteCopyClick();
    // A new token in the box; OK stores it, and open pages must then enter it.
    void bRemoteNewTokenClick();

private:
    void FormCreate();
    QFrame* addPage(int index, const QString& caption, const QColor& frameColour);
    void buildGeneralPage();
    void buildDJPage(int slot);
    void buildNewsPage();
    void buildBroadcastPage();
    void fill(const ManagerControls& c);
    void fillRemote(const ManagerRemoteControls& r);
    void fillStream(const ManagerStreamControls& stream);
    ManagerStreamControls streamControls() const;
    // Each output's tab greyed while off, with its summary as the hint.
    void showStreamOutputs();
    // The page's address and the token buttons after a change of the web page controls.
    void showRemote();
    // Tells what is wrong on a page in a box and shows the control to put right; false when
    // nothing is.
    bool refused(const ManagerProblem& problem, int page);

    ManagerContext& context_;
    std::array<DJPage, kSlotCount> djPages_;
    // Every output's controls; the shown one's are current only in the widgets.
    std::array<ManagerStreamControls, kStreamOutputCount> streams_;
    int shownOutput_ = 0;
};

// bManagerClick's part: creates the Radio Manager, shows it modally and destroys it. Returns the
// dialog's result (QDialog::Accepted after OK). The caller then redraws its Auto Start clock,
// shows the station name and runs CheckTimeSlot, whatever the result.
int ShowRadioManager(ManagerContext& context, QWidget* parent = nullptr);

} // namespace corvalin
