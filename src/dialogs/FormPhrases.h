#pragma once

#include "dialogs/PhraseSetEditor.h"

#include <QDialog>

class QAction;
class QMenu;
class QPushButton;
class QTableWidget;

namespace corvalin {

// Opens the phrase editor on set `code` ("1a".."4c", "5a", "5b") of context.PhrasesFile. When the
// operator saved the set, reloads the live list it belongs to (PhraseSetReloadFor) through
// context.ReloadLivePhrases and returns true; otherwise nothing was written and it returns false.
// Window thread only.
bool StartFormPhrases(QWidget* parent, const QString& code, PhraseEditorContext& context);

// The set editor: one phrase set shown in a random order, with Add, Edit and Delete; OK asks for a
// confirmation and writes the whole set. A view over PhraseSetEditor. Window thread only.
class TfrmPhrases : public QDialog {
    Q_OBJECT
public:
    // Loads the set at once; `random` must outlive the window.
    TfrmPhrases(const QString& code, const QString& phrasesFile, RandomSource& random,
                QWidget* parent = nullptr);

    PhraseSetEditor& editor() { return editor_; }

    QTableWidget* PhraseList = nullptr;
    QPushButton* bAdd = nullptr;
    QPushButton* bEdit = nullptr;
    QPushButton* bDelete = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* AddPhrase = nullptr;
    QAction* EditPhrase = nullptr;
    QAction* DeletePhrase = nullptr;

    void bAddClick();
    void bEditClick();
    void bDeleteClick();
    void bOKClick();
    void bCancelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    // Shows the editor's entries and selection.
    void refresh();
    void PhraseListSelectionChanged();

    PhraseSetEditor editor_;
    bool refreshing_ = false;
};

} // namespace corvalin
