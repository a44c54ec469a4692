#include "text/text_decoding.h"

#include <QStringDecoder>

#include <uchardet.h>

#include <algorithm>
#include <memory>

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

QString DecodeTextFile(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(QByteArrayView(bytes).sliced(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(QByteArrayView(bytes).sliced(2));

    DecodedText utf8 = Decode("UTF-8", bytes);
    if (utf8.clean) return utf8.text;

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
