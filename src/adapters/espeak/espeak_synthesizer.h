#pragma once

#include "core/ports/speech_synthesizer.h"

namespace ostrelle {

// SpeechSynthesizer on espeak-ng, which speaks about a hundred languages with no model to download.
// espeak-ng keeps one state for the whole process: every synthesizer shares it, one call at a time, from
// any thread.
class EspeakSynthesizer final : public SpeechSynthesizer {
public:
    Result<std::vector<float>> Speak(const QString& text, const QString& voice) override;

    struct Words {
        std::vector<float> samples;
        std::vector<double> starts;  // seconds into samples at which each word of the text sets in
    };
    // Speak, with where each word starts.
    Result<Words> SpeakWords(const QString& text, const QString& voice);
};

}  // namespace ostrelle
