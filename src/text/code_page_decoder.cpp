#include "text/code_page_decoder.h"

#include <QStringDecoder>

#include <array>

namespace ostrelle {

struct CodePageDecoder::Entry {
    int codePage = 0;
    QStringDecoder decoder;
    bool singleByte = false;
    std::array<char16_t, 128> upperHalf{};  // bytes 0x80..0xFF of a single-byte code page
};

namespace {

constexpr size_t kMaxCodePages = 32;

// Code pages whose characters take more than one byte; every other one is tried as single-byte.
bool IsMultiByte(int codePage) {
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
            return 1252;  // symbol fonts: no code page gives their glyphs; keep the bytes visible
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
        entry->upperHalf[byte - 0x80] = one.at(0).unicode();
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
            const auto byte = static_cast<unsigned char>(c);
            *write++ = byte < 0x80 ? QChar(QLatin1Char(c)) : QChar(entry.upperHalf[byte - 0x80]);
        }
        return;
    }
    const qsizetype start = out.size();
    out.resize(start + entry.decoder.requiredSpace(bytes.size()));
    QChar* end = entry.decoder.appendToBuffer(out.data() + start, bytes);
    out.resize(end - out.constData());
}

}  // namespace ostrelle
