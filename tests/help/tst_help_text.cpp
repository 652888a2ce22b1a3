// The help's text without its windows: the folding that full-text search matches on, the decoding of help text,
// the reading of sitemaps and the paths of links. The program links only the help's core library.
#include "help/chm_sitemap.h"
#include "help/help_text.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHelpText : public QObject {
    Q_OBJECT

private slots:
    void foldingForSearch_data();
    void foldingForSearch();
    void readingSitemaps();
    void pathsOfLinks_data();
    void pathsOfLinks();
};

void TestHelpText::foldingForSearch_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("folded");
    QTest::newRow("full-width letters and digits") << u"ＡＢＣ１２３ｘ"_s << u"abc123x"_s;
    QTest::newRow("katakana to hiragana") << u"バックアップ・ヴ"_s << u"ばっくあっぷ・ゔ"_s;
    QTest::newRow("half-width katakana with sound marks") << u"ﾊﾞｯｸｱｯﾌﾟ"_s << u"ばっくあっぷ"_s;
    QTest::newRow("katakana with a combining sound mark") << u"カ\u3099"_s << u"が"_s;
    QTest::newRow("spaces go, breaks stay") << u"入 金\u3000す\u2029る"_s << u"入金す\nる"_s;
    QTest::newRow("letter case") << u"Shift_JIS"_s << u"shift_jis"_s;
    QTest::newRow("a character outside the basic plane") << u"𠮷野家"_s << u"𠮷野家"_s;
}

void TestHelpText::foldingForSearch() {
    QFETCH(QString, text);
    QFETCH(QString, folded);
    const help::FoldedText result = help::FoldForSearch(text);
    QCOMPARE(result.text, folded);
    QCOMPARE(result.begin.size(), static_cast<std::size_t>(folded.size()));
    // A match maps back onto the characters it came from.
    const QString term = folded.section(u'\n', 0, 0).right(2);
    const auto ranges = help::FindTerms(result, {term});
    QVERIFY(!ranges.empty());
    const QString original = text.mid(ranges.front().begin, ranges.front().end - ranges.front().begin);
    QCOMPARE(help::FoldForSearch(original).text, term);
}

void TestHelpText::readingSitemaps() {
    const std::string html = R"(<!-- <OBJECT type="text/sitemap"><param name="Name" value="commented"></OBJECT> -->
        <UL><LI><object TYPE='text/sitemap'><PARAM NAME=name VALUE='keyword'>
          <param name="Name" value="First page"><param name="Local" value="a.htm">
          <param name="Local" value="b.htm#x"></OBJECT>
          <UL><LI><OBJECT type="text/sitemap"><param name="Name" value="sub"><param name="See Also" value="keyword">
          </OBJECT></UL>
        <LI><OBJECT type="text/site properties"><param name="Name" value="not an entry"></OBJECT>
        <LI><OBJECT type="text/sitemap"><param name="Name" value="cut short)";
    const std::vector<SitemapEntry> entries = ParseSitemap(html);
    QCOMPARE(entries.size(), std::size_t(2));
    QCOMPARE(entries[0].depth, 0);
    QCOMPARE(entries[0].name, std::string("keyword"));
    QCOMPARE(entries[0].topics.size(), std::size_t(2));
    QCOMPARE(entries[0].topics[0].name, std::string("First page"));
    QCOMPARE(entries[0].topics[0].local, std::string("a.htm"));
    QCOMPARE(entries[0].topics[1].name, std::string());
    QCOMPARE(entries[0].topics[1].local, std::string("b.htm#x"));
    QCOMPARE(entries[1].depth, 1);
    QCOMPARE(entries[1].seeAlso, std::vector<std::string>{"keyword"});
    QVERIFY(ParseSitemap("").empty());
    QVERIFY(ParseSitemap("<OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"x").empty());

    QCOMPARE(help::UnescapeHtml(u"A &amp; B &lt;b&gt; &#12354;&#x3042; &unknown; &"_s),
             u"A & B <b> ああ &unknown; &"_s);
    QCOMPARE(help::DecodeHelpText(std::string_view("\x83\x77\x83\x8B\x83\x76"), 0x411), u"ヘルプ"_s);
    QCOMPARE(help::DecodeHelpText(std::string_view("caf\xE9"), 0x409), u"café"_s);
    QCOMPARE(help::DecodeHelpText(std::string_view("\xE3\x83\x98"), 0x409), u"ヘ"_s);
}

void TestHelpText::pathsOfLinks_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::newRow("relative") << u"page.htm"_s << u"/"_s << u"/page.htm"_s;
    QTest::newRow("in a folder") << u"page.htm#part"_s << u"/sub/"_s << u"/sub/page.htm#part"_s;
    QTest::newRow("up a folder") << u"../a/./b.htm"_s << u"/sub/"_s << u"/a/b.htm"_s;
    QTest::newRow("absolute") << u"/top.htm"_s << u"/sub/"_s << u"/top.htm"_s;
    QTest::newRow("HTML Help's form") << u"ms-its:other.chm::/x/y.htm#z"_s << u"/"_s << u"/x/y.htm#z"_s;
    QTest::newRow("backslashes") << u"dir\\page.htm"_s << u"/"_s << u"/dir/page.htm"_s;
    QTest::newRow("the web") << u"https://example.org/a.htm"_s << u"/"_s << QString();
    QTest::newRow("mail") << u"mailto:someone@example.org"_s << u"/"_s << QString();
    QTest::newRow("a fragment alone") << u"#part"_s << u"/"_s << QString();
    QTest::newRow("a folder") << u"sub/"_s << u"/"_s << QString();
    QTest::newRow("nothing") << QString() << u"/"_s << QString();
}

void TestHelpText::pathsOfLinks() {
    QFETCH(QString, link);
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QCOMPARE(QString::fromStdString(ChmLocalPath(link.toStdString(), folder.toStdString())), path);
}

QTEST_APPLESS_MAIN(TestHelpText)
#include "tst_help_text.moc"
