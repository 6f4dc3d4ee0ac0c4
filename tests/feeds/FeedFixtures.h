#pragma once

#include <QByteArray>
#include <QLatin1Char>
#include <QString>
#include <QStringList>

namespace corvalin::test {

// A text written in UTF-8, as the station reads it.
inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

// `count` times "word", a blank between them.
inline QString words(int count) {
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("word");
    return list.join(QLatin1Char(' '));
}

// The long pause of the speech markup, which a headline's parts are joined with.
inline const QString LP = QStringLiteral("\\Pau=500\\");

} // namespace corvalin::test

// Answers written by hand after the formats' own documents: RSS 2.0 (as the RSS Advisory Board
// publishes it), Atom (RFC 4287, its first example) and wttr.in's "format=j1" JSON.
namespace corvalin::test::fixtures {

// The first item's title is CDATA, its description escaped HTML with entities; a foreign
// namespace's title comes first and must not be taken.
inline const QByteArray kRss =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<rss version=\"2.0\" xmlns:media=\"http://search.yahoo.com/mrss/\">\n"
    "  <channel>\n"
    "    <title>Corvalin Test News</title>\n"
    "    <link>http://127.0.0.1/</link>\n"
    "    <description>Top stories</description>\n"
    "    <item>\n"
    "      <media:title>Not this one</media:title>\n"
    "      <title><![CDATA[Storm & floods hit \"coast\"\n        towns]]></title>\n"
    "      <description>&lt;p&gt;Rivers rose &amp;amp; roads\n"
    "        closed&lt;/p&gt;&lt;img src=\"x.jpg\"/&gt; &#8212; more at 6</description>\n"
    "      <link>http://127.0.0.1/news/1</link>\n"
    "      <guid>http://127.0.0.1/news/1</guid>\n"
    "    </item>\n"
    "    <item>\n"
    "      <title>Second story</title>\n"
    "    </item>\n"
    "  </channel>\n"
    "</rss>\n";
inline const char* const kRssTitle = "Storm & floods hit \"coast\" towns";
// The description is HTML: its "&amp;amp;" is an ampersand.
inline const char* const kRssSummary = "Rivers rose & roads closed \u2014 more at 6";

// An ISO-8859-1 feed that says so only in its XML declaration.
inline const QByteArray kLatin1Rss = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"
                                     "<rss version=\"2.0\"><channel><item>"
                                     "<title>Caf\xE9 prices &lt; 5% &amp; rising</title>"
                                     "</item></channel></rss>";
inline const char* const kLatin1RssTitle = "Caf\u00e9 prices < 5% & rising";

inline const QByteArray kAtom =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
    "  <title>Example Feed</title>\n"
    "  <link href=\"http://example.org/\"/>\n"
    "  <updated>2003-12-13T18:30:02Z</updated>\n"
    "  <author><name>John Doe</name></author>\n"
    "  <id>urn:uuid:60a76c80-d399-11d9-b93C-0003939e0af6</id>\n"
    "  <entry>\n"
    "    <title type=\"html\">Atom-Powered &lt;em&gt;Robots&lt;/em&gt; Run Amok</title>\n"
    "    <link href=\"http://example.org/2003/12/13/atom03\"/>\n"
    "    <id>urn:uuid:1225c695-cfb8-4ebb-aaaa-80da344efa6a</id>\n"
    "    <updated>2003-12-13T18:30:02Z</updated>\n"
    "    <summary type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\">"
    "<p>Some <b>text</b>.</p></div></summary>\n"
    "  </entry>\n"
    "</feed>\n";
inline const char* const kAtomTitle = "Atom-Powered Robots Run Amok";
inline const char* const kAtomSummary = "Some text.";

inline const QByteArray kEmptyRss = "<?xml version=\"1.0\"?>\n"
                                    "<rss version=\"2.0\"><channel><title>Quiet</title>"
                                    "<link>http://127.0.0.1/</link><description>Nothing yet"
                                    "</description></channel></rss>\n";

// wttr.in's j1 answer, cut down to the parts read and a few neighbours.
inline const QByteArray kWttrJ1 = R"({
  "current_condition": [
    {
      "FeelsLikeF": "30",
      "humidity": "81",
      "temp_C": "2",
      "temp_F": "36",
      "weatherCode": "116",
      "weatherDesc": [ { "value": "Partly cloudy" } ],
      "winddir16Point": "WSW"
    }
  ],
  "nearest_area": [
    {
      "areaName": [ { "value": "Springfield" } ],
      "country": [ { "value": "United States of America" } ],
      "region": [ { "value": "Illinois" } ]
    }
  ],
  "request": [ { "query": "62701", "type": "Zipcode" } ],
  "weather": []
})";

// The same without "nearest_area".
inline const QByteArray kWttrJ1NoCity = R"({
  "current_condition": [
    { "temp_F": "-4", "weatherDesc": [ { "value": "Light snow" } ] }
  ],
  "request": [ { "query": "Nowhere", "type": "City" } ]
})";

inline const QByteArray kMalformedJson = R"({ "current_condition": [ { "temp_F": "36", } )";

} // namespace corvalin::test::fixtures
