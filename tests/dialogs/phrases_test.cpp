#include "DialogDriving.h"
#include "TestSupport.h"
#include "core/IniFile.h"
#include "dialogs/FormPhraseEdit.h"
#include "dialogs/FormPhrases.h"
#include "platform/Clock.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace corvalin;
using corvalin::test::pressKey;
using corvalin::test::whenModal;

namespace {

// A phrase file with a set of five, a set of the afternoon and the two news sets.
const QByteArray kPhraseFile = "[1a]\r\n1=One\r\n2=Two\r\n3=Three\r\n4=Four\r\n5=Five\r\n\r\n"
                               "[2c]\r\n1=Next!\r\n2=Dig this!\r\n\r\n"
                               "[5a]\r\n1=Stand by, for news!\r\n\r\n"
                               "[5b]\r\n1=That's all folks!\r\n2=And that's the way it was!\r\n";

template <typename Window> void whenWindow(std::function<void(Window*)> act) {
    whenModal([](QWidget* w) { return qobject_cast<Window*>(w) != nullptr; },
              [act = std::move(act)](QWidget* w) { act(qobject_cast<Window*>(w)); });
}

// Closes any window still open after a deadline, so a test that went wrong fails instead of
// hanging.
class ModalWatchdog {
public:
    ModalWatchdog() {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            fired_ = true;
            while (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        timer_.start(15000);
    }
    ~ModalWatchdog() { EXPECT_FALSE(fired_) << "a window did not close"; }

private:
    QTimer timer_;
    bool fired_ = false;
};

// Answers the message box with this caption with `button`, handing its text out.
void answerBox(const QString& caption, QMessageBox::StandardButton button,
               QString* text = nullptr) {
    whenModal(
        [caption](QWidget* w) {
            return qobject_cast<QMessageBox*>(w) && w->windowTitle() == caption;
        },
        [=](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (text)
                *text = box->text();
            box->button(button)->click();
        });
}

const QString kConfirm = QStringLiteral("Confirm");

// Types `text` into the single-phrase box that comes up and presses its OK (or Cancel).
void answerPhraseBox(const QString& text, bool ok = true, QString* caption = nullptr,
                     QString* shown = nullptr) {
    whenWindow<TfrmPhraseEdit>([=](TfrmPhraseEdit* box) {
        if (caption)
            *caption = box->windowTitle();
        if (shown)
            *shown = box->Memo1->toPlainText();
        box->Memo1->setPlainText(text);
        (ok ? box->bOK : box->bCancel)->click();
    });
}

QStringList shownPhrases(const TfrmPhrases& form) {
    QStringList out;
    for (int row = 0; row < form.PhraseList->rowCount(); ++row)
        out.append(form.PhraseList->item(row, 0)->text());
    return out;
}

int shownSelection(const TfrmPhrases& form) {
    const QList<QTableWidgetItem*> items = form.PhraseList->selectedItems();
    return items.isEmpty() ? -1 : items.first()->row();
}

// The values of a section, keys in file order.
QStringList section(const QString& file, const QString& name) {
    QStringList out;
    const IniFile ini = IniFile::load(file);
    for (const IniFile::Entry& e : ini.entries(name))
        out.append(e.key + QLatin1Char('=') + e.value);
    return out;
}

struct PhraseStation {
    test::TempFolder folder;
    QString file = folder.file(QStringLiteral("Phrases.dat"));
    // Order keys 3000, 1000, 4000, 2000, 0 (second draws 0): "1a" shows as Five, Two, Four,
    // One, Three.
    ScriptedRandom random{{3000, 0, 1000, 0, 4000, 0, 2000, 0, 0, 0}};
    PhraseStation() { test::writeWholeFile(file, kPhraseFile); }
};

} // namespace

TEST(PhraseRules, CleanPhraseTurnsLineBreaksIntoBlanksAndTrims) {
    struct Case {
        QString typed;
        QString stored;
    };
    const Case cases[] = {
        {QStringLiteral("  Hello there!  "), QStringLiteral("Hello there!")},
        {QStringLiteral("\t\x01Yeah!\x7f "), QStringLiteral("Yeah!")},
        {QStringLiteral("Line one\nLine two"), QStringLiteral("Line one Line two")},
        {QStringLiteral("Line one\r\nLine two"), QStringLiteral("Line one Line two")},
        {QStringLiteral("Line one\rLine two"), QStringLiteral("Line one Line two")},
        {QStringLiteral("one\n\ntwo"), QStringLiteral("one  two")},
        {QStringLiteral("one") + QChar(0x2028) + QStringLiteral("two") + QChar(0x2029) +
             QStringLiteral("three"),
         QStringLiteral("one two three")},
        {QStringLiteral("\nTrailing break\r\n"), QStringLiteral("Trailing break")},
        {QStringLiteral("Tab\tinside"), QStringLiteral("Tab\tinside")},
        {QStringLiteral("&DJName& here, on &StationIdentification&."),
         QStringLiteral("&DJName& here, on &StationIdentification&.")},
        {QStringLiteral("\\Pau=500\\ Wow"), QStringLiteral("\\Pau=500\\ Wow")},
        {QStringLiteral("   "), QString()},
        {QStringLiteral("\r\n\n"), QString()},
        {QString(), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        EXPECT_EQ(CleanPhrase(c.typed), c.stored);
    }
}

TEST(PhraseRules, SavedSetReloadsTheLiveListItBelongsTo) {
    struct Case {
        const char* code;
        int currentSlot;
        std::optional<LivePhraseList> list; // none: nothing reloaded
    };
    const Case cases[] = {
        {"5b", 1, LivePhraseList::AfterNewsPhrases},
        {"5a", 1, LivePhraseList::BeforeNewsPhrases},
        {"2c", 1, std::nullopt},
        {"1a", 1, LivePhraseList::LastSongPhrases},
        {"1b", 1, LivePhraseList::ThisIsPhrases},
        {"1c", 1, LivePhraseList::NextSongPhrases},
        {"4b", 4, LivePhraseList::ThisIsPhrases},
        {"3a", 0, std::nullopt},
        {"5b", 0, LivePhraseList::AfterNewsPhrases},
        {"1d", 1, std::nullopt},
        {"6a", 1, std::nullopt},
        {"5c", 1, std::nullopt},
        {"1", 1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.code) + " in slot " + std::to_string(c.currentSlot));
        const auto reload = PhraseSetReloadFor(QString::fromLatin1(c.code), c.currentSlot);
        ASSERT_EQ(reload.has_value(), c.list.has_value());
        if (!reload)
            continue;
        EXPECT_EQ(reload->list, *c.list);
        EXPECT_EQ(reload->slot, c.code[0] - '0');
        EXPECT_EQ(reload->letter, QLatin1Char(c.code[1]));
    }
}

TEST(PhraseRules, ReloadFillsTheNamedLiveListFromTheFile) {
    PhraseStation st;
    TPhrases phrases(st.random, st.file);
    TLivePhraseLists lists;
    const auto reload = PhraseSetReloadFor(QStringLiteral("5b"), 1);
    ASSERT_TRUE(reload);
    phrases.LoadPhrases(reload->slot, reload->letter, livePhraseList(lists, reload->list));
    EXPECT_EQ(lists.AfterNewsPhrases.size(), 2);
    EXPECT_TRUE(lists.BeforeNewsPhrases.isEmpty());
    EXPECT_TRUE(lists.LastSongPhrases.isEmpty());
}

TEST(PhraseRules, SaveReplacesTheWholeSectionAndKeepsTheOthers) {
    PhraseStation st;
    ASSERT_TRUE(SavePhraseSet(
        st.file, QStringLiteral("1a"),
        {QStringLiteral("Alpha"), QStringLiteral("Beta"), QStringLiteral("Gamma &DJName&")}));
    EXPECT_EQ(section(st.file, QStringLiteral("1a")),
              QStringList({QStringLiteral("1=Alpha"), QStringLiteral("2=Beta"),
                           QStringLiteral("3=Gamma &DJName&")}))
        << "keys 4 and 5 went with the erased section";
    const IniFile ini = IniFile::load(st.file);
    EXPECT_EQ(ini.sectionNames(), QStringList({QStringLiteral("2c"), QStringLiteral("5a"),
                                               QStringLiteral("5b"), QStringLiteral("1a")}))
        << "the rewritten set stands at the end";
    EXPECT_EQ(section(st.file, QStringLiteral("5b")),
              QStringList({QStringLiteral("1=That's all folks!"),
                           QStringLiteral("2=And that's the way it was!")}));

    // An empty list leaves the set erased: the DJ has no phrases of it.
    ASSERT_TRUE(SavePhraseSet(st.file, QStringLiteral("2c"), {}));
    EXPECT_FALSE(IniFile::load(st.file).hasSection(QStringLiteral("2c")));
    TPhrases phrases(st.random, st.file);
    TPhraseList list;
    phrases.LoadPhrases(2, QLatin1Char('c'), list);
    EXPECT_TRUE(list.isEmpty());

    // A new set in a file that has none yet.
    ASSERT_TRUE(SavePhraseSet(st.file, QStringLiteral("3b"), {QStringLiteral("Hi")}));
    EXPECT_EQ(section(st.file, QStringLiteral("3b")), QStringList({QStringLiteral("1=Hi")}));
}

TEST(PhraseRules, FailedSaveNamesTheFileAndWritesNothing) {
    test::TempFolder folder;
    test::writeWholeFile(folder.file(QStringLiteral("plain")), "not a folder");
    struct Case {
        QString file;
        const char* reason;
    };
    const Case cases[] = {
        {folder.file(QStringLiteral("missing/Phrases.dat")), "No such file or directory"},
        {folder.file(QStringLiteral("plain/Phrases.dat")), "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const FileResult result = SavePhraseSet(c.file, QStringLiteral("1a"), {"One"});
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.error.contains(c.file)) << result.error.toStdString();
        EXPECT_TRUE(result.error.contains(QString::fromLatin1(c.reason)))
            << result.error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(c.file));
    }
    EXPECT_EQ(test::readWholeFile(folder.file(QStringLiteral("plain"))), "not a folder");

    // A phrase file that cannot be read is not replaced by one that holds only this set.
    const QString unreadable = folder.file(QStringLiteral("Phrases.dat"));
    ASSERT_TRUE(QDir().mkdir(unreadable));
    const FileResult result = SavePhraseSet(unreadable, QStringLiteral("1a"), {"One"});
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(unreadable)) << result.error.toStdString();
    EXPECT_TRUE(QFileInfo(unreadable).isDir());
}

TEST(PhraseSetEditor, LoadsTheSetInItsRandomOrderWithTheFirstSelected) {
    PhraseStation st;
    PhraseSetEditor editor(QStringLiteral("1a"), st.file, st.random);
    editor.load();
    EXPECT_EQ(editor.phrases(),
              QStringList({QStringLiteral("Five"), QStringLiteral("Two"), QStringLiteral("Four"),
                           QStringLiteral("One"), QStringLiteral("Three")}));
    EXPECT_EQ(editor.selected(), 0);
    for (const TPhraseEntry& e : editor.list().entries())
        EXPECT_EQ(e.Played, QStringLiteral("F"));
    EXPECT_EQ(editor.list().entry(0).Order, QStringLiteral("0000"));
    EXPECT_EQ(editor.list().entry(4).Order, QStringLiteral("4000"));

    PhraseSetEditor empty(QStringLiteral("3c"), st.file, st.random);
    empty.load();
    EXPECT_EQ(empty.size(), 0);
    EXPECT_EQ(empty.selected(), TPhraseList::kNone);
}

// The editing rules as the operator meets them, each ending in a save.
TEST(PhraseSetEditor, EditsAndSavesAsTheOperatorExpects) {
    using Steps = std::function<void(PhraseSetEditor&)>;
    struct Case {
        const char* name;
        Steps steps;
        QStringList saved; // the set's values after the save, keys 1..N
        int selected;      // the selection after the steps
    };
    const Case cases[] = {
        {"unchanged: the order shown",
         [](PhraseSetEditor&) {},
         {"Five", "Two", "Four", "One", "Three"},
         0},
        {"three phrases left: keys 1 to 3 only",
         [](PhraseSetEditor& e) {
             e.deleteSelected();
             e.deleteSelected();
         },
         {"Four", "One", "Three"},
         0},
        {"every phrase deleted",
         [](PhraseSetEditor& e) {
             while (e.deleteSelected()) {
             }
         },
         {},
         TPhraseList::kNone},
        {"the third of five deleted selects the first",
         [](PhraseSetEditor& e) {
             e.select(2);
             EXPECT_TRUE(e.deleteSelected());
         },
         {"Five", "Two", "One", "Three"},
         0},
        {"added last and selected, trimmed",
         [](PhraseSetEditor& e) { EXPECT_TRUE(e.add(QStringLiteral("  Spin it again!  "))); },
         {"Five", "Two", "Four", "One", "Three", "Spin it again!"},
         5},
        {"only blanks add nothing",
         [](PhraseSetEditor& e) { EXPECT_FALSE(e.add(QStringLiteral(" \t "))); },
         {"Five", "Two", "Four", "One", "Three"},
         0},
        {"edited in place",
         [](PhraseSetEditor& e) {
             e.select(1);
             EXPECT_TRUE(e.editSelected(QStringLiteral("&DJName& here!")));
         },
         {"Five", "&DJName& here!", "Four", "One", "Three"},
         1},
        {"edited to blanks keeps the old text",
         [](PhraseSetEditor& e) {
             e.select(3);
             EXPECT_FALSE(e.editSelected(QStringLiteral("   ")));
         },
         {"Five", "Two", "Four", "One", "Three"},
         3},
        {"a pasted line break becomes a blank",
         [](PhraseSetEditor& e) { e.add(QStringLiteral("Good morning,\r\nearly birds!")); },
         {"Five", "Two", "Four", "One", "Three", "Good morning, early birds!"},
         5},
        {"nothing selected: edit and delete do nothing",
         [](PhraseSetEditor& e) {
             e.select(TPhraseList::kNone);
             EXPECT_FALSE(e.editSelected(QStringLiteral("X")));
             EXPECT_FALSE(e.deleteSelected());
         },
         {"Five", "Two", "Four", "One", "Three"},
         TPhraseList::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhraseStation st;
        PhraseSetEditor editor(QStringLiteral("1a"), st.file, st.random);
        editor.load();
        c.steps(editor);
        EXPECT_EQ(editor.selected(), c.selected);
        ASSERT_TRUE(editor.save());
        QStringList expected;
        for (qsizetype i = 0; i < c.saved.size(); ++i)
            expected.append(QString::number(i + 1) + QLatin1Char('=') + c.saved.at(i));
        EXPECT_EQ(section(st.file, QStringLiteral("1a")), expected);
        EXPECT_EQ(IniFile::load(st.file).hasSection(QStringLiteral("1a")), !c.saved.isEmpty());
        EXPECT_EQ(section(st.file, QStringLiteral("2c")),
                  QStringList({QStringLiteral("1=Next!"), QStringLiteral("2=Dig this!")}));
    }
}

TEST(PhraseEditorWindows, LookAsTheOperatorExpects) {
    PhraseStation st;
    TfrmPhrases form(QStringLiteral("1a"), st.file, st.random);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Corvalin Radio - Phrases"));
    EXPECT_EQ(form.bAdd->text(), QStringLiteral("Add"));
    EXPECT_EQ(form.bEdit->text(), QStringLiteral("Edit"));
    EXPECT_EQ(form.bDelete->text(), QStringLiteral("Delete"));
    EXPECT_EQ(form.bOK->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.bCancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(form.bOK->isDefault());
    EXPECT_EQ(form.bAdd->toolTip(),
              QStringLiteral("Take the phrase in the box \nand add it to the list."));
    EXPECT_EQ(form.bDelete->toolTip(),
              QStringLiteral("Remove the highlighted phrase\nfrom the list."));
    EXPECT_EQ(form.PhraseList->columnCount(), 3);
    EXPECT_EQ(form.PhraseList->horizontalHeaderItem(0)->text(), QStringLiteral("Phrase"));
    EXPECT_FALSE(form.PhraseList->isColumnHidden(0));
    EXPECT_TRUE(form.PhraseList->isColumnHidden(1));
    EXPECT_TRUE(form.PhraseList->isColumnHidden(2));
    EXPECT_EQ(form.PhraseList->columnWidth(0), form.PhraseList->width() - 25);
    EXPECT_TRUE(form.PhraseList->showGrid());
    EXPECT_EQ(form.PhraseList->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(shownPhrases(form),
              QStringList({QStringLiteral("Five"), QStringLiteral("Two"), QStringLiteral("Four"),
                           QStringLiteral("One"), QStringLiteral("Three")}));
    EXPECT_EQ(form.PhraseList->item(0, 1)->text(), QStringLiteral("F"));
    EXPECT_EQ(form.PhraseList->item(0, 2)->text(), QStringLiteral("0000"));
    EXPECT_EQ(shownSelection(form), 0);
    const QList<QAction*> menu = form.PopupMenu1->actions();
    ASSERT_EQ(menu.size(), 3);
    EXPECT_EQ(menu[0]->text(), QStringLiteral("Add Phrase"));
    EXPECT_EQ(menu[1]->text(), QStringLiteral("Edit Phrase"));
    EXPECT_EQ(menu[2]->text(), QStringLiteral("Delete Phrase"));
    EXPECT_EQ(menu[2]->shortcut(), QKeySequence(QKeySequence::Delete));

    TfrmPhraseEdit box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("Edit Phrase"));
    EXPECT_TRUE(box.Memo1->toPlainText().isEmpty());
    EXPECT_TRUE(box.bOK->isDefault());
    EXPECT_EQ(box.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(PhraseEditorWindows, EnterInTheBoxPressesOkAndPastedBreaksBecomeBlanks) {
    ModalWatchdog watchdog;
    TfrmPhraseEdit box;
    QTimer::singleShot(0, &box, [&] {
        box.Memo1->setPlainText(QStringLiteral("  Rise and shine,\nsleepy heads! "));
        pressKey(box.Memo1, Qt::Key_Return);
    });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_EQ(box.EditedPhrase, QStringLiteral("Rise and shine, sleepy heads!"));

    TfrmPhraseEdit cancelled;
    QTimer::singleShot(0, &cancelled, [&] {
        cancelled.Memo1->setPlainText(QStringLiteral("Never mind"));
        pressKey(cancelled.Memo1, Qt::Key_Escape);
    });
    EXPECT_EQ(cancelled.exec(), QDialog::Rejected);
}

TEST(PhraseEditorWindows, AddEditAndDeleteThroughTheWindow) {
    ModalWatchdog watchdog;
    PhraseStation st;
    TfrmPhrases form(QStringLiteral("1a"), st.file, st.random);
    form.show();

    QString caption;
    QString shown;
    answerPhraseBox(QStringLiteral("  New one "), true, &caption, &shown);
    form.bAdd->click();
    EXPECT_EQ(caption, QStringLiteral("Add a New Phrase"));
    EXPECT_TRUE(shown.isEmpty());
    EXPECT_EQ(shownPhrases(form).last(), QStringLiteral("New one"));
    EXPECT_EQ(shownSelection(form), 5);

    answerPhraseBox(QStringLiteral("   "));
    form.AddPhrase->trigger();
    EXPECT_EQ(form.PhraseList->rowCount(), 6) << "a blank phrase adds nothing";

    answerPhraseBox(QStringLiteral("Something else"), false);
    form.bAdd->click();
    EXPECT_EQ(form.PhraseList->rowCount(), 6) << "Cancel adds nothing";

    // Double click on the second row edits it, starting from its text.
    form.PhraseList->selectRow(1);
    answerPhraseBox(QStringLiteral("Deux\nmots"), true, &caption, &shown);
    const QRect cell = form.PhraseList->visualItemRect(form.PhraseList->item(1, 0));
    const QPoint global = form.PhraseList->viewport()->mapToGlobal(cell.center());
    // A double click arrives after the press and release of its first click.
    for (const QEvent::Type type :
         {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent click(type, cell.center(), global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(form.PhraseList->viewport(), &click);
    }
    EXPECT_EQ(caption, QStringLiteral("Edit a Phrase"));
    EXPECT_EQ(shown, QStringLiteral("Two"));
    EXPECT_EQ(shownPhrases(form).at(1), QStringLiteral("Deux mots"));
    EXPECT_TRUE(form.bEdit->isEnabled());

    // Editing to blanks keeps the phrase.
    answerPhraseBox(QStringLiteral(" "));
    form.EditPhrase->trigger();
    EXPECT_EQ(shownPhrases(form).at(1), QStringLiteral("Deux mots"));

    // Del in the list deletes the selected phrase; the first one is then selected.
    form.PhraseList->selectRow(2);
    form.PhraseList->setFocus();
    form.activateWindow();
    pressKey(form.PhraseList, Qt::Key_Delete);
    EXPECT_EQ(shownPhrases(form), QStringList({QStringLiteral("Five"), QStringLiteral("Deux mots"),
                                               QStringLiteral("One"), QStringLiteral("Three"),
                                               QStringLiteral("New one")}));
    EXPECT_EQ(shownSelection(form), 0);

    while (form.PhraseList->rowCount() > 0)
        form.bDelete->click();
    form.bEdit->click(); // nothing selected: no box, and Edit goes off with the empty list
    EXPECT_FALSE(form.bEdit->isEnabled());
    EXPECT_EQ(test::readWholeFile(st.file), kPhraseFile) << "nothing is written before OK";
}

TEST(PhraseEditorWindows, SaveAsksFirstAndWritesTheSetInItsShownOrder) {
    ModalWatchdog watchdog;
    PhraseStation st;
    TfrmPhrases form(QStringLiteral("1a"), st.file, st.random);
    form.show();
    form.bDelete->click(); // Five

    // Cancel to the question keeps the editor open with its changes.
    QString text;
    answerBox(kConfirm, QMessageBox::Cancel, &text);
    form.bOK->click();
    EXPECT_EQ(text, QStringLiteral("Are you sure you want to save this list of phrases?"));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.PhraseList->rowCount(), 4);
    EXPECT_EQ(test::readWholeFile(st.file), kPhraseFile);

    answerBox(kConfirm, QMessageBox::Ok);
    form.bOK->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(section(st.file, QStringLiteral("1a")),
              QStringList({QStringLiteral("1=Two"), QStringLiteral("2=Four"),
                           QStringLiteral("3=One"), QStringLiteral("4=Three")}));
}

TEST(PhraseEditorWindows, FailedSaveShowsTheReasonAndKeepsTheEditorOpen) {
    ModalWatchdog watchdog;
    PhraseStation st;
    const QString file = st.folder.file(QStringLiteral("gone/Phrases.dat"));
    TfrmPhrases form(QStringLiteral("1a"), file, st.random);
    form.show();
    answerPhraseBox(QStringLiteral("Keep me"));
    form.bAdd->click();

    QString text;
    answerBox(kConfirm, QMessageBox::Ok);
    answerBox(QStringLiteral("Corvalin Radio - File Error"), QMessageBox::Ok, &text);
    form.bOK->click();
    ASSERT_FALSE(text.isEmpty()) << "no error box";
    EXPECT_TRUE(text.contains(file)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("No such file or directory"))) << text.toStdString();
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(shownPhrases(form), QStringList({QStringLiteral("Keep me")}));
    EXPECT_FALSE(QFileInfo::exists(file));
}

// StartFormPhrases as the Radio Manager's phrase buttons call it.
TEST(StartFormPhrases, SavedSetIsReloadedWhenItIsLiveAndCancelWritesNothing) {
    struct Case {
        const char* code;
        int currentSlot;
        bool save;
        std::optional<LivePhraseList> reloaded;
    };
    const Case cases[] = {
        {"5b", 1, true, LivePhraseList::AfterNewsPhrases},
        {"2c", 1, true, std::nullopt},
        {"2c", 2, true, LivePhraseList::NextSongPhrases},
        {"1a", 1, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.code) + (c.save ? " saved" : " cancelled"));
        ModalWatchdog watchdog;
        PhraseStation st;
        int currentSlot = c.currentSlot;
        std::vector<PhraseSetReload> reloads;
        PhraseEditorContext context{st.file, &st.random, [&] { return currentSlot; },
                                    [&](const PhraseSetReload& r) { reloads.push_back(r); }};
        QStringList shown;
        whenWindow<TfrmPhrases>([&](TfrmPhrases* form) {
            EXPECT_EQ(shownSelection(*form), form->PhraseList->rowCount() > 0 ? 0 : -1);
            answerPhraseBox(QStringLiteral("Added"));
            form->bAdd->click();
            shown = shownPhrases(*form);
            if (c.save) {
                answerBox(kConfirm, QMessageBox::Ok);
                form->bOK->click();
            } else {
                form->bCancel->click();
            }
        });
        const bool saved = StartFormPhrases(nullptr, QString::fromLatin1(c.code), context);
        EXPECT_EQ(saved, c.save);
        if (!c.save) {
            EXPECT_EQ(test::readWholeFile(st.file), kPhraseFile);
            EXPECT_TRUE(reloads.empty());
            continue;
        }
        QStringList expected;
        for (qsizetype i = 0; i < shown.size(); ++i)
            expected.append(QString::number(i + 1) + QLatin1Char('=') + shown.at(i));
        EXPECT_EQ(section(st.file, QString::fromLatin1(c.code)), expected);
        EXPECT_EQ(shown.last(), QStringLiteral("Added"));
        ASSERT_EQ(reloads.size(), c.reloaded ? 1u : 0u);
        if (c.reloaded) {
            EXPECT_EQ(reloads[0].list, *c.reloaded);
            EXPECT_EQ(reloads[0].slot, c.code[0] - '0');
            EXPECT_EQ(reloads[0].letter, QLatin1Char(c.code[1]));
        }
    }
}

TEST(StartFormPhrases, RefusesAnUnknownSetWithoutOpening) {
    PhraseStation st;
    int reloads = 0;
    PhraseEditorContext context{st.file, &st.random, [] { return 1; },
                                [&](const PhraseSetReload&) { ++reloads; }};
    for (const char* code : {"", "1", "6a", "5c", "1d", "aa"})
        EXPECT_FALSE(StartFormPhrases(nullptr, QString::fromLatin1(code), context)) << code;
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(test::readWholeFile(st.file), kPhraseFile);
}
