// The play list editor's window: its making and layout, the ways it opens, the selection, and
// closing. The list operations and the song details have files of their own.

#include "dialogs/FormPlayList.h"

#include "dialogs/ManagerWidgets.h"
#include "dialogs/PlayListEditor.h"
#include "dialogs/PlayListModel.h"
#include "dialogs/ProgressBox.h"
#include "platform/FileSystem.h"
#include "station/TimeSlot.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>

namespace corvalin {

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
        b->setToolTip(withLineBreaks(QString::fromLatin1(tip)));
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
    nameList(file);
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

void TfrmPlayList::nameList(const QString& file) {
    EditListName = NameWithoutFolder(file);
    setWindowTitle(ListCaption(EditListName));
}

void TfrmPlayList::afterListRebuilt(int row) {
    model_->reset();
    selectRow(row);
    LoadTags();
    EditPlayList->setFocus();
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
    closingButtonsOn(false);
    if (!ListModified || readOnly_) {
        closeEditor();
        return;
    }
    const auto answer = askSaveList();
    if (answer == QMessageBox::Yes) {
        closing_ = true;
        Timer1.start();
        return;
    }
    if (answer == QMessageBox::No) {
        closeEditor();
        return;
    }
    closingButtonsOn(true);
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
    closingButtonsOn(true);
}

void TfrmPlayList::closingButtonsOn(bool on) {
    bOK->setEnabled(on);
    bCancel->setEnabled(on);
    ButtonsOn(on);
}

void TfrmPlayList::fileError(const QString& text) {
    prompts_.message(this, QMessageBox::Critical, kFileErrorCaption, text, QMessageBox::Ok);
}

bool TfrmPlayList::askOkCancel(QMessageBox::Icon icon, const QString& caption,
                               const QString& question) {
    return prompts_.message(this, icon, caption, question, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

QMessageBox::StandardButton TfrmPlayList::askSaveList() {
    return prompts_.message(this, QMessageBox::Warning, kSaveListCaption,
                            CloseQuestion(EditListName),
                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
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
