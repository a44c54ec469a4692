#include "text/text_decoding.h"

#include <QStringDecoder>

#include <uchardet.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace ostrelle {
namespace {

// Enough text for uchardet to be sure; it is slow on whole books.
constexpr qsizetype kDetectionSampleBytes = 256 * 1024;

struct DecodedText {
    QString text;
    bool clean = false;  // every byte sequence was valid
};

DecodedText Decode(const char* name, QByteArrayView bytes) {
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid()) return {};
    QString text = decoder.decode(bytes);  // lazy until converted: only then is hasError() known
    return {std::move(text), !decoder.hasError()};
}

QByteArray DetectCharset(QByteArrayView bytes) {
    std::unique_ptr<uchardet, void (*)(uchardet_t)> detector(uchardet_new(), uchardet_delete);
    if (!detector) return {};
    const QByteArrayView sample = bytes.first(std::min(bytes.size(), kDetectionSampleBytes));
    if (uchardet_handle_data(detector.get(), sample.data(), static_cast<size_t>(sample.size())) != 0)
        return {};
    uchardet_data_end(detector.get());
    return QByteArray(uchardet_get_charset(detector.get()));
}

// True when every 8-bit byte is half of a GB2312-range pair (both bytes 0xA1..0xFE), as Chinese text is.
// Western 8-bit text almost never is: its accented letters sit between ASCII letters.
bool LooksLikeGb2312Pairs(QByteArrayView bytes) {
    bool any = false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) continue;
        if (lead < 0xA1 || lead > 0xFE || i + 1 == bytes.size()) return false;
        const auto trail = static_cast<unsigned char>(bytes[++i]);
        if (trail < 0xA1 || trail > 0xFE) return false;
        any = true;
    }
    return any;
}

// Scores of a reading: +1 for each character its text would use every day, -1 for a rare one.

// The score of bytes read as GBK, or nothing when some 8-bit byte is not half of a GBK pair. GB2312's
// hanzi rows are everyday Chinese; pairs outside GB2312 (what UTF-8 letters fall into) are rare.
std::optional<int> GbkReadingScore(QByteArrayView bytes) {
    int score = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 == bytes.size()) return std::nullopt;
        const auto trail = static_cast<unsigned char>(bytes[++i]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return std::nullopt;
        // Rows A1..A9 hold symbols, no evidence either way.
        if (trail >= 0xA1 && lead >= 0xB0 && lead <= 0xF7) {
            ++score;
        } else if (trail < 0xA1 || lead > 0xA9) {
            --score;
        }
    }
    return score;
}

bool IsAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool IsLatinLetter(QChar c) {
    return c.unicode() >= 0xC0 && c.unicode() <= 0x24F && c.unicode() != 0xD7 && c.unicode() != 0xF7;
}

// The score of text read as UTF-8. Accented Latin letters count only inside words, as real text has them;
// historic Cyrillic, Greek symbols, IPA, Latin Extended-B and combining marks standing alone are rare.
int Utf8ReadingScore(QStringView text) {
    int score = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) continue;
        bool everyday = false;
        if (IsLatinLetter(text[i])) {
            const auto letter = [&](qsizetype at) {
                return at >= 0 && at < text.size() && (IsAsciiLetter(text[at]) || IsLatinLetter(text[at]));
            };
            everyday = c <= 0x17F && (letter(i - 1) || letter(i + 1));
        } else if (c >= 0x800) {
            everyday = (c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x9FFF) ||
                       (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xFF00 && c <= 0xFFEF);
            if (!everyday) continue;  // other scripts and symbols: no evidence
        } else {
            everyday = (c >= 0xA0 && c <= 0xBF) || (c >= 0x386 && c <= 0x3CE) || (c >= 0x400 && c <= 0x45F) ||
                       (c >= 0x531 && c <= 0x587) || (c >= 0x5D0 && c <= 0x5EA) || (c >= 0x620 && c <= 0x64A);
        }
        score += everyday ? 1 : -1;
    }
    return score;
}

// Valid UTF-8 that is also GBK: short Chinese ("学习" reads as "ѧϰ") goes to GBK only when the GBK reading
// is the more everyday text, so real UTF-8 Russian, French or Chinese stays UTF-8.
bool GbkReadsBetterThanUtf8(QByteArrayView bytes, QStringView utf8Text) {
    const std::optional<int> gbk = GbkReadingScore(bytes);
    return gbk && *gbk > Utf8ReadingScore(utf8Text);
}

bool IsSingleByteCharset(const QByteArray& name) {
    const QByteArray upper = name.toUpper();
    return upper.startsWith("WINDOWS-") || upper.startsWith("ISO-8859-") || upper.startsWith("IBM") ||
           upper.startsWith("KOI8") || upper.startsWith("MAC") || upper.startsWith("X-MAC") ||
           upper == "TIS-620" || upper == "VISCII";
}

}  // namespace

QByteArray DecoderNameForDetectedCharset(const QByteArray& detectedName) {
    const QByteArray name = detectedName.toUpper();
    if (name.isEmpty() || name == "ASCII") return {};
    // Names uchardet uses that ICU spells differently or not at all.
    if (name == "UHC") return "windows-949";
    if (name == "X-ISO-10646-UCS-4-3412" || name == "X-ISO-10646-UCS-4-2143") return {};
    if (name == "MAC-CENTRALEUROPE") return "x-mac-centraleurope";
    if (name == "MAC-CYRILLIC") return "x-mac-cyrillic";
    if (!QStringDecoder(name.constData()).isValid()) return {};
    return name;
}

bool IsUtf8Text(QByteArrayView bytes) {
    const DecodedText utf8 = Decode("UTF-8", bytes);
    return utf8.clean && !GbkReadsBetterThanUtf8(bytes, utf8.text);
}

QString DecodeTextFile(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(QByteArrayView(bytes).sliced(2));

    DecodedText utf8 = Decode("UTF-8", bytes);
    if (utf8.clean)
        return GbkReadsBetterThanUtf8(bytes, utf8.text) ? Decode("GB18030", bytes).text : utf8.text;

    const QByteArray detected = DecoderNameForDetectedCharset(DetectCharset(bytes));
    // uchardet takes short Chinese for a single-byte code page; Chinese is what our learners' files hold.
    const bool chineseAfterAll = IsSingleByteCharset(detected) && LooksLikeGb2312Pairs(bytes);
    if (!detected.isEmpty() && !chineseAfterAll) {
        // A guess that does not even decode cleanly is worse than the Chinese default.
        DecodedText guess = Decode(detected.constData(), bytes);
        if (guess.clean) return guess.text;
    }
    return Decode("GB18030", bytes).text;
}

}  // namespace ostrelle
