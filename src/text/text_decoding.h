#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace ostrelle {

// The text of a plain-text file's bytes: a byte order mark (UTF-8, UTF-16 LE/BE) decides; else valid UTF-8
// is UTF-8, unless the bytes are GBK pairs too and read as everyday Chinese where UTF-8 gives rare letters
// ("学习" rather than "ѧϰ"); else the encoding uchardet detects; else GB18030. Line ends are kept exactly
// as in the bytes.
QString DecodeTextFile(const QByteArray& bytes);

// True when DecodeTextFile reads bytes without a byte order mark as UTF-8: valid UTF-8 that does not read
// better as GBK.
bool IsUtf8Text(QByteArrayView bytes);

// The QStringDecoder name for an encoding name uchardet reports; empty when there is none to use.
QByteArray DecoderNameForDetectedCharset(const QByteArray& detectedName);

}  // namespace ostrelle
