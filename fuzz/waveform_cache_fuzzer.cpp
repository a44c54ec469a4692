// Waveform cache entries: any bytes are refused or read within bounds, and an entry written from any
// peaks reads back to them.
#include "core/formats/waveform_cache.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ostrelle::AudioFileIdentity audio{QStringLiteral("/课文/a.mp3"), 1234, 5678};
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (const std::optional<ostrelle::WaveformPeaks> read = ostrelle::WaveformCache::Decode(bytes, audio))
        FUZZ_CHECK(read->min.size() == read->max.size());

    ostrelle::WaveformPeaks peaks;
    for (size_t i = 0; i < size; ++i) {
        const float value = static_cast<float>(static_cast<int8_t>(data[i])) / 128.0f;
        peaks.min.push_back(-std::fabs(value));
        peaks.max.push_back(value);
    }
    peaks.durationMs = static_cast<qint64>(size) * 5;
    const std::optional<ostrelle::WaveformPeaks> back =
        ostrelle::WaveformCache::Decode(ostrelle::WaveformCache::Encode(audio, peaks), audio);
    FUZZ_CHECK(back && back->min.size() == peaks.min.size() && back->durationMs == peaks.durationMs);
    for (size_t i = 0; i < size; ++i) {
        FUZZ_CHECK(std::fabs(back->min[i] - peaks.min[i]) <= 1.0f / 32767);
        FUZZ_CHECK(std::fabs(back->max[i] - peaks.max[i]) <= 1.0f / 32767);
    }
    return 0;
}
