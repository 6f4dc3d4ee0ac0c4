#include "platform/Clock.h"
#include "voice/speech/SpeechMarkup.h"

#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace corvalin {
namespace {

QByteArray body(const QByteArray& tagged) {
    QByteArray s = taggedTextToSsml(tagged).ssml;
    EXPECT_TRUE(s.startsWith("<speak>") && s.endsWith("</speak>")) << s.constData();
    return s.mid(7, s.size() - 15);
}

struct MarkupCase {
    const char* tagged;
    const char* ssml;
};

TEST(SpeechMarkup, TagsBecomeSsmlAndTextIsEscaped) {
    const MarkupCase cases[] = {
        {"Hello\\Pau=500\\ world", "Hello<break time=\"500ms\"/> world"},
        {"\\pau=250\\x", "<break time=\"250ms\"/>x"},
        {"\\Pau=3600000\\", "<break time=\"10000ms\"/>"},
        {"\\Pau=99999999999999999999999\\", "<break time=\"10000ms\"/>"},
        {"\\Emp\\ big news", " <emphasis>big</emphasis> news"},
        {"\\Emp\\big\\Pau=1\\", "<emphasis>big</emphasis><break time=\"1ms\"/>"},
        {"at \\Mrk=700\\Next", "at <mark name=\"700\"/>Next"},
        {"Done. \\Mrk=700\\Next", "Done. <break time=\"0ms\"/><mark name=\"700\"/>Next"},
        {"Done.\\Pau=500\\\\Mrk=700\\", "Done.<break time=\"500ms\"/><mark name=\"700\"/>"},
        {"\\Mrk=700\\", "<mark name=\"700\"/>"},
        {"a\\Vol=5\\b\\Spd=200\\ \\Pau=x\\\\Mrk=\\\\Emp=1\\c", "ab c"},
        {"Tom & Jerry <3 \"Hi\" 'yo' >",
         "Tom &amp; Jerry &lt;3 &quot;Hi&quot; &apos;yo&apos; &gt;"},
        {"</speak><mark name=\"1\"/>", "&lt;/speak&gt;&lt;mark name=&quot;1&quot;/&gt;"},
        {"AC\\DC rocks", "AC DC rocks"},
        {"a\x01\x7f"
         "b\xff"
         "c",
         "a  b c"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(body(c.tagged), QByteArray(c.ssml)) << c.tagged;
    }
}

// The index of the first code point of `needle` in the SSML, as espeak-ng counts (1-based).
int espeakPosition(const QByteArray& ssml, const QByteArray& needle) {
    const int byteIndex = int(ssml.indexOf(needle));
    EXPECT_GE(byteIndex, 0) << needle.constData();
    return int(QString::fromUtf8(ssml.left(byteIndex)).toUcs4().size()) + 1;
}

TEST(SpeechMarkup, PositionsLeadBackToTheWordInTheTaggedText) {
    const QByteArray tagged = "\\Pau=500\\Caf\xc3\xa9 \\Emp\\ n\xc3\xbc"
                              "ber & \"Blue\" \\Mrk=700\\end";
    const SpeechMarkup m = taggedTextToSsml(tagged);
    EXPECT_EQ(m.taggedLength, tagged.size());
    EXPECT_EQ(m.taggedOffsets.size(), std::size_t(QString::fromUtf8(m.ssml).toUcs4().size()));
    const struct {
        QByteArray inSsml;
        int skip; // espeak-ng sometimes reports a position inside the word
        QByteArray inTagged;
    } words[] = {
        {"Caf", 0, "Caf"},       {"Caf", 2, "Caf"},  {"n\xc3\xbc", 0, "n\xc3\xbc"},
        {"ber", 0, "n\xc3\xbc"}, {"&amp;", 4, "& "}, {"&quot;Blue", 7, "\"Blue"},
        {"end", 1, "end"},
    };
    for (const auto& w : words) {
        EXPECT_EQ(m.taggedOffsetForPosition(espeakPosition(m.ssml, w.inSsml) + w.skip),
                  tagged.indexOf(w.inTagged))
            << w.inSsml.constData();
    }
    EXPECT_EQ(m.taggedOffsetForPosition(0), 0);
    EXPECT_EQ(m.taggedOffsetForPosition(1 << 30), tagged.size());
}

TEST(SpeechMarkup, AnyInputGivesWellFormedSsmlAndARisingMap) {
    const char* pieces[] = {"\\",
                            "Pau=",
                            "Mrk=",
                            "Emp",
                            "=",
                            "12",
                            "<",
                            ">",
                            "&",
                            "\"",
                            "'",
                            " ",
                            ".",
                            "a",
                            "\xc3",
                            "\xa9",
                            "\xf0\x9f\x8e\xb5",
                            "\x01",
                            "]]>"};
    StandardRandom random(7);
    for (int round = 0; round < 400; ++round) {
        QByteArray tagged;
        const int n = random.below(30);
        for (int i = 0; i < n; ++i) {
            tagged += pieces[random.below(int(std::size(pieces)))];
        }
        const SpeechMarkup m = taggedTextToSsml(tagged);
        QXmlStreamReader xml(m.ssml);
        int elements = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement) {
                ++elements;
                const auto name = xml.name();
                EXPECT_TRUE(name == u"speak" || name == u"break" || name == u"mark" ||
                            name == u"emphasis")
                    << tagged.toHex().constData();
            }
        }
        EXPECT_FALSE(xml.hasError()) << tagged.toHex().constData() << " " << m.ssml.constData();
        EXPECT_GE(elements, 1);
        ASSERT_EQ(m.taggedOffsets.size(), std::size_t(QString::fromUtf8(m.ssml).toUcs4().size()));
        for (std::size_t i = 1; i < m.taggedOffsets.size(); ++i) {
            ASSERT_LE(m.taggedOffsets[i - 1], m.taggedOffsets[i]) << tagged.toHex().constData();
        }
        EXPECT_LE(m.taggedOffsets.back(), tagged.size());
    }
}

} // namespace
} // namespace corvalin
