// The play list editor's list operations: adding, deleting, moving and clearing songs, loading
// and saving the list, and naming files from tags or tags from file names.

#include "dialogs/FormPlayList.h"
#include "dialogs/LongOperation.h"
#include "dialogs/PlayListEditor.h"
#include "dialogs/PlayListModel.h"
#include "dialogs/ProgressBox.h"
#include "library/ID3v2.h"
#include "station/TimeSlot.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTableView>

namespace corvalin {

namespace {

// File > Tag for all writes this many tags at once: each write waits for the disk.
constexpr int kTagWriters = 4;

QString folderOfFile(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

} // namespace

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

// --- List operations -------------------------------------------------------------------------

void TfrmPlayList::runLong(const QString& label, const std::function<void(TLongOperation&)>& work,
                           const std::function<QString(int done, int total)>& stoppedMessage) {
    QString stopped;
    {
        Progress progress(*this, label);
        TrackSelection = false;
        TLongOperation& operation = progress.operation();
        work(operation);
        if (operation.stopped())
            stopped = stoppedMessage(operation.done(), operation.total());
        TrackSelection = true;
    }
    // Told after the progress box has gone.
    if (!stopped.isEmpty())
        prompts_.message(this, QMessageBox::Information, kStoppedCaption, stopped, QMessageBox::Ok);
}

void TfrmPlayList::addSongsLong(const QString& label,
                                const std::function<int(TLongOperation&)>& add,
                                QString (*stoppedMessage)(int done, int total, int added)) {
    int added = 0;
    runLong(
        label,
        [&](TLongOperation& operation) {
            added = add(operation);
            if (added > 0) {
                ListModified = true;
                afterListRebuilt(-1);
            }
        },
        [&](int done, int total) { return stoppedMessage(done, total, added); });
}

void TfrmPlayList::AddSongFiles(const QStringList& files) {
    addSongsLong(
        QStringLiteral("Adding songs: %1 of %2"),
        [&](TLongOperation& operation) {
            return AddSongs(List, files, cbDuplicates->isChecked(), random(), &operation);
        },
        &AddFilesStoppedMessage);
}

void TfrmPlayList::AddFolder(const QString& folder) {
    addSongsLong(
        QStringLiteral("Adding songs: %1 of %2 found"),
        [&](TLongOperation& operation) {
            return AddFolderSongs(List, folder, cbDuplicates->isChecked(), random(), &operation);
        },
        &AddDirStoppedMessage);
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
    if (!askOkCancel(QMessageBox::Warning, kConfirmCaption, kClearListQuestion))
        return;
    TrackSelection = false;
    List.clear();
    model_->reset();
    ClearDetails();
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
        const auto answer = askSaveList();
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
    nameList(file);
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
    nameList(path);
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

void TfrmPlayList::forAllOrOne(QPushButton* button, const QString& allQuestion,
                               const std::function<void()>& all,
                               const std::function<void(int row)>& one) {
    if (blocked() || readOnly_)
        return;
    ListOperation op(*this, button);
    AllOrOne = prompts_.allOrOne(this);
    if (AllOrOne == 1) {
        if (askOkCancel(QMessageBox::Question, kConfirmCaption, allQuestion))
            all();
        return;
    }
    const int row = selectedRow();
    if (row >= 0)
        one(row);
}

void TfrmPlayList::bTagToFileClick() {
    forAllOrOne(
        bTagToFile, kTagToFileAllQuestion,
        [this] {
            runLong(
                QStringLiteral("Naming songs from their tags: %1 of %2"),
                [this](TLongOperation& operation) {
                    if (TagToFileAll(List, &operation) > 0)
                        ListModified = true;
                    afterListRebuilt(0);
                },
                &TagToFileStoppedMessage);
        },
        [this](int row) {
            if (takeRenamed(row, TagToFile(List.cell(row, plcFileName), false)))
                LoadTags();
        });
}

void TfrmPlayList::bFileToTagClick() {
    forAllOrOne(
        bFileToTag, kFileToTagAllQuestion,
        [this] {
            QStringList songs;
            songs.reserve(List.rowCount());
            for (int row = 0; row < List.rowCount(); ++row)
                songs.append(List.cell(row, plcFileName));
            runLong(
                QStringLiteral("Writing tags from file names: %1 of %2"),
                [&](TLongOperation& operation) {
                    FileToTagAll(songs, kTagWriters, &operation);
                    afterListRebuilt(0);
                },
                &FileToTagStoppedMessage);
        },
        [this](int row) {
            TID3v2 tag;
            if (FileToTag(List.cell(row, plcFileName), tag).changed)
                LoadTags();
        });
}

} // namespace corvalin
