// The recording's WAV header reader: any bytes give a reason or a header that describes sound the bytes
// really hold.
#include "adapters/gst/wav_header.h"
#include "fuzz_check.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer file(&bytes);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    ostrelle::WavHeader header;
    if (!ostrelle::ReadWavHeader(file, header).isEmpty()) return 0;
    FUZZ_CHECK(header.channels > 0 && header.sampleRate > 0 && header.byteRate > 0);
    FUZZ_CHECK(header.dataBytes > 0 && header.dataBytes <= static_cast<qint64>(size) - 20);
    FUZZ_CHECK(header.LengthMs() >= 0);
    return 0;
}
