#include "text/plain_text_reader.h"

#include "text/file_bytes.h"
#include "text/text_decoding.h"

namespace ostrelle {

TextReadResult LoadPlainText(const QString& path) {
    FileBytes file = ReadFileBytes(path);
    if (!file.ok()) return TextReadResult::Failure(file.code, file.reason);
    return TextReadResult::Success(DecodeTextFile(file.bytes));
}

}  // namespace ostrelle
