#include "TestSupport.h"
#include "voice/PhraseLists.h"
#include "voice/Vocabulary.h"

#include <gtest/gtest.h>
#include <set>

using namespace corvalin;
using corvalin::test::TempFolder;

namespace {

class Phrases : public ::testing::Test {
protected:
    void writePhrases(const QByteArray& text) {
        test::writeWholeFile(folder.file(QStringLiteral("Phrases.dat")), text);
        phrases.PhrasesFile = folder.file(QStringLiteral("Phrases.dat"));
    }
    QStringList draw(TPhraseList& from, int n) {
        QStringList said;
        for (int i = 0; i < n; ++i)
            said << phrases.GetPhrase(from);
        return said;
    }

    TempFolder folder;
    StandardRandom random{12345};
    TPhrases phrases{random};
    TPhraseList list;
};

TEST_F(Phrases, LoadingStopsAtTheFirstGapAndStartsUnplayed) {
    writePhrases("[2c]\r\n1=One\r\n2=Two &DJName&\r\n4=Four\r\n");
    phrases.LoadPhrases(2, QLatin1Char('c'), list);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.cursor(), TPhraseList::kNone);
    QStringList loaded;
    for (const TPhraseEntry& e : list.entries()) {
        loaded << e.Phrase;
        EXPECT_EQ(e.Played, QStringLiteral("F"));
        EXPECT_EQ(e.Order.size(), 4);
    }
    EXPECT_LE(list.entry(0).Order, list.entry(1).Order);
    loaded.sort();
    // The macro is kept: it is expanded only when spoken.
    EXPECT_EQ(loaded, (QStringList{QStringLiteral("One"), QStringLiteral("Two &DJName&")}));
}

TEST_F(Phrases, OrderKeysAndCyclesFollowTheRandomDraws) {
    writePhrases("[1a]\r\n1=A\r\n2=B\r\n3=C\r\n");
    // Load keys: A 300+7, B 100+0, C 200+0. Next cycle, drawn in phrase order: A 0, B 50, C 10.
    ScriptedRandom scripted({300, 7, 100, 0, 200, 0, 0, 0, 50, 0, 10, 0});
    TPhrases p(scripted, phrases.PhrasesFile);
    p.LoadPhrases(1, QLatin1Char('a'), list);
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.entry(2).Order, QStringLiteral("0307"));
    QStringList said;
    for (int i = 0; i < 6; ++i)
        said << p.GetPhrase(list);
    EXPECT_EQ(said.join(u','), QStringLiteral("B,C,A,A,C,B"));
    EXPECT_EQ(scripted.draws(), 12);
}

TEST_F(Phrases, EveryPhraseOncePerCycleInChangingOrders) {
    writePhrases("[3b]\r\n1=A\r\n2=B\r\n3=C\r\n");
    phrases.LoadPhrases(3, QLatin1Char('b'), list);
    std::set<QString> orders;
    for (int cycle = 0; cycle < 50; ++cycle) {
        QStringList said = draw(list, 3);
        orders.insert(said.join(u','));
        said.sort();
        ASSERT_EQ(said.join(u','), QStringLiteral("A,B,C")) << "cycle " << cycle;
    }
    EXPECT_GT(orders.size(), 1u);
}

TEST_F(Phrases, OnePhraseIsSaidEveryTime) {
    writePhrases("[4c]\r\n1=Only\r\n");
    phrases.LoadPhrases(4, QLatin1Char('c'), list);
    EXPECT_EQ(draw(list, 4).join(u','), QStringLiteral("Only,Only,Only,Only"));
}

TEST_F(Phrases, EmptySetSaysHeyAndAsksForTheSlotEachTime) {
    writePhrases("[1a]\r\n1=A\r\n");
    int reapplied = 0;
    phrases.ReapplyTimeSlot = [&] { ++reapplied; };
    phrases.LoadPhrases(5, QLatin1Char('a'), list);
    EXPECT_EQ(draw(list, 2).join(u'|'), QStringLiteral("Hey, |Hey, "));
    EXPECT_EQ(reapplied, 2);
    phrases.LoadPhrases(1, QLatin1Char('a'), list);
    EXPECT_EQ(phrases.GetPhrase(list), QStringLiteral("A"));
    EXPECT_EQ(reapplied, 2);
}

TEST_F(Phrases, ReloadMakesEveryPhraseUnplayed) {
    writePhrases("[1a]\r\n1=A\r\n2=B\r\n3=C\r\n");
    phrases.LoadPhrases(1, QLatin1Char('a'), list);
    (void)draw(list, 2);
    ASSERT_EQ(std::count_if(list.entries().begin(), list.entries().end(),
                            [](const TPhraseEntry& e) { return e.Played == QStringLiteral("T"); }),
              1);
    phrases.LoadPhrases(1, QLatin1Char('a'), list);
    EXPECT_EQ(list.cursor(), TPhraseList::kNone);
    for (const TPhraseEntry& e : list.entries())
        EXPECT_EQ(e.Played, QStringLiteral("F"));
    QStringList said = draw(list, 3);
    said.sort();
    EXPECT_EQ(said.join(u','), QStringLiteral("A,B,C"));
}

TEST_F(Phrases, SlotPhrasesFillTheFiveLists) {
    ASSERT_TRUE(builtInPhraseFile().save(folder.file(QStringLiteral("Phrases.dat"))));
    phrases.PhrasesFile = folder.file(QStringLiteral("Phrases.dat"));
    TLivePhraseLists lists;
    phrases.LoadSlotPhrases(2, lists);
    const auto phrasesOf = [](const TPhraseList& l) {
        QStringList out;
        for (const TPhraseEntry& e : l.entries())
            out << e.Phrase;
        out.sort();
        return out;
    };
    const auto sorted = [](QStringList l) {
        l.sort();
        return l;
    };
    EXPECT_EQ(phrasesOf(lists.LastSongPhrases), sorted(builtInPhraseSet(QStringLiteral("2a"))));
    EXPECT_EQ(phrasesOf(lists.ThisIsPhrases), sorted(builtInPhraseSet(QStringLiteral("2b"))));
    EXPECT_EQ(phrasesOf(lists.NextSongPhrases), sorted(builtInPhraseSet(QStringLiteral("2c"))));
    EXPECT_EQ(phrasesOf(lists.BeforeNewsPhrases), sorted(builtInPhraseSet(QStringLiteral("5a"))));
    EXPECT_EQ(phrasesOf(lists.AfterNewsPhrases), sorted(builtInPhraseSet(QStringLiteral("5b"))));
}

} // namespace
