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

    // Appends bytes decoded in codePage to out; bytes the code page does not map become U+FFFD or vanish.
    // Bytes are decoded on their own: a lead byte at the end does not wait for the next call.
    void Append(int codePage, QByteArrayView bytes, QString& out);

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
