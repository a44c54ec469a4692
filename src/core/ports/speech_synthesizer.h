#pragma once

#include "base/result.h"

#include <QString>

#include <vector>

namespace ostrelle {

// Speech made from text, to compare with a lesson that says the same.
class SpeechSynthesizer {
public:
    static constexpr int kSampleRate = 16000;

    virtual ~SpeechSynthesizer() = default;
    // The text spoken with a voice of the language (a voice name such as "en", "de", "cmn"), as mono
    // samples at kSampleRate; a failure when there is no such voice or nothing could be spoken.
    virtual Result<std::vector<float>> Speak(const QString& text, const QString& voice) = 0;
};

}  // namespace ostrelle
