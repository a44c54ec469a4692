#include "text/code_page_decoder.h"

#include <QStringDecoder>

#include <array>
#include <string_view>
#include <utility>

namespace ostrelle {

struct CodePageDecoder::Entry {
    int codePage = 0;
    QStringDecoder decoder;
    bool singleByte = false;
    std::array<char16_t, 256> characters{};  // every byte of a single-byte code page
};

namespace {

constexpr char16_t kUnmapped = u'\uFFFD';

// The Symbol font's glyphs from 0x20 on, as Unicode: Greek letters, mathematical signs, arrows, the list
// bullet at 0xB7. Bytes the font leaves empty are U+FFFD.
constexpr std::u16string_view kSymbolFont =
    u" !\u2200#\u2203%&\u220B()\u2217+,\u2212./0123456789:;<=>?"
    u"\u2245\u0391\u0392\u03A7\u0394\u0395\u03A6\u0393\u0397\u0399\u03D1\u039A\u039B\u039C\u039D\u039F"
    u"\u03A0\u0398\u03A1\u03A3\u03A4\u03A5\u03C2\u03A9\u039E\u03A8\u0396[\u2234]\u22A5_"
    u"\u203E\u03B1\u03B2\u03C7\u03B4\u03B5\u03C6\u03B3\u03B7\u03B9\u03D5\u03BA\u03BB\u03BC\u03BD\u03BF"
    u"\u03C0\u03B8\u03C1\u03C3\u03C4\u03C5\u03D6\u03C9\u03BE\u03C8\u03B6{|}\u223C\uFFFD"
    u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"
    u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"
    u"\u20AC\u03D2\u2032\u2264\u2044\u221E\u0192\u2663\u2666\u2665\u2660\u2194\u2190\u2191\u2192\u2193"
    u"\u00B0\u00B1\u2033\u2265\u00D7\u221D\u2202\u2022\u00F7\u2260\u2261\u2248\u2026\u23D0\u23AF\u21B5"
    u"\u2135\u2111\u211C\u2118\u2297\u2295\u2205\u2229\u222A\u2283\u2287\u2284\u2282\u2286\u2208\u2209"
    u"\u2220\u2207\u00AE\u00A9\u2122\u220F\u221A\u22C5\u00AC\u2227\u2228\u21D4\u21D0\u21D1\u21D2\u21D3"
    u"\u25CA\u2329\u00AE\u00A9\u2122\u2211\u239B\u239C\u239D\u23A1\u23A2\u23A3\u23A7\u23A8\u23A9\u23AA"
    u"\uFFFD\u232A\u222B\u2320\u23AE\u2321\u239E\u239F\u23A0\u23A4\u23A5\u23A6\u23AB\u23AC\u23AD\uFFFD";

// The Wingdings glyphs lists and check boxes use; its other pictures have no plain-text meaning.
constexpr std::pair<unsigned char, char16_t> kWingdingsFont[] = {
    {0x22, u'\u2702'}, {0x4A, u'\u263A'}, {0x4C, u'\u2639'}, {0x6C, u'\u25CF'}, {0x6E, u'\u25A0'},
    {0x71, u'\u2751'}, {0x76, u'\u2756'}, {0xA7, u'\u25AA'}, {0xD8, u'\u27A2'}, {0xE8, u'\u2794'},
    {0xFB, u'\u2717'}, {0xFC, u'\u2713'}, {0xFD, u'\u2612'}, {0xFE, u'\u2611'},
};

constexpr size_t kMaxCodePages = 32;

}  // namespace

bool CodePageDecoder::IsMultiByte(int codePage) {
    switch (codePage) {
        case 932:
        case 936:
        case 949:
        case 950:
        case 1361:
        case 10001:
        case 10002:
        case 10003:
        case 10008:
        case 20932:
        case 20936:
        case 51932:
        case 51936:
        case 51949:
        case 54936:
        case 65000:
        case 65001:
            return true;
        default:
            return false;
    }
}

namespace {

const char* KnownName(int codePage) {
    switch (codePage) {
        case 437:
            return "IBM437";
        case 850:
            return "IBM850";
        case 852:
            return "IBM852";
        case 866:
            return "IBM866";
        case 874:
            return "windows-874";
        case 932:
            return "Shift_JIS";
        case 936:
            return "GBK";
        case 949:
            return "windows-949";
        case 950:
            return "Big5";
        case 1361:
            return "windows-949";  // Johab is not available; Korean text still reads mostly
        case 10000:
            return "macintosh";
        case 10001:
            return "Shift_JIS";
        case 10002:
            return "Big5";
        case 10003:
            return "windows-949";
        case 10006:
            return "x-mac-greek";
        case 10007:
            return "x-mac-cyrillic";
        case 10008:
            return "GBK";
        case 10029:
            return "x-mac-centraleurope";
        case 10081:
            return "x-mac-turkish";
        case 20127:
            return "US-ASCII";
        case 20866:
            return "KOI8-R";
        case 20932:
            return "EUC-JP";
        case 20936:
            return "GBK";
        case 21866:
            return "KOI8-U";
        case 51932:
            return "EUC-JP";
        case 51936:
            return "GBK";
        case 51949:
            return "EUC-KR";
        case 54936:
            return "GB18030";
        case 65001:
            return "UTF-8";
        default:
            return nullptr;
    }
}

}  // namespace

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

static_assert(kSymbolFont.size() == 0x100 - 0x20);

char16_t CodePageDecoder::SymbolCharacter(int codePage, char16_t privateUse) {
    if (privateUse < 0xF020 || privateUse > 0xF0FF) return privateUse;
    const auto byte = static_cast<unsigned char>(privateUse & 0xFF);
    if (codePage == kSymbolFontCodePage) return kSymbolFont[byte - 0x20];
    if (codePage != kWingdingsFontCodePage) return privateUse;
    for (const auto& [glyph, character] : kWingdingsFont)
        if (glyph == byte) return character;
    return kUnmapped;
}

QByteArray CodePageDecoder::DecoderName(int codePage) {
    if (const char* name = KnownName(codePage)) return name;
    if (codePage >= 1250 && codePage <= 1258) return "windows-" + QByteArray::number(codePage);
    if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + QByteArray::number(codePage - 28590);
    if (codePage > 0) {
        for (const QByteArray& name :
             {"windows-" + QByteArray::number(codePage), "cp" + QByteArray::number(codePage)})
            if (QStringDecoder(name.constData()).isValid()) return name;
    }
    return "windows-1252";
}

int CodePageDecoder::CodePageForCharset(int charset, int documentCodePage) {
    switch (charset) {
        // Mac writers label their Western fonts ANSI too while the bytes are Mac Roman.
        case 0:
            return documentCodePage == 10000 ? 10000 : 1252;
        case 2:
            return kSymbolFontCodePage;
        case 77:
            return 10000;
        case 78:
            return 10001;
        case 79:
            return 10003;
        case 80:
            return 10008;
        case 81:
            return 10002;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 254:
            return 437;
        case 255:
            return 850;
        default:
            return documentCodePage;
    }
}

std::unique_ptr<CodePageDecoder::Entry> CodePageDecoder::MakeEntry(int codePage) {
    auto entry = std::make_unique<Entry>();
    entry->codePage = codePage;
    for (int byte = 0; byte < 0x80; ++byte)
        entry->characters[byte] = static_cast<char16_t>(byte);
    if (codePage == kSymbolFontCodePage || codePage == kWingdingsFontCodePage) {
        entry->singleByte = true;
        for (int byte = 0x20; byte <= 0xFF; ++byte)
            entry->characters[byte] = codePage == kSymbolFontCodePage ? kSymbolFont[byte - 0x20] : kUnmapped;
        if (codePage == kWingdingsFontCodePage) {
            for (const auto& [byte, character] : kWingdingsFont)
                entry->characters[byte] = character;
        }
        return entry;
    }
    entry->decoder = QStringDecoder(DecoderName(codePage).constData(), QStringDecoder::Flag::Stateless);
    if (!entry->decoder.isValid())
        entry->decoder = QStringDecoder("windows-1252", QStringDecoder::Flag::Stateless);
    if (IsMultiByte(codePage)) return entry;
    entry->singleByte = true;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const char c = static_cast<char>(byte);
        const QString one = entry->decoder.decode(QByteArrayView(&c, 1));
        if (one.size() != 1) {
            entry->singleByte = false;
            break;
        }
        entry->characters[byte] = one.at(0).unicode();
    }
    return entry;
}

CodePageDecoder::Entry& CodePageDecoder::EntryFor(int codePage) {
    if (last_ && last_->codePage == codePage) return *last_;
    for (const auto& entry : entries_) {
        if (entry->codePage == codePage) {
            last_ = entry.get();
            return *last_;
        }
    }
    if (entries_.size() >= kMaxCodePages) {
        // A document naming more code pages than any real one does: the rest read as Windows-1252.
        if (!overflow_) overflow_ = MakeEntry(1252);
        return *overflow_;
    }
    entries_.push_back(MakeEntry(codePage));
    last_ = entries_.back().get();
    return *last_;
}

void CodePageDecoder::Append(int codePage, QByteArrayView bytes, QString& out) {
    if (bytes.isEmpty()) return;
    Entry& entry = EntryFor(codePage);
    if (entry.singleByte) {
        const qsizetype start = out.size();
        out.resize(start + bytes.size());
        QChar* write = out.data() + start;
        for (char c : bytes) {
            *write++ = QChar(entry.characters[static_cast<unsigned char>(c)]);
        }
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + entry.decoder.requiredSpace(bytes.size()));
    QChar* end = entry.decoder.appendToBuffer(out.data() + start, bytes);
    out.resize(end - out.constData());
}

}  // namespace ostrelle
