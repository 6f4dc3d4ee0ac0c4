// The play list editor's song details: the File and Tag tabs, filling them from the selected
// song, and their Save Details.

#include "dialogs/FormPlayList.h"
#include "dialogs/ManagerWidgets.h"
#include "dialogs/PlayListModel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <array>
#include <utility>

namespace corvalin {

namespace {

// A tab's boxes for the song's marks, in the order they are filled.
std::array<std::pair<QCheckBox*, bool TSongMarks::*>, 5> markBoxes(const TfrmPlayList& form,
                                                                   int tab) {
    return {{{form.cbAnnounce[tab], &TSongMarks::NeverAnnounce},
             {form.cbOverlap[tab], &TSongMarks::NeverOverlap},
             {form.cbExclude[tab], &TSongMarks::ExcludeFromCount},
             {form.cbTheArtist[tab], &TSongMarks::TheArtist},
             {form.cbTheTitle[tab], &TSongMarks::TheTitle}}};
}

} // namespace

QWidget* TfrmPlayList::buildTab(int tab) {
    auto* page = new QWidget;
    const QString digit = QString::number(tab);
    page->setObjectName(QStringLiteral("TabSheet") + digit);
    auto name = [&](QWidget* w, const char* base) {
        w->setObjectName(QString::fromLatin1(base) + digit);
    };
    auto makeBox = [&](QCheckBox*& b, const QString& caption, const char* base, QRect where) {
        b = new QCheckBox(caption, page);
        name(b, base);
        b->setGeometry(where);
    };
    // A name field under its label, its "The" box before it.
    auto field = [&](QLineEdit*& edit, QCheckBox*& the, const QString& caption,
                     const char* editName, const char* theName, int top, const QString& tip) {
        auto* label = new QLabel(caption, page);
        label->setGeometry(66, top, 200, 18);
        makeBox(the, QStringLiteral("The"), theName, {8, top + 20, 56, 24});
        the->setToolTip(withLineBreaks(tip));
        edit = new QLineEdit(page);
        name(edit, editName);
        edit->setGeometry(66, top + 20, 330, 24);
    };
    field(eArtist[tab], cbTheArtist[tab], QStringLiteral("Artist"), "eArtist", "cbTheArtist", 6,
          QStringLiteral("Add phrase THE before\r\nArtist name"));
    field(eTitle[tab], cbTheTitle[tab], QStringLiteral("Title"), "eTitle", "cbTheTitle", 56,
          QStringLiteral("Add phrase THE before \r\nsong title"));
    makeBox(cbAnnounce[tab], QStringLiteral("Never Announce"), "cbAnnounce", {8, 110, 150, 22});
    makeBox(cbOverlap[tab], QStringLiteral("Never Overlap"), "cbOverlap", {166, 110, 150, 22});
    makeBox(cbExclude[tab], QStringLiteral("Exclude from Song Count"), "cbExclude",
            {8, 134, 220, 22});

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
    connect(bSaveTag[tab], &QPushButton::clicked, this, [this, tab] { saveDetailsOfTab(tab); });

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

TSongDetails TfrmPlayList::detailsOnTab(int tab) const {
    TSongDetails d;
    d.Artist = eArtist[tab]->text();
    d.Title = eTitle[tab]->text();
    for (const auto& [checkBox, mark] : markBoxes(*this, tab))
        d.Marks.*mark = checkBox->isChecked();
    return d;
}

void TfrmPlayList::showDetailsOnTab(int tab, const TSongDetails& d) {
    eArtist[tab]->setText(d.Artist);
    eTitle[tab]->setText(d.Title);
    for (const auto& [checkBox, mark] : markBoxes(*this, tab))
        checkBox->setChecked(d.Marks.*mark);
}

void TfrmPlayList::LoadTags() {
    LoadingDetails = true;
    bSaveTag[1]->setEnabled(false);
    bSaveTag[2]->setEnabled(false);
    const int row = selectedRow();
    DetailItem = row;
    if (row < 0) {
        ClearDetails();
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

void TfrmPlayList::ClearDetails() {
    ClearTags();
    for (int tab : {1, 2}) {
        lExist[tab]->hide();
        lLoudness[tab]->clear();
    }
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
    for (int tab : {1, 2}) {
        if (bSaveTag[tab]->isEnabled() &&
            askOkCancel(QMessageBox::Warning, kWarningCaption,
                        tab == 1 ? kSaveFileDetailsQuestion : kSaveTagDetailsQuestion)) {
            EditPlayList->setFocus();
            saveDetailsOfTab(tab);
            saved = true;
        }
    }
    if (saved)
        selectRow(chosen);
    if (!blocked() && !readOnly_)
        bDelete->setEnabled(selectedRow() >= 0);
    LoadTags();
}

void TfrmPlayList::saveDetailsOfTab(int tab) {
    tab == 1 ? bSaveTag1Click() : bSaveTag2Click();
}

int TfrmPlayList::detailRow() {
    // Asked on leaving the song, the save still goes to the song the tabs show.
    if (InSelectItem && DetailItem >= 0)
        selectRow(DetailItem);
    return readOnly_ ? -1 : selectedRow();
}

bool TfrmPlayList::takeRenamed(int row, const TDetailResult& result) {
    if (!result.message.isEmpty()) {
        fileError(result.message);
        return false;
    }
    if (!result.changed)
        return false;
    List.setCell(row, plcFileName, result.newPath);
    model_->rowChanged(row);
    ListModified = true;
    return true;
}

void TfrmPlayList::bSaveTag1Click() {
    bSaveTag[1]->setEnabled(false);
    const TSongDetails details = detailsOnTab(1);
    if (details.Artist.trimmed().isEmpty() && details.Title.trimmed().isEmpty()) {
        fileError(kNoArtistOrTitle);
        return;
    }
    const int row = detailRow();
    if (row < 0)
        return;
    takeRenamed(row, SaveFileDetails(List.cell(row, plcFileName), details));
}

void TfrmPlayList::bSaveTag2Click() {
    bSaveTag[2]->setEnabled(false);
    const int row = detailRow();
    if (row < 0)
        return;
    const TDetailResult result = SaveTagDetails(List.cell(row, plcFileName), detailsOnTab(2));
    if (!result.message.isEmpty())
        fileError(result.message);
}

} // namespace corvalin
