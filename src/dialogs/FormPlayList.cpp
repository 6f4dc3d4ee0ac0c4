#include "dialogs/FormPlayList.h"

#include "dialogs/FormAllOrOne.h"
#include "dialogs/PlayListEditor.h"
#include "dialogs/PlayListModel.h"
#include "dialogs/ProgressBox.h"
#include "library/ID3v2.h"
#include "platform/FileSystem.h"
#include "station/TimeSlot.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>

namespace corvalin {

namespace {

QString withLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

class StandardPrompts final : public TPlayListPrompts {
public:
    QMessageBox::StandardButton message(QWidget* parent, QMessageBox::Icon icon,
                                        const QString& caption, const QString& text,
                                        QMessageBox::StandardButtons buttons) override {
        QMessageBox box(icon, caption, withLineBreaks(text), buttons, parent);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    }

    QStringList chooseSongFiles(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select MP3 files to add to list"), folder,
                           QStringLiteral("MP3 files (*.mp3)"));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
    }

    QString chooseFolder(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select Directory"), folder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setLabelText(
            QFileDialog::LookIn,
            QStringLiteral("Locate and select the directory that contains MP3 files"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().constFirst()
                   : QString();
    }

    QString chooseSaveFile(QWidget* parent, const QString& folder,
                           const QString& proposedName) override {
        QFileDialog dialog(parent, QString(), folder, QStringLiteral("List file (*.lst)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("lst"));
        // The list writer asks before it replaces a file.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.selectFile(proposedName);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().constFirst()
                   : QString();
    }

    QString chooseListFile(QWidget* parent, const QString& folder) override {
        QFileDialog dialog(parent, QStringLiteral("Select MP3 files to add to list"), folder,
                           QStringLiteral("List files (*.lst);;All Files (*)"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().constFirst()
                   : QString();
    }

    int allOrOne(QWidget* parent) override { return AskAllOrOne(parent); }
};

QString hint(const char* text) {
    return withLineBreaks(QString::fromLatin1(text));
}

// File > Tag for all writes this many tags at once: each write waits for the disk.
constexpr int kTagWriters = 4;

QString folderOfFile(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

std::unique_ptr<TPlayListPrompts> standardPlayListPrompts() {
    return std::make_unique<StandardPrompts>();
}

// One list operation: its own button and the list buttons are off while it runs, and the button
// rule is applied again at its end, also when it ends early. Operations nest (Load List's save
// question runs Save List).
class TfrmPlayList::ListOperation {
public:
    ListOperation(TfrmPlayList& form, QPushButton* button) : form_(form) {
        ++form_.operations_;
        if (button)
            button->setEnabled(false);
        form_.ButtonsOn(false);
    }
    ~ListOperation() {
        if (--form_.operations_ == 0 && !form_.closing_)
            form_.ButtonsOn(true);
    }
    ListOperation(const ListOperation&) = delete;
    ListOperation& operator=(const ListOperation&) = delete;

private:
    TfrmPlayList& form_;
};

// A long operation (Add Files, Add Dir, the bulk Tag > File and File > Tag): its progress box,
// and while it lets window events through the other handlers wait; Esc stops it.
class TfrmPlayList::Progress : public TProgressBox {
public:
    Progress(TfrmPlayList& form, QString label)
        : TProgressBox(&form, std::move(label)), form_(form) {
        form_.pumping_ = true;
        form_.progress_ = this;
    }
    ~Progress() {
        form_.progress_ = nullptr;
        form_.pumping_ = false;
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

private:
    TfrmPlayList& form_;
};

TfrmPlayList::TfrmPlayList(const PlayListEditorContext& context, TPlayListPrompts* prompts,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      context_(context), ownPrompts_(prompts ? nullptr : standardPlayListPrompts()),
      prompts_(prompts ? *prompts : *ownPrompts_) {
    setObjectName(QStringLiteral("frmPlayList"));
    setFixedSize(720, 540);
    setModal(true);

    buildList();
    buildPanel();
    buildDetails();

    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(1000);
    Timer1.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &TfrmPlayList::Timer1Timer);

    // FormCreate.
    ActivatedOnce = false;
    ListModified = false;
    AllOrOne = 0;
    List.clear();
    List.sortBy(plcOrder);
    model_->reset();
    EditListName = kNewListName;
    setWindowTitle(NewListCaption());
    cbDuplicates->setChecked(context_.Settings.Duplicates);
    ButtonsOn(true);
    PageControl1->setCurrentIndex(context_.Settings.ArtistSource != 0 ? 1 : 0);
}

TfrmPlayList::~TfrmPlayList() {
    Timer1.stop();
    TrackSelection = false;
}

void TfrmPlayList::buildList() {
    model_ = new TPlayListModel(List, this);
    EditPlayList = new QTableView(this);
    EditPlayList->setObjectName(QStringLiteral("EditPlayList"));
    EditPlayList->setGeometry(8, 8, 704, 262);
    EditPlayList->setModel(model_);
    EditPlayList->setSelectionBehavior(QAbstractItemView::SelectRows);
    EditPlayList->setSelectionMode(QAbstractItemView::SingleSelection);
    EditPlayList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    EditPlayList->setSortingEnabled(false);
    EditPlayList->setShowGrid(true);
    EditPlayList->setWordWrap(false);
    EditPlayList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    // Fixed row heights keep a list of 100 000 songs as quick as one of ten.
    QHeaderView* rows = EditPlayList->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(18);
    QHeaderView* columns = EditPlayList->horizontalHeader();
    columns->hide();
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->resizeSection(plcFileName, 1000);
    for (const int hidden : {plcPlayed, plcOrder, plcRandom})
        EditPlayList->setColumnHidden(hidden, true);
    // The selection stays visible while the details have the focus.
    QPalette palette = EditPlayList->palette();
    for (const auto role : {QPalette::Highlight, QPalette::HighlightedText})
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    EditPlayList->setPalette(palette);
    connect(EditPlayList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { EditPlayListSelectItem(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    miAddDir = PopupMenu1->addAction(QStringLiteral("Add Dir"), this, [this] { bAddDirClick(); });
    miAddFiles =
        PopupMenu1->addAction(QStringLiteral("Add Files"), this, [this] { bPopulateClick(); });
    miDeleteFile =
        PopupMenu1->addAction(QStringLiteral("Delete File"), this, [this] { bDeleteClick(); });
    miDeleteFile->setShortcut(QKeySequence::Delete);
    miSaveList = PopupMenu1->addAction(QStringLiteral("Save List"), this, [this] { bSaveClick(); });
    miLoadList = PopupMenu1->addAction(QStringLiteral("Load List"), this, [this] { bLoadClick(); });
    miClearList =
        PopupMenu1->addAction(QStringLiteral("Clear List"), this, [this] { bClearListClick(); });
    EditPlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(EditPlayList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->exec(EditPlayList->viewport()->mapToGlobal(at));
    });
    // Del works on the list itself, not only in the open menu.
    deleteKey_ = new QAction(EditPlayList);
    deleteKey_->setShortcut(QKeySequence::Delete);
    deleteKey_->setShortcutContext(Qt::WidgetShortcut);
    connect(deleteKey_, &QAction::triggered, this, [this] { bDeleteClick(); });
    EditPlayList->addAction(deleteKey_);
}

void TfrmPlayList::buildPanel() {
    Panel4 = new QFrame(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setGeometry(8, 278, 240, 140);
    Panel4->setFrameShape(QFrame::StyledPanel);

    auto button = [this](QPushButton*& b, const char* name, const QString& caption, const char* tip,
                         QRect where, void (TfrmPlayList::*handler)()) {
        b = new QPushButton(caption, Panel4);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(where);
        b->setToolTip(hint(tip));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    button(bUp, "bUp", QString(), "Move selected file\r\nup in the list", {8, 8, 40, 58},
           &TfrmPlayList::bUpClick);
    bUp->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    button(bDown, "bDown", QString(), "Move selected file\r\ndown in the list", {8, 72, 40, 58},
           &TfrmPlayList::bDownClick);
    bDown->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    button(bAddDir, "bAddDir", QStringLiteral("Add Dir"),
           "Add all MP3 files from\r\na selected directory\r\nto the current list", {56, 8, 84, 28},
           &TfrmPlayList::bAddDirClick);
    button(bPopulate, "bPopulate", QStringLiteral("Add Files"), "Add MP3 files to the current list",
           {56, 40, 84, 28}, &TfrmPlayList::bPopulateClick);
    button(bDelete, "bDelete", QStringLiteral("Delete File"),
           "Delete selected file from the current list", {56, 72, 84, 28},
           &TfrmPlayList::bDeleteClick);
    button(bClearList, "bClearList", QStringLiteral("Clear List"),
           "Remove all songs from \r\nthe current play list", {56, 104, 84, 28},
           &TfrmPlayList::bClearListClick);
    button(bLoad, "bLoad", QStringLiteral("Load List"), "Load a saved play list.", {148, 8, 84, 28},
           &TfrmPlayList::bLoadClick);
    button(bSave, "bSave", QStringLiteral("Save List"), "Save the current play list.",
           {148, 40, 84, 28}, &TfrmPlayList::bSaveClick);
    button(bTagToFile, "bTagToFile", QStringLiteral("Tag > File"),
           "Name the song files\r\nfrom their tags", {148, 72, 84, 28},
           &TfrmPlayList::bTagToFileClick);
    button(bFileToTag, "bFileToTag", QStringLiteral("File > Tag"),
           "Write the tags of the songs\r\nfrom their file names", {148, 104, 84, 28},
           &TfrmPlayList::bFileToTagClick);

    cbDuplicates = new QCheckBox(QStringLiteral("Allow Duplicates in List"), this);
    cbDuplicates->setObjectName(QStringLiteral("cbDuplicates"));
    cbDuplicates->setGeometry(12, 426, 236, 22);
    connect(cbDuplicates, &QCheckBox::clicked, this, [this] { cbDuplicatesClick(); });

    auto closing = [this](QPushButton*& b, const char* name, const QString& caption, QRect where) {
        b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(where);
    };
    closing(bHelp, "bHelp", QStringLiteral("Help"), {8, 500, 88, 30});
    closing(bOK, "bOK", QStringLiteral("OK"), {528, 500, 88, 30});
    closing(bCancel, "bCancel", QStringLiteral("Cancel"), {624, 500, 88, 30});
    bOK->setDefault(true);
    bCancel->setAutoDefault(false);
    bHelp->setAutoDefault(false);
    connect(bOK, &QPushButton::clicked, this, [this] { bOKClick(); });
    connect(bCancel, &QPushButton::clicked, this, [this] { bOKClick(); });
    connect(bHelp, &QPushButton::clicked, this, [this] { bHelpClick(); });
}

QWidget* TfrmPlayList::buildTab(int tab) {
    auto* page = new QWidget;
    const QString digit = QString::number(tab);
    page->setObjectName(QStringLiteral("TabSheet") + digit);
    auto name = [&](QWidget* w, const char* base) {
        w->setObjectName(QString::fromLatin1(base) + digit);
    };
    auto* artistLabel = new QLabel(QStringLiteral("Artist"), page);
    artistLabel->setGeometry(66, 6, 200, 18);
    cbTheArtist[tab] = new QCheckBox(QStringLiteral("The"), page);
    name(cbTheArtist[tab], "cbTheArtist");
    cbTheArtist[tab]->setGeometry(8, 26, 56, 24);
    cbTheArtist[tab]->setToolTip(hint("Add phrase THE before\r\nArtist name"));
    eArtist[tab] = new QLineEdit(page);
    name(eArtist[tab], "eArtist");
    eArtist[tab]->setGeometry(66, 26, 330, 24);

    auto* titleLabel = new QLabel(QStringLiteral("Title"), page);
    titleLabel->setGeometry(66, 56, 200, 18);
    cbTheTitle[tab] = new QCheckBox(QStringLiteral("The"), page);
    name(cbTheTitle[tab], "cbTheTitle");
    cbTheTitle[tab]->setGeometry(8, 76, 56, 24);
    cbTheTitle[tab]->setToolTip(hint("Add phrase THE before \r\nsong title"));
    eTitle[tab] = new QLineEdit(page);
    name(eTitle[tab], "eTitle");
    eTitle[tab]->setGeometry(66, 76, 330, 24);

    cbAnnounce[tab] = new QCheckBox(QStringLiteral("Never Announce"), page);
    name(cbAnnounce[tab], "cbAnnounce");
    cbAnnounce[tab]->setGeometry(8, 110, 150, 22);
    cbOverlap[tab] = new QCheckBox(QStringLiteral("Never Overlap"), page);
    name(cbOverlap[tab], "cbOverlap");
    cbOverlap[tab]->setGeometry(166, 110, 150, 22);
    cbExclude[tab] = new QCheckBox(QStringLiteral("Exclude from Song Count"), page);
    name(cbExclude[tab], "cbExclude");
    cbExclude[tab]->setGeometry(8, 134, 220, 22);

    lExist[tab] = new QLabel(QStringLiteral("This file does not exist"), page);
    name(lExist[tab], "lExist");
    lExist[tab]->setGeometry(8, 168, 220, 20);
    lExist[tab]->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    lExist[tab]->hide();
    lLoudness[tab] = new QLabel(page);
    name(lLoudness[tab], "lLoudness");
    lLoudness[tab]->setGeometry(8, 168, 284, 20);

    bSaveTag[tab] = new QPushButton(QStringLiteral("Save Details"), page);
    name(bSaveTag[tab], "bSaveTag");
    bSaveTag[tab]->setGeometry(296, 162, 100, 28);
    bSaveTag[tab]->setAutoDefault(false);
    bSaveTag[tab]->setEnabled(false);
    connect(bSaveTag[tab], &QPushButton::clicked, this,
            [this, tab] { tab == 1 ? bSaveTag1Click() : bSaveTag2Click(); });

    for (QLineEdit* edit : {eArtist[tab], eTitle[tab]})
        connect(edit, &QLineEdit::textChanged, this, [this, tab] { eDetailChange(tab); });
    for (QCheckBox* box :
         {cbAnnounce[tab], cbOverlap[tab], cbExclude[tab], cbTheArtist[tab], cbTheTitle[tab]})
        connect(box, &QCheckBox::toggled, this, [this, tab] { eDetailChange(tab); });
    TabSheet[tab] = page;
    return page;
}

void TfrmPlayList::buildDetails() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(256, 278, 456, 212);
    // Side tabs, one above the other, right of the fields.
    PageControl1->setTabPosition(QTabWidget::East);
    PageControl1->addTab(buildTab(1), QStringLiteral("File"));
    PageControl1->addTab(buildTab(2), QStringLiteral("Tag"));
}

RandomSource& TfrmPlayList::random() {
    if (context_.Random)
        return *context_.Random;
    if (!ownRandom_)
        ownRandom_ = std::make_unique<StandardRandom>();
    return *ownRandom_;
}

// --- Opening -------------------------------------------------------------------------------

void TfrmPlayList::OpenOnFile(const QString& file) {
    // The live list's latest played marks reach the file before the editor reads it.
    saveLiveListOnce();
    EditListName = NameWithoutFolder(file);
    setWindowTitle(ListCaption(EditListName));
    TrackSelection = false;
    const TListLoadResult loaded = LoadList(file, List, random());
    List.sortBy(plcOrder);
    afterListRebuilt(0);
    TrackSelection = true;
    ListModified = false;
    ButtonsOn(true);
    if (loaded.status == TListLoadResult::ReadError)
        fileError(loaded.error);
}

void TfrmPlayList::OpenAsView(const QString& listFile) {
    readOnly_ = true;
    EditListName = NameWithoutFolder(listFile);
    setWindowTitle(ViewCaption(EditListName));
    TrackSelection = false;
    FillLiveView(context_.CurrentPlayList, List,
                 context_.CurrentListIndex ? context_.CurrentListIndex() : -1,
                 context_.CurrentListOrder ? context_.CurrentListOrder() : loOriginal);
    model_->reset();
    const int next = FindEntry(List, context_.NextSongFile ? context_.NextSongFile() : QString());
    selectRow(next);
    EditPlayList->setFocus();
    LoadTags();
    TrackSelection = true;
    ListModified = false;
    Panel4->setEnabled(false);
    PageControl1->setEnabled(false);
    cbDuplicates->setEnabled(false);
    EditPlayList->setContextMenuPolicy(Qt::NoContextMenu);
    EditPlayList->removeAction(deleteKey_);
}

void TfrmPlayList::saveLiveListOnce() {
    if (liveListSaved_ || readOnly_)
        return;
    liveListSaved_ = true;
    if (context_.SaveLiveList)
        context_.SaveLiveList();
}

void TfrmPlayList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    saveLiveListOnce();
}

void TfrmPlayList::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TfrmPlayList::FormActivate() {
    // A box closing in the middle of an operation activates the window again: the operation
    // itself puts the buttons back when it ends.
    if (operations_ == 0 && !blocked())
        ButtonsOn(true);
    if (!ActivatedOnce) {
        ActivatedOnce = true;
        saveLiveListOnce();
    }
}

void TfrmPlayList::ButtonsOn(bool on) {
    const TButtonStates b = ButtonsOnRule(on, !List.isEmpty());
    bOK->setEnabled(b.OK);
    bAddDir->setEnabled(b.AddDir);
    bPopulate->setEnabled(b.Populate);
    bLoad->setEnabled(b.Load);
    bClearList->setEnabled(b.ClearList);
    bSave->setEnabled(b.Save);
    bDelete->setEnabled(b.Delete);
    bTagToFile->setEnabled(b.TagToFile);
    bFileToTag->setEnabled(b.FileToTag);
    bUp->setEnabled(b.Up);
    bDown->setEnabled(b.Down);
}

// --- Selection -------------------------------------------------------------------------------

int TfrmPlayList::selectedRow() const {
    const QModelIndexList rows = EditPlayList->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.constFirst().row();
}

void TfrmPlayList::selectRow(int row) {
    QItemSelectionModel* selection = EditPlayList->selectionModel();
    if (row < 0 || row >= List.rowCount()) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = model_->index(row, plcFileName);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EditPlayList->scrollTo(index);
}

void TfrmPlayList::afterListRebuilt(int row) {
    model_->reset();
    selectRow(row);
    LoadTags();
    EditPlayList->setFocus();
}

TSongDetails TfrmPlayList::detailsOnTab(int tab) const {
    TSongDetails d;
    d.Artist = eArtist[tab]->text();
    d.Title = eTitle[tab]->text();
    d.Marks.NeverAnnounce = cbAnnounce[tab]->isChecked();
    d.Marks.NeverOverlap = cbOverlap[tab]->isChecked();
    d.Marks.ExcludeFromCount = cbExclude[tab]->isChecked();
    d.Marks.TheArtist = cbTheArtist[tab]->isChecked();
    d.Marks.TheTitle = cbTheTitle[tab]->isChecked();
    return d;
}

void TfrmPlayList::showDetailsOnTab(int tab, const TSongDetails& d) {
    eArtist[tab]->setText(d.Artist);
    eTitle[tab]->setText(d.Title);
    cbAnnounce[tab]->setChecked(d.Marks.NeverAnnounce);
    cbOverlap[tab]->setChecked(d.Marks.NeverOverlap);
    cbExclude[tab]->setChecked(d.Marks.ExcludeFromCount);
    cbTheArtist[tab]->setChecked(d.Marks.TheArtist);
    cbTheTitle[tab]->setChecked(d.Marks.TheTitle);
}

void TfrmPlayList::LoadTags() {
    LoadingDetails = true;
    bSaveTag[1]->setEnabled(false);
    bSaveTag[2]->setEnabled(false);
    const int row = selectedRow();
    DetailItem = row;
    if (row < 0) {
        ClearTags();
        for (int tab : {1, 2}) {
            lExist[tab]->hide();
            lLoudness[tab]->clear();
        }
        LoadingDetails = false;
        return;
    }
    const QString path = List.cell(row, plcFileName);
    const bool exists = SongExists(path);
    const QString loudness = exists ? LoudnessDetailsOf(path) : QString();
    for (int tab : {1, 2}) {
        lExist[tab]->setVisible(!exists);
        lLoudness[tab]->setText(loudness);
    }
    if (!readOnly_)
        PageControl1->setEnabled(exists);
    if (exists) {
        // One file's name and tag per selection, however long the list.
        showDetailsOnTab(1, FileDetailsOf(path));
        showDetailsOnTab(2, TagDetailsOf(path));
    } else {
        ClearTags();
    }
    LoadingDetails = false;
}

void TfrmPlayList::ClearTags() {
    // Emptying the fields is no edit of the operator's.
    const bool loading = LoadingDetails;
    LoadingDetails = true;
    for (int tab : {1, 2}) {
        bSaveTag[tab]->setEnabled(false);
        showDetailsOnTab(tab, {});
    }
    LoadingDetails = loading;
}

void TfrmPlayList::eDetailChange(int tab) {
    if (!LoadingDetails)
        bSaveTag[tab]->setEnabled(true);
}

void TfrmPlayList::EditPlayListSelectItem() {
    if (InSelectItem)
        return;
    InSelectItem = true;
    struct Off {
        bool& flag;
        ~Off() { flag = false; }
    } off{InSelectItem};
    if (!TrackSelection)
        return;

    // The operator's choice: the saves below select the edited song again to save it.
    const int chosen = selectedRow();
    bool saved = false;
    if (bSaveTag[1]->isEnabled()) {
        if (prompts_.message(this, QMessageBox::Warning, kWarningCaption, kSaveFileDetailsQuestion,
                             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok) {
            EditPlayList->setFocus();
            bSaveTag1Click();
            saved = true;
        }
    }
    if (bSaveTag[2]->isEnabled()) {
        if (prompts_.message(this, QMessageBox::Warning, kWarningCaption, kSaveTagDetailsQuestion,
                             QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok) {
            EditPlayList->setFocus();
            bSaveTag2Click();
            saved = true;
        }
    }
    if (saved)
        selectRow(chosen);
    if (!blocked() && !readOnly_)
        bDelete->setEnabled(selectedRow() >= 0);
    LoadTags();
}

// --- List operations -------------------------------------------------------------------------

void TfrmPlayList::runLong(const QString& label,
                           const std::function<QString(TLongOperation&)>& work) {
    QString stopped;
    {
        Progress progress(*this, label);
        TrackSelection = false;
        stopped = work(progress.operation());
        TrackSelection = true;
    }
    // Told after the progress box has gone.
    if (!stopped.isEmpty())
        prompts_.message(this, QMessageBox::Information, kStoppedCaption, stopped, QMessageBox::Ok);
}

void TfrmPlayList::AddSongFiles(const QStringList& files) {
    runLong(QStringLiteral("Adding songs: %1 of %2"), [&](TLongOperation& operation) {
        const int added = AddSongs(List, files, cbDuplicates->isChecked(), random(), &operation);
        if (added > 0) {
            ListModified = true;
            afterListRebuilt(-1);
        }
        return operation.stopped()
                   ? AddFilesStoppedMessage(operation.done(), operation.total(), added)
                   : QString();
    });
}

void TfrmPlayList::AddFolder(const QString& folder) {
    runLong(QStringLiteral("Adding songs: %1 of %2 found"), [&](TLongOperation& operation) {
        const int added =
            AddFolderSongs(List, folder, cbDuplicates->isChecked(), random(), &operation);
        if (added > 0) {
            ListModified = true;
            afterListRebuilt(-1);
        }
        return operation.stopped()
                   ? AddDirStoppedMessage(operation.done(), operation.total(), added)
                   : QString();
    });
}

void TfrmPlayList::bPopulateClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bPopulate);
    const QStringList files = prompts_.chooseSongFiles(this, context_.Settings.LastDir2);
    if (files.isEmpty())
        return;
    context_.Settings.LastDir2 = folderOfFile(files.constFirst());
    AddSongFiles(files);
}

void TfrmPlayList::bAddDirClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bAddDir);
    const QString folder = prompts_.chooseFolder(this, context_.Settings.LastDir1);
    if (folder.isEmpty())
        return;
    context_.Settings.LastDir1 = folder;
    AddFolder(folder);
}

void TfrmPlayList::bDeleteClick() {
    if (blocked() || readOnly_)
        return;
    const int row = selectedRow();
    if (row < 0)
        return;
    ListOperation op(*this, bDelete);
    TrackSelection = false;
    const int next = DeleteEntry(List, row);
    ListModified = true;
    afterListRebuilt(next);
    TrackSelection = true;
}

void TfrmPlayList::bClearListClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bClearList);
    if (prompts_.message(this, QMessageBox::Warning, kConfirmCaption, kClearListQuestion,
                         QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    TrackSelection = false;
    List.clear();
    model_->reset();
    ClearTags();
    for (int tab : {1, 2}) {
        lExist[tab]->hide();
        lLoudness[tab]->clear();
    }
    DetailItem = -1;
    TrackSelection = true;
    ListModified = true;
}

void TfrmPlayList::MoveListItem(int direction) {
    if (blocked() || readOnly_)
        return;
    const int row = selectedRow();
    if (row < 0)
        return;
    ListOperation op(*this, direction == 1 ? bUp : bDown);
    TrackSelection = false;
    const int moved = MoveEntry(List, row, direction);
    if (moved >= 0) {
        model_->rowsChanged(row, moved);
        selectRow(moved);
        LoadTags();
        ListModified = true;
    }
    EditPlayList->setFocus();
    TrackSelection = true;
}

void TfrmPlayList::bLoadClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bLoad);
    if (ListModified) {
        const auto answer = prompts_.message(
            this, QMessageBox::Warning, kSaveListCaption, CloseQuestion(EditListName),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel)
            return;
        // A list that did not reach its file is not dropped for another one.
        if (answer == QMessageBox::Yes && !saveList())
            return;
    }
    const QString file =
        prompts_.chooseListFile(this, context_.ProgramFolder + QStringLiteral("Lists/"));
    if (file.isEmpty())
        return;
    TrackSelection = false;
    TPlayListTable loaded;
    const TListLoadResult result = LoadList(file, loaded, random());
    if (result.status == TListLoadResult::ReadError) {
        TrackSelection = true;
        fileError(result.error);
        return;
    }
    EditListName = NameWithoutFolder(file);
    setWindowTitle(ListCaption(EditListName));
    List = std::move(loaded);
    List.sortBy(plcOrder);
    afterListRebuilt(0);
    TrackSelection = true;
    ListModified = false;
}

void TfrmPlayList::bSaveClick() {
    saveList();
}

bool TfrmPlayList::saveList() {
    if (pumping_ || readOnly_)
        return false;
    if (List.isEmpty()) {
        prompts_.message(this, QMessageBox::Critical, kSetupErrorCaption, kNoSongsInList,
                         QMessageBox::Ok);
        return false;
    }
    ListOperation op(*this, bSave);
    const QString path = prompts_.chooseSaveFile(
        this, context_.ProgramFolder + QStringLiteral("Lists"), EditListName);
    if (path.isEmpty())
        return false;
    TrackSelection = false;
    EditListName = NameWithoutFolder(path);
    setWindowTitle(ListCaption(EditListName));
    const TListSaveResult saved = SaveList(path, List, false, [this](const QString& question) {
        return prompts_.message(this, QMessageBox::Warning, QString::fromLatin1(kOverwriteCaption),
                                question, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    });
    if (saved.status == TListSaveResult::Saved) {
        // The station plays from this file: it takes the new list up at once.
        if (context_.CurrentListFile && path == context_.CurrentListFile() &&
            context_.ReloadLiveList)
            context_.ReloadLiveList();
        ListModified = false;
    } else if (saved.status == TListSaveResult::Failed) {
        fileError(saved.error);
    }
    // A declined overwrite or a failed write keeps the list marked as changed: closing asks
    // again instead of losing it.
    List.sortBy(plcOrder);
    afterListRebuilt(0);
    TrackSelection = true;
    return saved.status == TListSaveResult::Saved;
}

void TfrmPlayList::cbDuplicatesClick() {
    context_.Settings.Duplicates = cbDuplicates->isChecked();
}

void TfrmPlayList::PopupMenu1Popup() {
    miDeleteFile->setEnabled(selectedRow() >= 0);
}

void TfrmPlayList::fileError(const QString& text) {
    prompts_.message(this, QMessageBox::Critical, kFileErrorCaption, text, QMessageBox::Ok);
}

// --- Closing ---------------------------------------------------------------------------------

void TfrmPlayList::reject() {
    // Esc during a long operation stops it, as the progress box's Cancel does.
    if (progress_) {
        progress_->cancel();
        return;
    }
    bOKClick();
}

void TfrmPlayList::closeEvent(QCloseEvent* event) {
    // The title bar's close button asks as Cancel does.
    event->ignore();
    reject();
}

void TfrmPlayList::bOKClick() {
    if (blocked() || operations_ > 0)
        return;
    bOK->setEnabled(false);
    bCancel->setEnabled(false);
    ButtonsOn(false);
    if (!ListModified || readOnly_) {
        closeEditor();
        return;
    }
    const auto answer =
        prompts_.message(this, QMessageBox::Warning, kSaveListCaption, CloseQuestion(EditListName),
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::Yes) {
        closing_ = true;
        Timer1.start();
        return;
    }
    if (answer == QMessageBox::No) {
        closeEditor();
        return;
    }
    bOK->setEnabled(true);
    bCancel->setEnabled(true);
    ButtonsOn(true);
}

void TfrmPlayList::Timer1Timer() {
    Timer1.stop();
    closing_ = false;
    if (saveList()) {
        closeEditor();
        return;
    }
    // Not saved (the save dialog cancelled, an overwrite declined, the write failed): the edits
    // stay in the open editor, to be saved elsewhere or dropped knowingly with No.
    bOK->setEnabled(true);
    bCancel->setEnabled(true);
    ButtonsOn(true);
}

void TfrmPlayList::closeEditor() {
    FormClose();
    QDialog::done(QDialog::Accepted);
}

void TfrmPlayList::FormClose() {
    TrackSelection = false;
}

void TfrmPlayList::bHelpClick() {
    if (context_.ShowHelp)
        context_.ShowHelp(5);
}

// --- Song details ----------------------------------------------------------------------------

void TfrmPlayList::bSaveTag1Click() {
    bSaveTag[1]->setEnabled(false);
    const TSongDetails details = detailsOnTab(1);
    if (details.Artist.trimmed().isEmpty() && details.Title.trimmed().isEmpty()) {
        fileError(kNoArtistOrTitle);
        return;
    }
    if (InSelectItem && DetailItem >= 0)
        selectRow(DetailItem);
    const int row = selectedRow();
    if (row < 0 || readOnly_)
        return;
    const TDetailResult result = SaveFileDetails(List.cell(row, plcFileName), details);
    if (!result.message.isEmpty()) {
        fileError(result.message);
        return;
    }
    if (result.changed) {
        List.setCell(row, plcFileName, result.newPath);
        model_->rowChanged(row);
        ListModified = true;
    }
}

void TfrmPlayList::bSaveTag2Click() {
    bSaveTag[2]->setEnabled(false);
    if (InSelectItem && DetailItem >= 0)
        selectRow(DetailItem);
    const int row = selectedRow();
    if (row < 0 || readOnly_)
        return;
    const TDetailResult result = SaveTagDetails(List.cell(row, plcFileName), detailsOnTab(2));
    if (!result.message.isEmpty())
        fileError(result.message);
}

void TfrmPlayList::bTagToFileClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bTagToFile);
    AllOrOne = prompts_.allOrOne(this);
    if (AllOrOne == 1) {
        if (prompts_.message(this, QMessageBox::Question, kConfirmCaption, kTagToFileAllQuestion,
                             QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
        runLong(QStringLiteral("Naming songs from their tags: %1 of %2"),
                [&](TLongOperation& operation) {
                    if (TagToFileAll(List, &operation) > 0)
                        ListModified = true;
                    afterListRebuilt(0);
                    return operation.stopped()
                               ? TagToFileStoppedMessage(operation.done(), operation.total())
                               : QString();
                });
        return;
    }
    const int row = selectedRow();
    if (row < 0)
        return;
    const TDetailResult result = TagToFile(List.cell(row, plcFileName), false);
    if (!result.message.isEmpty()) {
        fileError(result.message);
        return;
    }
    if (result.changed) {
        List.setCell(row, plcFileName, result.newPath);
        model_->rowChanged(row);
        ListModified = true;
        LoadTags();
    }
}

void TfrmPlayList::bFileToTagClick() {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, bFileToTag);
    AllOrOne = prompts_.allOrOne(this);
    TID3v2 tag;
    if (AllOrOne == 1) {
        if (prompts_.message(this, QMessageBox::Question, kConfirmCaption, kFileToTagAllQuestion,
                             QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
            return;
        QStringList songs;
        songs.reserve(List.rowCount());
        for (int row = 0; row < List.rowCount(); ++row)
            songs.append(List.cell(row, plcFileName));
        runLong(QStringLiteral("Writing tags from file names: %1 of %2"),
                [&](TLongOperation& operation) {
                    FileToTagAll(songs, kTagWriters, &operation);
                    afterListRebuilt(0);
                    return operation.stopped()
                               ? FileToTagStoppedMessage(operation.done(), operation.total())
                               : QString();
                });
        return;
    }
    const int row = selectedRow();
    if (row < 0)
        return;
    if (FileToTag(List.cell(row, plcFileName), tag).changed)
        LoadTags();
}

// --- The three ways of opening -----------------------------------------------------------------

void OpenPlayListEditor(const PlayListEditorContext& context, QWidget* parent) {
    TfrmPlayList editor(context, nullptr, parent);
    editor.exec();
}

void OpenPlayListEditorOnFile(const PlayListEditorContext& context, const QString& file,
                              QWidget* parent) {
    TfrmPlayList editor(context, nullptr, parent);
    editor.OpenOnFile(file);
    editor.exec();
}

void ViewLivePlayList(const PlayListEditorContext& context, QWidget* parent) {
    if (context.ViewListOpen)
        return;
    context.ViewListOpen = true;
    struct Clear {
        bool& flag;
        ~Clear() { flag = false; }
    } clear{context.ViewListOpen};
    const QString file = context.CurrentListFile ? context.CurrentListFile() : QString();
    if (!SongExists(file))
        return;
    TfrmPlayList editor(context, nullptr, parent);
    editor.OpenAsView(file);
    editor.exec();
}

} // namespace corvalin
