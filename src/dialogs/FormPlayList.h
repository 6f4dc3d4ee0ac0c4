#pragma once

#include "dialogs/PlayListEditorContext.h"
#include "dialogs/SongDetails.h"
#include "platform/Clock.h"

#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QTableView;

namespace corvalin {

class TPlayListModel;
class TLongOperation;
class TProgressBox;

// The questions and file dialogs of the play list editor. The program uses the standard ones;
// tests answer them from a script. Window thread.
class TPlayListPrompts {
public:
    virtual ~TPlayListPrompts() = default;
    // A message box ("\r" breaks lines); the button pressed.
    virtual QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                                const QString& caption, const QString& text,
                                                QMessageBox::StandardButtons buttons) = 0;
    // Add Files: song files chosen in `folder`; empty when cancelled.
    virtual QStringList chooseSongFiles(QWidget* parent, const QString& folder) = 0;
    // Add Dir: a folder; empty when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& folder) = 0;
    // Save List: the list file to write, `proposedName` offered in `folder`; empty when
    // cancelled.
    virtual QString chooseSaveFile(QWidget* parent, const QString& folder,
                                   const QString& proposedName) = 0;
    // Load List: an existing list file; empty when cancelled.
    virtual QString chooseListFile(QWidget* parent, const QString& folder) = 0;
    // The Tag > File / File > Tag question box: 0 current file only, 1 all files.
    virtual int allOrOne(QWidget* parent) = 0;
};

// Message boxes, the file dialogs and TfrmAllOrOne.
std::unique_ptr<TPlayListPrompts> standardPlayListPrompts();

// The play list editor with its song details. It edits its own copy of a list (`EditPlayList`,
// a view over `List`); the station's live list is touched only through the context's callbacks.
// Created for one modal use. Window thread.
class TfrmPlayList : public QDialog {
    Q_OBJECT
public:
    // `prompts` null: the standard dialogs.
    explicit TfrmPlayList(const PlayListEditorContext& context, TPlayListPrompts* prompts = nullptr,
                          QWidget* parent = nullptr);
    ~TfrmPlayList() override;

    // The second and third ways of opening, before exec(): on a list file, as the read-only view
    // of the live list. Created without either, the editor holds a new, empty list.
    void OpenOnFile(const QString& file);
    void OpenAsView(const QString& listFile);

    // --- Controls (named as the station's other windows name theirs) ---
    QTableView* EditPlayList = nullptr;
    QFrame* Panel4 = nullptr;
    QPushButton* bUp = nullptr;
    QPushButton* bDown = nullptr;
    QPushButton* bAddDir = nullptr;
    QPushButton* bPopulate = nullptr;
    QPushButton* bDelete = nullptr;
    QPushButton* bClearList = nullptr;
    QPushButton* bLoad = nullptr;
    QPushButton* bSave = nullptr;
    QPushButton* bTagToFile = nullptr;
    QPushButton* bFileToTag = nullptr;
    QCheckBox* cbDuplicates = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;
    QPushButton* bHelp = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* miAddDir = nullptr;
    QAction* miAddFiles = nullptr;
    QAction* miDeleteFile = nullptr;
    QAction* miSaveList = nullptr;
    QAction* miLoadList = nullptr;
    QAction* miClearList = nullptr;
    QTimer Timer1;

    // The detail tabs; index 1 is the File tab, 2 the Tag tab (0 unused).
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet[3] = {};
    QLineEdit* eArtist[3] = {};
    QLineEdit* eTitle[3] = {};
    QCheckBox* cbAnnounce[3] = {};
    QCheckBox* cbOverlap[3] = {};
    QCheckBox* cbExclude[3] = {};
    QCheckBox* cbTheArtist[3] = {};
    QCheckBox* cbTheTitle[3] = {};
    QPushButton* bSaveTag[3] = {};
    QLabel* lExist[3] = {};
    QLabel* lLoudness[3] = {}; // the song's measured loudness, when known

    // --- Editor state ---
    TPlayListTable List; // EditPlayList's entries, always sorted by Order
    QString EditListName;
    bool ListModified = false;
    bool TrackSelection = true;
    bool ActivatedOnce = false;
    bool LoadingDetails = false;
    bool InSelectItem = false;
    int DetailItem = -1; // the row the tabs show
    int AllOrOne = 0;
    bool readOnly() const { return readOnly_; }

    // The selected row, or -1; selecting a row makes it current and visible.
    int selectedRow() const;
    void selectRow(int row);
    // The tab's fields as details.
    TSongDetails detailsOnTab(int tab) const;
    void showDetailsOnTab(int tab, const TSongDetails& details);

    // --- Handlers ---
    void FormActivate();
    void ButtonsOn(bool on);
    void bPopulateClick();
    void bAddDirClick();
    void bDeleteClick();
    void bClearListClick();
    void bUpClick() { MoveListItem(1); }
    void bDownClick() { MoveListItem(2); }
    void MoveListItem(int direction);
    void bLoadClick();
    void bSaveClick();
    void cbDuplicatesClick();
    void PopupMenu1Popup();
    void bOKClick();
    void Timer1Timer();
    void bHelpClick();

    void LoadTags();
    void ClearTags();
    void eDetailChange(int tab);
    void EditPlayListSelectItem();
    void bSaveTag1Click();
    void bSaveTag2Click();
    void bTagToFileClick();
    void bFileToTagClick();

    // Adds song files as Add Files does after its dialog (Add Dir after its walk).
    void AddSongFiles(const QStringList& files);
    // Runs Add Dir's walk and adds what it found, as after the folder dialog.
    void AddFolder(const QString& folder);

public Q_SLOTS:
    void reject() override; // Esc and Cancel: the same handler as OK

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class ListOperation;
    class Progress;

    void buildList();
    void buildPanel();
    void buildDetails();
    QWidget* buildTab(int tab);
    void FormClose();
    void closeEditor();
    void saveLiveListOnce();
    void afterListRebuilt(int selectRow);
    void nameList(const QString& file); // the list's name and the window's caption
    void closingButtonsOn(bool on);     // OK, Cancel and the list buttons
    void ClearDetails();                // the tabs empty, no file notice, no loudness
    void saveDetailsOfTab(int tab);     // the tab's Save Details
    // The row whose details the tabs show, selected again for a save asked on leaving it; -1
    // when there is none or the list is only viewed.
    int detailRow();
    // A one-song operation's result: its message told, a renamed file taken into the list.
    // True when the list took a new name.
    bool takeRenamed(int row, const TDetailResult& result);
    void fileError(const QString& text);
    bool askOkCancel(QMessageBox::Icon icon, const QString& caption, const QString& question);
    QMessageBox::StandardButton askSaveList(); // Yes, No or Cancel on a changed list
    // Runs `work` as a long operation under a progress box; when it was stopped, the operator
    // is then told `stoppedMessage` of how far it got.
    void runLong(const QString& label, const std::function<void(TLongOperation&)>& work,
                 const std::function<QString(int done, int total)>& stoppedMessage);
    // Tag > File and File > Tag: `all` after the question for all songs, else `one` on the
    // selected row.
    void forAllOrOne(QPushButton* button, const QString& allQuestion,
                     const std::function<void()>& all, const std::function<void(int row)>& one);
    // Add Files or Add Dir as a long operation: `add` returns the count of songs it added.
    void addSongsLong(const QString& label, const std::function<int(TLongOperation&)>& add,
                      QString (*stoppedMessage)(int done, int total, int added));
    bool saveList(); // Save List; true when the file now holds the list
    RandomSource& random();
    bool blocked() const { return pumping_ || closing_; }

    PlayListEditorContext context_;
    std::unique_ptr<TPlayListPrompts> ownPrompts_;
    TPlayListPrompts& prompts_;
    std::unique_ptr<StandardRandom> ownRandom_;
    TPlayListModel* model_ = nullptr;
    QAction* deleteKey_ = nullptr;
    bool readOnly_ = false;
    bool liveListSaved_ = false;
    bool closing_ = false;             // Yes to the save question: Timer1 is running
    bool pumping_ = false;             // a long operation lets window events through
    TProgressBox* progress_ = nullptr; // that operation's box
    int operations_ = 0;               // list operations under way (nested through questions)
};

} // namespace corvalin
