#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

namespace ostrelle {

// Decodes bytes in the Windows code pages that RTF and Word documents name by number. A decoder is opened
// once per code page and kept; single-byte code pages go through a lookup table, which keeps long
// documents fast.
class CodePageDecoder {
public:
    CodePageDecoder();
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    // Windows' number for the Symbol font's own encoding (\fcharset2), and one of ours for the Wingdings
    // fonts; both decode bytes to the Unicode meaning of the font's glyphs.
    static constexpr int kSymbolFontCodePage = 42;
    static constexpr int kWingdingsFontCodePage = -2;

    // Appends bytes decoded in codePage to out; bytes the code page does not map become U+FFFD or vanish.
    // Bytes are decoded on their own: a lead byte at the end does not wait for the next call.
    void Append(int codePage, QByteArrayView bytes, QString& out);

    // A symbol font's glyph written as U+F020..U+F0FF (as Word writes them), as its Unicode meaning; other
    // characters, and characters of other code pages, are returned as they are.
    static char16_t SymbolCharacter(int codePage, char16_t privateUse);
    // True for code pages whose characters may take more than one byte.
    static bool IsMultiByte(int codePage);
    // The QStringDecoder name for a Windows code page number; windows-1252 for one Qt does not know.
    static QByteArray DecoderName(int codePage);
    // The code page of an RTF/Windows font charset (\fcharsetN); documentCodePage for DEFAULT_CHARSET and
    // charsets that name none.
    static int CodePageForCharset(int charset, int documentCodePage);

private:
    struct Entry;
    static std::unique_ptr<Entry> MakeEntry(int codePage);
    Entry& EntryFor(int codePage);

    std::vector<std::unique_ptr<Entry>> entries_;
    std::unique_ptr<Entry> overflow_;  // shared by code pages past the limit
    Entry* last_ = nullptr;            // documents switch code pages rarely
};

}  // namespace ostrelle
