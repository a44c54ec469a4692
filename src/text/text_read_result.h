#pragma once

#include <QString>

#include <utility>

namespace ostrelle {

// Why a document gave no text. The reason string says the same in words for the learner.
enum class ReadError {
    None,
    CannotOpen,          // missing, no permission, or the read failed
    NotAFile,            // a folder, FIFO or device
    TooLarge,            // over the size a text pane can sensibly show
    UnknownKind,         // an extension no reader handles
    NotWordDocument,     // a .doc that is not an OLE2 Word file (a .docx zip, say)
    UnsupportedVersion,  // Word 6/95 and older
    Encrypted,           // password-protected
    Damaged,             // streams missing, offsets or counts out of bounds
};

// The plain text of a document, or an error code with a readable reason; text is empty on error.
struct TextReadResult {
    QString text;
    ReadError code = ReadError::None;
    QString reason;

    bool ok() const { return code == ReadError::None; }

    static TextReadResult Success(QString text) { return {std::move(text), ReadError::None, {}}; }
    static TextReadResult Failure(ReadError code, QString reason) { return {{}, code, std::move(reason)}; }
};

}  // namespace ostrelle
