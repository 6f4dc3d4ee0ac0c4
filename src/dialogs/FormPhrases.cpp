#include "dialogs/FormPhrases.h"

#include "dialogs/FormPhraseEdit.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>

namespace corvalin {

namespace {

const QString kConfirmText = QStringLiteral("Are you sure you want to save this list of phrases?");

// Hints are written with Windows line ends; a tooltip wants plain ones.
QString hint(const char* text) {
    return QString::fromLatin1(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, int x, int y) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, 84, 28);
    b->setAutoDefault(false);
    return b;
}

} // namespace

bool StartFormPhrases(QWidget* parent, const QString& code, PhraseEditorContext& context) {
    if (!isPhraseSetCode(code) || !context.random)
        return false;
    // Guarded: the parent may go away while the editor's event loop runs.
    QPointer<TfrmPhrases> form =
        new TfrmPhrases(code, context.PhrasesFile, *context.random, parent);
    const int result = form->exec();
    delete form.data();
    if (result != QDialog::Accepted)
        return false;
    const int current = context.CurrentSlot ? context.CurrentSlot() : 0;
    if (const auto reload = PhraseSetReloadFor(code, current); reload && context.ReloadLivePhrases)
        context.ReloadLivePhrases(*reload);
    return true;
}

TfrmPhrases::TfrmPhrases(const QString& code, const QString& phrasesFile, RandomSource& random,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      editor_(code, phrasesFile, random) {
    setObjectName(QStringLiteral("frmPhrases"));
    setWindowTitle(QStringLiteral("Corvalin Radio - Phrases"));
    setFixedSize(520, 330);
    setModal(true);

    PhraseList = new QTableWidget(0, 3, this);
    PhraseList->setObjectName(QStringLiteral("PhraseList"));
    PhraseList->setGeometry(10, 10, 500, 264);
    PhraseList->setHorizontalHeaderLabels(
        {QStringLiteral("Phrase"), QStringLiteral("Played"), QStringLiteral("Order")});
    PhraseList->setShowGrid(true);
    PhraseList->setSelectionBehavior(QAbstractItemView::SelectRows);
    PhraseList->setSelectionMode(QAbstractItemView::SingleSelection);
    PhraseList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    PhraseList->setSortingEnabled(false);
    PhraseList->setWordWrap(false);
    PhraseList->verticalHeader()->hide();
    PhraseList->horizontalHeader()->setSectionsClickable(false);
    PhraseList->horizontalHeader()->setHighlightSections(false);
    // Played and Order are kept with each row but not shown.
    PhraseList->setColumnHidden(1, true);
    PhraseList->setColumnHidden(2, true);
    PhraseList->setColumnWidth(0, PhraseList->width() - 25);
    // The selection stays visible while the buttons have the focus.
    QPalette palette = PhraseList->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    PhraseList->setPalette(palette);
    connect(PhraseList, &QTableWidget::itemSelectionChanged, this,
            &TfrmPhrases::PhraseListSelectionChanged);
    connect(PhraseList, &QTableWidget::cellDoubleClicked, this, [this] { bEditClick(); });

    bAdd = makeButton(this, "bAdd", "Add", 10, 290);
    bAdd->setToolTip(hint("Take the phrase in the box \r\nand add it to the list."));
    connect(bAdd, &QPushButton::clicked, this, &TfrmPhrases::bAddClick);
    bEdit = makeButton(this, "bEdit", "Edit", 102, 290);
    bEdit->setToolTip(hint("Take the phrase in the box and\r\nuse it to replace the "
                           "highlighted\r\nphrase in the list."));
    connect(bEdit, &QPushButton::clicked, this, &TfrmPhrases::bEditClick);
    bDelete = makeButton(this, "bDelete", "Delete", 194, 290);
    bDelete->setToolTip(hint("Remove the highlighted phrase\r\nfrom the list."));
    connect(bDelete, &QPushButton::clicked, this, &TfrmPhrases::bDeleteClick);
    bOK = makeButton(this, "bOK", "OK", 334, 290);
    bOK->setDefault(true);
    bOK->setAutoDefault(true);
    connect(bOK, &QPushButton::clicked, this, &TfrmPhrases::bOKClick);
    bCancel = makeButton(this, "bCancel", "Cancel", 426, 290);
    connect(bCancel, &QPushButton::clicked, this, &TfrmPhrases::bCancelClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    AddPhrase = PopupMenu1->addAction(QStringLiteral("Add Phrase"), this, &TfrmPhrases::bAddClick);
    AddPhrase->setObjectName(QStringLiteral("AddPhrase"));
    EditPhrase =
        PopupMenu1->addAction(QStringLiteral("Edit Phrase"), this, &TfrmPhrases::bEditClick);
    EditPhrase->setObjectName(QStringLiteral("EditPhrase"));
    DeletePhrase =
        PopupMenu1->addAction(QStringLiteral("Delete Phrase"), this, &TfrmPhrases::bDeleteClick);
    DeletePhrase->setObjectName(QStringLiteral("DeletePhrase"));
    // Shown in the menu; the key itself is taken by the list (eventFilter).
    DeletePhrase->setShortcut(QKeySequence::Delete);
    PhraseList->installEventFilter(this);
    PhraseList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(PhraseList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(PhraseList->viewport()->mapToGlobal(at));
    });

    FormCreate();
}

void TfrmPhrases::FormCreate() {
    editor_.load();
    refresh();
}

void TfrmPhrases::refresh() {
    refreshing_ = true;
    const TPhraseList& list = editor_.list();
    PhraseList->setRowCount(list.size());
    for (int row = 0; row < list.size(); ++row) {
        const TPhraseEntry& e = list.entry(row);
        const QString columns[] = {e.Phrase, e.Played, e.Order};
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = PhraseList->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                PhraseList->setItem(row, column, item);
            }
            item->setText(columns[column]);
        }
    }
    PhraseList->clearSelection();
    if (editor_.selected() != TPhraseList::kNone) {
        PhraseList->setCurrentCell(editor_.selected(), 0);
        PhraseList->selectRow(editor_.selected());
        PhraseList->scrollToItem(PhraseList->item(editor_.selected(), 0));
    }
    refreshing_ = false;
}

void TfrmPhrases::PhraseListSelectionChanged() {
    if (refreshing_)
        return;
    const QList<QTableWidgetItem*> items = PhraseList->selectedItems();
    editor_.select(items.isEmpty() ? TPhraseList::kNone : items.first()->row());
}

bool TfrmPhrases::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PhraseList && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        bDeleteClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmPhrases::bAddClick() {
    QPointer<TfrmPhraseEdit> box = new TfrmPhraseEdit(this);
    box->setWindowTitle(QStringLiteral("Add a New Phrase"));
    box->EditedPhrase.clear();
    const bool ok = box->exec() == QDialog::Accepted;
    if (!box)
        return;
    const QString edited = box->EditedPhrase;
    delete box.data();
    if (ok && editor_.add(edited))
        refresh();
}

void TfrmPhrases::bEditClick() {
    bEdit->setEnabled(false);
    const auto enableEdit = qScopeGuard([this] { bEdit->setEnabled(editor_.size() > 0); });
    if (editor_.selected() == TPhraseList::kNone)
        return;
    QPointer<TfrmPhraseEdit> box = new TfrmPhraseEdit(this);
    box->setWindowTitle(QStringLiteral("Edit a Phrase"));
    box->EditedPhrase = editor_.selectedPhrase();
    box->setPhrase(box->EditedPhrase);
    const bool ok = box->exec() == QDialog::Accepted;
    if (!box)
        return;
    const QString edited = box->EditedPhrase;
    delete box.data();
    if (ok && editor_.editSelected(edited))
        refresh();
}

void TfrmPhrases::bDeleteClick() {
    if (editor_.deleteSelected())
        refresh();
}

void TfrmPhrases::bOKClick() {
    const auto answer = QMessageBox::question(this, QStringLiteral("Confirm"), kConfirmText,
                                              QMessageBox::Ok | QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;
    const FileResult saved = editor_.save();
    if (!saved) {
        // The editor stays open with its phrases, so nothing typed is lost.
        QMessageBox::critical(this, QStringLiteral("Corvalin Radio - File Error"),
                              QStringLiteral("The phrases could not be saved to\n%1\n%2")
                                  .arg(editor_.phrasesFile(), saved.error));
        return;
    }
    accept();
}

void TfrmPhrases::bCancelClick() {
    reject();
}

} // namespace corvalin
