#include "text/plain_text_reader.h"

#include "text/file_bytes.h"
#include "text/text_decoding.h"

namespace ostrelle {

TextReadResult LoadPlainText(const QString& path) {
    const Result<QByteArray> file = ReadFileBytes(path);
    if (!file.ok()) return file.failure();
    return DecodeTextFile(file.value());
}

}  // namespace ostrelle
