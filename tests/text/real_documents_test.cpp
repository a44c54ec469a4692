// The documents in the shared fixtures folder, made by other programs. Expected facts come from
// PROVENANCE.md and expected.json in that folder (strings every independent tool agrees on, twins).
#include "text/document_reader.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

#ifdef OSTRELLE_REAL_FIXTURES
const QString kFixtures = QStringLiteral(OSTRELLE_REAL_FIXTURES);
#else
const QString kFixtures;
#endif

QString WithLineFeeds(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

class RealDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        if (kFixtures.isEmpty() || !QDir(kFixtures).exists()) GTEST_SKIP() << "no real fixtures folder";
    }

    static TextReadResult Load(const QString& relative) {
        return LoadDocumentText(kFixtures + u'/' + relative);
    }

    static QString Text(const QString& relative) {
        const TextReadResult result = Load(relative);
        EXPECT_TRUE(result.ok()) << relative.toStdString() << ": " << result.failure().detail.toStdString();
        return result.value();
    }

    // Each fixture's facts by its path in the folder ("doc/…").
    static QJsonObject Facts(const QString& relative) {
        QFile file(kFixtures + QStringLiteral("/expected.json"));
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QJsonArray files = QJsonDocument::fromJson(file.readAll()).object().value("files").toArray();
        for (const QJsonValue& entry : files)
            if (entry["file"].toString() == relative) return entry["facts"].toObject();
        return {};
    }

    // The one fixture of a kind whose name holds the fragment.
    static QString Named(const QString& kind, const QString& fragment) {
        const QStringList matches = Documents(kind).filter(fragment);
        EXPECT_EQ(matches.size(), 1) << fragment.toStdString();
        return matches.value(0);
    }

    static QStringList Documents(const QString& kind) {
        QStringList paths;
        for (const QString& name : QDir(kFixtures + u'/' + kind).entryList(QDir::Files, QDir::Name))
            paths << kind + u'/' + name;
        return paths;
    }
};

TEST_F(RealDocuments, EveryDocumentShowsTheStringsTheIndependentToolsFound) {
    int checked = 0;
    for (const QString& kind : {QStringLiteral("doc"), QStringLiteral("docx"), QStringLiteral("rtf"),
                                QStringLiteral("txt"), QStringLiteral("lrc")}) {
        for (const QString& path : Documents(kind)) {
            const QJsonObject facts = Facts(path);
            ASSERT_FALSE(facts.isEmpty()) << path.toStdString();
            const QString text = Text(path);
            QStringList expected;
            for (const char* key :
                 {"contains_all_tools", "contains_libreoffice", "contains_antiword_and_catdoc"})
                for (const QJsonValue& value : facts[key].toArray())
                    expected << value.toString();
            // Text in a text box is not main text: LibreOffice shows none of it and neither do we.
            if (path.contains("text-in-textbox")) expected.clear();
            // The tools' strings were compared with runs of blanks collapsed.
            const QString blanksCollapsed = text.simplified();
            for (const QString& wanted : expected)
                EXPECT_TRUE(blanksCollapsed.contains(wanted.simplified()))
                    << path.toStdString() << " lacks " << wanted.toStdString();
            ++checked;
        }
    }
    EXPECT_EQ(checked, 19);
}

TEST_F(RealDocuments, PlainTextAndLyricsMatchTheirDecodedFacts) {
    for (const QString& path : Documents("txt") + Documents("lrc")) {
        const QJsonObject facts = Facts(path);
        const QString text = Text(path);
        EXPECT_EQ(text.size(), facts["chars"].toInt()) << path.toStdString();
        EXPECT_TRUE(text.startsWith(facts["first60"].toString())) << path.toStdString();
        EXPECT_EQ(text.endsWith(u'\n'), facts["final_newline"].toBool()) << path.toStdString();
    }
}

TEST_F(RealDocuments, GbkAndUtf8TwinsDecodeToTheSameText) {
    EXPECT_EQ(Text(Named("txt", "zh-s_gbk")), Text(Named("txt", "zh-s_utf8")));
    EXPECT_EQ(Text(Named("lrc", "lrc_gbk")), Text(Named("lrc", "lrc_basic_utf8")));
}

TEST_F(RealDocuments, LyricsAreShownRawWithTheirTimeTags) {
    EXPECT_TRUE(Text(Named("lrc", "lrc_gbk")).contains(QStringLiteral("[01:34][02:33.26]中文歌词")));
    EXPECT_TRUE(Text(Named("lrc", "with_offset")).startsWith("[al:]\n[title:]\n[offset:100]\n"));
}

TEST_F(RealDocuments, AnsiCodePage936RtfGivesTheTextStriprtfExpects) {
    EXPECT_EQ(WithLineFeeds(Text(Named("rtf", "ansicpg936"))),
              QStringLiteral(
                  "印刷情况反映：\n201-003-00155 (Multiple)\n\n市政府情况反映：\n022-021-00768 (Multiple)"));
}

TEST_F(RealDocuments, RtfStartsWithLibreOfficesFirstParagraph) {
    for (const QString& path : Documents("rtf")) {
        const QString first = Facts(path)["libreoffice"].toObject()["first_paragraph"].toString();
        EXPECT_TRUE(Text(path).trimmed().startsWith(first)) << path.toStdString();
    }
}

TEST_F(RealDocuments, CzechRtfDecodesHexEscapesWithTheFontsCodePage) {
    EXPECT_TRUE(Text(Named("rtf", "Czech")).startsWith(QStringLiteral("Článek týdne\r\n")));
}

TEST_F(RealDocuments, WordDocumentsStartWithLibreOfficesFirstParagraph) {
    for (const QString& path : Documents("doc") + Documents("docx")) {
        const QString first = Facts(path)["libreoffice"].toObject()["first_paragraph"].toString();
        EXPECT_TRUE(Text(path).trimmed().startsWith(first)) << path.toStdString();
    }
}

TEST_F(RealDocuments, TrackedChangesShowTheAcceptedText) {
    // node-word-extractor's snapshot of the body: the deletion is not part of it.
    EXPECT_EQ(WithLineFeeds(Text(Named("doc", "tracked-changes"))),
              QStringLiteral(
                  "A second test of reviewing, but with Unicode characters in to see if character offsets "
                  "get broken. \U0001F600 \u2200\n\nThis is a test of reviewing\n\nThis text has been "
                  "inserted, \u273Band should be included\n\n"));
}

TEST_F(RealDocuments, FastSavedRussianDocumentKeepsTheTextOfEveryPiece) {
    const QString text = Text(Named("doc", "fast-saved"));
    EXPECT_TRUE(text.contains(QStringLiteral("ХХХХХ")));
    EXPECT_TRUE(text.contains(QStringLiteral("УУУУУ")));  // lost by readers that ignore the piece table
}

TEST_F(RealDocuments, HeadersAndFootersAreNotPartOfTheMainText) {
    const QString text = WithLineFeeds(Text(Named("doc", "headers-footers")));
    EXPECT_TRUE(
        text.startsWith("This is a fairly simple word document, over two pages, with headers and footers.\n"
                        "The trick with this one is that it contains some Unicode based strings in it.\n"
                        "Firstly, some currency symbols:\n\tGBP - \u00A3\n\tEUR - \u20AC\n"));
    EXPECT_TRUE(text.endsWith(QStringLiteral("This is page two. Les Précieuses ridicules. The end.\n")));
}

TEST_F(RealDocuments, ChineseTableRowsBecomeTabSeparatedLines) {
    const QString text = Text(Named("doc", "headings-lists-table"));
    EXPECT_TRUE(text.contains(QStringLiteral("下面是表格3x3\r\n")));
    // LibreOffice prints each of the nine cells on a line; rows keep them together here.
    EXPECT_EQ(text.count(u'\t'), 6);
}

TEST_F(RealDocuments, TextBoxOnlyDocumentShowsNoMainText) {
    EXPECT_EQ(Facts(Named("doc", "text-in-textbox"))["libreoffice"].toObject()["paragraphs_nonempty"].toInt(),
              0);
    EXPECT_TRUE(Text(Named("doc", "text-in-textbox")).trimmed().isEmpty());
}

TEST_F(RealDocuments, DocxTwinOfADocReadsTheSame) {
    const QString docx = Named("docx", "headers-footers");
    const QString text = Text(docx);
    EXPECT_EQ(text, Text(Named("doc", "headers-footers")));
    // A line per paragraph and one for the page break, as LibreOffice prints it.
    EXPECT_EQ(text.count(QStringLiteral("\r\n")),
              Facts(docx)["libreoffice"].toObject()["paragraphs_total"].toInt());
}

TEST_F(RealDocuments, DocxTableRowsBecomeTabSeparatedLinesBetweenItsParagraphs) {
    const QString text = Text(Named("docx", "paragraphs-and-tables"));
    // textract's expected text: the paragraph, then the cells in order.
    EXPECT_TRUE(text.startsWith("This is the paragraph before the table. It should appear first.\r\n"));
    EXPECT_TRUE(text.contains("\r\nRow 1, Column 1\tRow 1, Column 2\tRow 1, Column 3\r\n"));
    EXPECT_TRUE(text.contains("\r\nInner 2,1\t"));
    EXPECT_TRUE(text.endsWith("This is the paragraph after the table. It should appear last.\r\n"));
}

}  // namespace
}  // namespace ostrelle
