#include "adapters/espeak/espeak_synthesizer.h"

#include <espeak-ng/speak_lib.h>

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace ostrelle {
namespace {

std::mutex& EspeakLock() {
    static std::mutex lock;
    return lock;
}

// The samples of the Speak() call under way: calls take turns under EspeakLock(), and espeak-ng's
// events do not all carry the call's user data.
std::vector<short>* gathering = nullptr;
std::vector<int>* wordsAt = nullptr;  // milliseconds into the speech

int Gather(short* wav, int count, espeak_EVENT* events) {
    if (gathering && wav && count > 0) gathering->insert(gathering->end(), wav, wav + count);
    for (; wordsAt && events && events->type != espeakEVENT_LIST_TERMINATED; ++events)
        if (events->type == espeakEVENT_WORD) wordsAt->push_back(events->audio_position);
    return 0;  // go on
}

// The rate espeak-ng speaks at, once it is set up; 0 when it cannot be.
int Initialised() {
    static const int rate = [] {
        const int r = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, 0);
        if (r > 0) espeak_SetSynthCallback(&Gather);
        return r;
    }();
    return rate;
}

// Whether espeak-ng has a voice by this name or for this language (before any "+variant", a voice
// quality espeak-ng lays over it): asked for another, it would quietly keep the voice it had.
bool HasVoice(QByteArray wanted) {
    if (const qsizetype plus = wanted.indexOf('+'); plus >= 0) wanted.truncate(plus);
    for (const espeak_VOICE** voice = espeak_ListVoices(nullptr); voice && *voice; ++voice) {
        if ((*voice)->name && wanted == (*voice)->name) return true;
        // Languages come as a priority byte, then a name, each ended by a zero; a zero priority ends them.
        for (const char* language = (*voice)->languages; language && *language;
             language += std::strlen(language + 1) + 2)
            if (wanted == language + 1) return true;
    }
    return false;
}

// From espeak-ng's rate to kSampleRate, by linear interpolation: enough for spectral features.
std::vector<float> Resampled(const std::vector<short>& samples, int rate) {
    std::vector<float> out;
    if (samples.empty() || rate <= 0) return out;
    const double step = static_cast<double>(rate) / SpeechSynthesizer::kSampleRate;
    const auto count = static_cast<std::size_t>(static_cast<double>(samples.size() - 1) / step) + 1;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double at = static_cast<double>(i) * step;
        const auto k = static_cast<std::size_t>(at);
        const double frac = at - static_cast<double>(k);
        const double next = k + 1 < samples.size() ? samples[k + 1] : samples[k];
        out.push_back(static_cast<float>(((1 - frac) * samples[k] + frac * next) / 32768.0));
    }
    return out;
}

}  // namespace

Result<std::vector<float>> EspeakSynthesizer::Speak(const QString& text, const QString& voice) {
    Result<Words> spoken = SpeakWords(text, voice);
    if (!spoken.ok()) return spoken.failure();
    return std::move(spoken.value().samples);
}

Result<EspeakSynthesizer::Words> EspeakSynthesizer::SpeakWords(const QString& text, const QString& voice) {
    const std::lock_guard lock(EspeakLock());
    const int rate = Initialised();
    if (rate <= 0) return Failure{FailureCode::NotAudio, QStringLiteral("espeak-ng could not start")};
    const QByteArray name = voice.toUtf8();
    if (!HasVoice(name) || espeak_SetVoiceByName(name.constData()) != EE_OK)
        return Failure{FailureCode::NotAudio, QStringLiteral("no espeak-ng voice ") + voice};
    const QByteArray utf8 = text.toUtf8();
    std::vector<short> samples;
    std::vector<int> words;
    gathering = &samples;
    wordsAt = &words;
    const espeak_ERROR spoken = espeak_Synth(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0,
                                             POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, nullptr);
    gathering = nullptr;
    wordsAt = nullptr;
    // The silence espeak-ng leaves around a sentence is no part of it.
    constexpr short kSilent = 64;
    const auto loud = [](short s) { return s > kSilent || s < -kSilent; };
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    if (spoken != EE_OK || first >= last)
        return Failure{FailureCode::NoSound, QStringLiteral("espeak-ng spoke nothing")};
    Words result;
    result.samples = Resampled(std::vector<short>(first, last), rate);
    const double cut = static_cast<double>(first - samples.begin()) / rate;
    for (const int at : words)
        result.starts.push_back(std::max(0.0, at / 1000.0 - cut));
    return result;
}

}  // namespace ostrelle
