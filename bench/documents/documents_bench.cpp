// documents_bench: input megabytes per second of the RTF and Word readers on generated 5 MB Chinese
// documents (RTF: GBK \'hh escapes and \uN escapes mixed; .doc: one UTF-16 piece), median of several runs.
// The baseline, measured in the same run, is decoding the same text as a GBK plain-text file.
#include "text/rtf_reader.h"
#include "text/text_decoding.h"
#include "text/word_reader.h"
#include "word_document_builder.h"

#include <QStringEncoder>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qsizetype kDocumentBytes = 5 * 1024 * 1024;
constexpr int kRuns = 5;

const QString kSentence = QStringLiteral(
    "明月几时有？把酒问青天。不知天上宫阙，今夕是何年。我欲乘风归去，又恐琼楼玉宇，高处不胜寒。"
    "学习语言需要每天练习听力，跟读录音，反复比较自己的发音。");

QByteArray Escaped(const QByteArray& gbk) {
    static const char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(gbk.size() * 4);
    for (char c : gbk) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\'";
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

// Paragraphs of the sentence: the first half as GBK \'hh pairs, the second as \uN? escapes.
QByteArray ChineseRtf(QString* expected) {
    QStringEncoder gbk("GBK");
    const qsizetype half = kSentence.size() / 2;
    QByteArray paragraph = Escaped(gbk.encode(kSentence.left(half)));
    for (QChar c : kSentence.mid(half))
        paragraph += "\\u" + QByteArray::number(static_cast<short>(c.unicode())) + '?';
    paragraph += "\\par\r\n";
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg936\\deff0{\\fonttbl{\\f0\\fnil\\fcharset134 SimSun;}}\\uc1\\f0 ";
    while (rtf.size() < kDocumentBytes) {
        rtf += paragraph;
        *expected += kSentence + QStringLiteral("\r\n");
    }
    rtf += '}';
    return rtf;
}

QByteArray ChineseDoc(QString* expected) {
    QString text;
    while (text.size() * 2 < kDocumentBytes)
        text += kSentence + u'\r';
    ostrelle::testing::WordDocumentLayout layout;
    layout.pieces.push_back({text, false});
    *expected = text;
    expected->replace(u'\r', QStringLiteral("\r\n"));
    return ostrelle::testing::BuildWordDocument(layout);
}

// Median megabytes per second of read over the input, after checking it gives the expected text once.
double MegabytesPerSecond(const QByteArray& input, const QString& expected,
                          const std::function<QString()>& read) {
    if (read() != expected) {
        std::fprintf(stderr, "documents_bench: the reader gave a different text\n");
        std::exit(1);
    }
    std::vector<double> rates;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const QString text = read();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        if (text.size() != expected.size()) std::exit(1);
        rates.push_back(input.size() / (1024.0 * 1024.0) / seconds.count());
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

}  // namespace

int main() {
    QString rtfText;
    const QByteArray rtf = ChineseRtf(&rtfText);
    QString docText;
    const QByteArray doc = ChineseDoc(&docText);
    const QByteArray gbk = QStringEncoder("GBK").encode(rtfText);

    const double baseline = MegabytesPerSecond(gbk, rtfText, [&] { return ostrelle::DecodeTextFile(gbk); });
    const double rtfRate = MegabytesPerSecond(rtf, rtfText, [&] { return ostrelle::RtfToPlainText(rtf); });
    const double docRate =
        MegabytesPerSecond(doc, docText, [&] { return ostrelle::WordToPlainText(doc).value(); });

    std::printf("baseline: GBK plain text %.1f MB decoded at %.1f MB/s\n", gbk.size() / 1048576.0, baseline);
    std::printf("rtf: %.1f MB at %.1f MB/s (%.2fx the baseline)\n", rtf.size() / 1048576.0, rtfRate,
                rtfRate / baseline);
    std::printf("doc: %.1f MB at %.1f MB/s (%.2fx the baseline)\n", doc.size() / 1048576.0, docRate,
                docRate / baseline);
    std::printf("documents rtf_mb_per_s=%.1f doc_mb_per_s=%.1f\n", rtfRate, docRate);
    return 0;
}
