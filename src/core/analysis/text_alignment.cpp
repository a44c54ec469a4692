#include "core/analysis/text_alignment.h"

#include "core/analysis/frame_alignment.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

using Frame = SpeechFeatures::Frame;
constexpr double kFrameSeconds = 0.01;
// Warped at 40 ms (an hour is 90,000 frames), after a rough warp at 400 ms.
constexpr int kCoarse = 4;
constexpr int kRough = 10;
// However the lesson's pace differs from the synthesis, the rough warp keeps within this of the straight
// line, and the fine one within kFineMarginSeconds of the rough one.
constexpr double kBandSeconds = 20;
constexpr double kFineMarginSeconds = 25;
// An edge moves this far at most to where voice sets in or falls quiet.
constexpr int kSnapFrames = 50;
// The pause put around each synthesised sentence.
constexpr int kPauseFrames = 30;
// Warp costs, against frame distances of about 5 between words and 11 between a word and silence: a
// sentence the speaker left out is passed over at kSkipCost a frame; speech the text lacks is taken by
// a pause at kGapCost a frame, rather than by the sentences beside it, whose frames each cost kBendCost
// more where the warp stretches or squeezes them.
constexpr float kSkipCost = 2;
constexpr float kGapCost = 7;
constexpr float kBendCost = 1;
// A title or a heading is often not read: passing over it costs this share of a sentence's cost.
constexpr float kHeadingSkipShare = 0.5f;
// People speak a sentence in between about 0.6 and 1.8 times espeak-ng's time for it.
constexpr double kUsualPaceLow = 0.6;
constexpr double kUsualPaceHigh = 1.8;
// Where the text may be a part of what the lesson says, the pauses before and after it take speech at
// this, less than a sentence costs that is spread over it.
constexpr float kEdgeGapCost = 3;
// A sentence squeezed below this share of its synthesis's length, against the lesson's pace overall, is
// not really spoken there.
constexpr double kMinLengthShare = 0.6;
// One spread wider than this has taken in speech the text does not have, or the pause after it.
constexpr double kMaxLengthShare = 1.5;

// Each factor frames made one, their mean.
std::vector<Frame> Coarse(const std::vector<Frame>& frames, int factor) {
    std::vector<Frame> coarse;
    const auto step = static_cast<std::size_t>(factor);
    for (std::size_t at = 0; at < frames.size(); at += step) {
        Frame mean{};
        const std::size_t end = std::min(frames.size(), at + step);
        for (std::size_t f = at; f < end; ++f)
            for (int c = 0; c < SpeechFeatures::kCoefficients; ++c)
                mean[c] += frames[f][c] / static_cast<float>(end - at);
        coarse.push_back(mean);
    }
    return coarse;
}

// The lesson frame the synthesis frame falls on, by the coarse warp.
int LessonFrameOf(const std::vector<int>& warp, int synthFrame, int lessonFrames) {
    const int coarse = std::clamp(synthFrame / kCoarse, 0, static_cast<int>(warp.size()) - 1);
    return std::clamp(warp[coarse] * kCoarse + synthFrame % kCoarse, 0, lessonFrames - 1);
}

// Voice is this far over the lesson's quiet frames.
constexpr float kVoiceOverFloorDb = 15;
// A sentence reaches on over frames this far over the floor, as far as these.
constexpr float kFadeOverFloorDb = 4;
constexpr int kFadeAfterFrames = 30;
constexpr int kFadeBeforeFrames = 10;
constexpr float kSilentDb = -100;
// The synthesis's voice: within this of its loud frames.
constexpr float kSynthesisVoiceBelowLoudDb = 50;
constexpr float kSilenceCode = 3;
// How much the level's rise and fall weighs against one cepstral coefficient.
constexpr double kLevelWeight = 4;

float VoiceThresholdDb(std::vector<float> levelsDb) {
    if (levelsDb.empty()) return 0;
    const auto at = levelsDb.begin() + static_cast<std::ptrdiff_t>(levelsDb.size() / 10);
    std::nth_element(levelsDb.begin(), at, levelsDb.end());
    return *at + kVoiceOverFloorDb;
}

// A sentence's first frame near at: where voice sets in after quiet, within reach.
int Onset(const std::vector<float>& levelsDb, float voiceDb, int at) {
    const int frames = static_cast<int>(levelsDb.size());
    at = std::clamp(at, 0, frames - 1);
    const int low = std::max(0, at - kSnapFrames), high = std::min(frames - 1, at + kSnapFrames);
    if (levelsDb[at] < voiceDb) {
        for (int f = at; f <= high; ++f)
            if (levelsDb[f] >= voiceDb) return f;
        return at;
    }
    while (at > low && levelsDb[at - 1] >= voiceDb)
        --at;
    return at;
}

// A sentence's last frame near at: where voice falls quiet, within reach.
int Offset(const std::vector<float>& levelsDb, float voiceDb, int at) {
    const int frames = static_cast<int>(levelsDb.size());
    at = std::clamp(at, 0, frames - 1);
    const int low = std::max(0, at - kSnapFrames), high = std::min(frames - 1, at + kSnapFrames);
    if (levelsDb[at] < voiceDb) {
        for (int f = at; f >= low; --f)
            if (levelsDb[f] >= voiceDb) return f;
        return at;
    }
    while (at < high && levelsDb[at + 1] >= voiceDb)
        ++at;
    return at;
}

float LoudDb(std::vector<float> levelsDb) {
    if (levelsDb.empty()) return kSilentDb;
    const auto at = levelsDb.begin() + static_cast<std::ptrdiff_t>(levelsDb.size() * 95 / 100);
    std::nth_element(levelsDb.begin(), at, levelsDb.end());
    return *at;
}

// Each coefficient of the voiced frames made of mean 0 and deviation 1, so a recording's channel weighs no
// more than a synthetic voice's; silent frames all take one code far from any of them, so that pauses are
// warped onto pauses and words onto words. The last coefficient, which tells least, gives way to the
// voiced frames' level against the loud ones: the rise and fall of syllables any speaker makes.
void NormaliseVoice(std::vector<Frame>& frames, const std::vector<bool>& silent,
                    const std::vector<float>& levelsDb) {
    const bool levelled = levelsDb.size() == frames.size();
    const float loudDb = LoudDb(levelsDb);
    for (std::size_t f = 0; levelled && f < frames.size(); ++f)
        frames[f][SpeechFeatures::kCoefficients - 1] = (levelsDb[f] - loudDb);
    for (int c = 0; c < SpeechFeatures::kCoefficients; ++c) {
        double sum = 0, squares = 0, count = 0;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            if (silent[f]) continue;
            sum += frames[f][c];
            squares += static_cast<double>(frames[f][c]) * frames[f][c];
            ++count;
        }
        const double mean = count > 0 ? sum / count : 0;
        const double deviation = count > 0 ? std::sqrt(std::max(1e-12, squares / count - mean * mean)) : 1;
        const double weight = levelled && c == SpeechFeatures::kCoefficients - 1 ? kLevelWeight : 1.0;
        for (std::size_t f = 0; f < frames.size(); ++f)
            frames[f][c] = silent[f] ? (c % 2 ? -kSilenceCode : kSilenceCode)
                                     : static_cast<float>(weight * (frames[f][c] - mean) / deviation);
    }
}

// Each sentence's stretch of the lesson by the warp, its edges where voice sets in and falls quiet, when
// its length fits the speaker's pace.
std::vector<std::optional<PlacedSentence>> PlacedByWarp(
    const PartWarp& partWarp, const std::vector<int>& partOf, const std::vector<int>& starts,
    const std::vector<int>& ends, const std::vector<SpeechFeatures::Track>& sentences,
    const std::vector<float>& lessonLevelsDb, float voiceDb, int lessonFrames) {
    std::vector<std::optional<PlacedSentence>> placed(sentences.size());
    const std::vector<int>& warp = partWarp.paired;
    const bool levelled = static_cast<int>(lessonLevelsDb.size()) == lessonFrames;
    std::vector<std::pair<int, int>> spans(sentences.size(), {0, -1});
    std::vector<double> paces;  // each sentence's length in the lesson for each frame of its synthesis
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (sentences[i].frames.empty() || partWarp.skipped[partOf[i]]) continue;
        int from = LessonFrameOf(warp, starts[i], lessonFrames);
        int to = LessonFrameOf(warp, ends[i], lessonFrames);
        if (levelled) {
            from = Onset(lessonLevelsDb, voiceDb, from);
            to = Offset(lessonLevelsDb, voiceDb, to);
            // A word's onset and its fading end lie under the voice's threshold, just over the floor.
            const float fade = voiceDb - kVoiceOverFloorDb + kFadeOverFloorDb;
            for (int n = 0; n < kFadeAfterFrames && to + 1 < lessonFrames && lessonLevelsDb[to + 1] >= fade;
                 ++n)
                ++to;
            for (int n = 0; n < kFadeBeforeFrames && from > 0 && lessonLevelsDb[from - 1] >= fade; ++n)
                --from;
        }
        spans[i] = {from, to};
        if (to > from)
            paces.push_back(static_cast<double>(to - from) / static_cast<double>(sentences[i].frames.size()));
    }
    if (paces.empty()) return placed;
    // The speaker's pace is that of most sentences: neither the lesson's length (it may say more than the
    // text) nor one sentence squeezed to nothing moves it.
    std::nth_element(paces.begin(), paces.begin() + static_cast<std::ptrdiff_t>(paces.size() / 2),
                     paces.end());
    const double pace = paces[paces.size() / 2];
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const auto [from, to] = spans[i];
        const double expected = pace * static_cast<double>(sentences[i].frames.size());
        if (to <= from || static_cast<double>(to - from) < kMinLengthShare * expected ||
            static_cast<double>(to - from) > kMaxLengthShare * expected)
            continue;
        placed[i] = PlacedSentence{from * kFrameSeconds, (to + 1) * kFrameSeconds};
    }
    // A fading end reaches no further than where the next sentence sets in.
    std::optional<PlacedSentence>* before = nullptr;
    for (std::optional<PlacedSentence>& sentence : placed) {
        if (!sentence) continue;
        if (before && (*before)->end > sentence->start)
            (*before)->end = std::max((*before)->start, sentence->start);
        before = &sentence;
    }
    return placed;
}

}  // namespace

std::vector<std::optional<PlacedSentence>> AlignSentences(const SpeechFeatures::Track& lessonTrack,
                                                          const std::vector<SpeechFeatures::Track>& sentences,
                                                          const std::vector<bool>& headings) {
    std::vector<std::optional<PlacedSentence>> placed(sentences.size());
    const std::vector<Frame>& lesson = lessonTrack.frames;
    const std::vector<float>& lessonLevelsDb = lessonTrack.levelsDb;
    // The synthesised sentences with a pause before, between and after them, so that the lesson's pauses
    // have pauses to be warped onto, not the edges of the sentences around them.
    std::vector<Frame> synthesis(kPauseFrames, Frame{});
    std::vector<float> synthesisLevelsDb(kPauseFrames, kSilentDb);
    std::vector<int> starts, ends;
    for (const SpeechFeatures::Track& sentence : sentences) {
        starts.push_back(static_cast<int>(synthesis.size()));
        synthesis.insert(synthesis.end(), sentence.frames.begin(), sentence.frames.end());
        synthesisLevelsDb.insert(synthesisLevelsDb.end(), sentence.levelsDb.begin(), sentence.levelsDb.end());
        synthesisLevelsDb.resize(synthesis.size(), kSilentDb);
        ends.push_back(static_cast<int>(synthesis.size()) - 1);
        synthesis.insert(synthesis.end(), kPauseFrames, Frame{});
        synthesisLevelsDb.resize(synthesis.size(), kSilentDb);
    }
    if (starts.empty() || lesson.empty()) return placed;

    const int lessonFrames = static_cast<int>(lesson.size());
    const bool levelled = static_cast<int>(lessonLevelsDb.size()) == lessonFrames;
    const float voiceDb = VoiceThresholdDb(lessonLevelsDb);
    std::vector<bool> lessonSilent(lesson.size(), false), synthesisSilent(synthesis.size(), false);
    for (int f = 0; levelled && f < lessonFrames; ++f)
        lessonSilent[f] = lessonLevelsDb[f] < voiceDb;
    // The synthesis is clean: its silence is far below its voice.
    const float synthesisVoiceDb = LoudDb(synthesisLevelsDb) - kSynthesisVoiceBelowLoudDb;
    for (std::size_t f = 0; f < synthesis.size(); ++f)
        synthesisSilent[f] = synthesisLevelsDb[f] < synthesisVoiceDb;
    std::vector<Frame> lessonNormal = lesson;
    NormaliseVoice(lessonNormal, lessonSilent, levelled ? lessonLevelsDb : std::vector<float>());
    NormaliseVoice(synthesis, synthesisSilent, synthesisLevelsDb);
    const std::vector<Frame> coarseLesson = Coarse(lessonNormal, kCoarse);
    const std::vector<Frame> coarseSynthesis = Coarse(synthesis, kCoarse);
    std::vector<SkippablePart> parts, roughParts;
    std::vector<int> partOf(sentences.size(), -1);
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (sentences[i].frames.empty()) continue;
        partOf[i] = static_cast<int>(parts.size());
        const float skipShare = i < headings.size() && headings[i] ? kHeadingSkipShare : 1.0f;
        parts.push_back({starts[i] / kCoarse, ends[i] / kCoarse, skipShare});
        // Only the rough frames wholly inside: the rough parts stay apart.
        roughParts.push_back(
            {(parts.back().first + kRough - 1) / kRough, (parts.back().last + 1) / kRough - 1, skipShare});
    }
    // Roughly first, within a band of the straight line: 20 s either side, and as much again as the lesson
    // and the synthesis differ in length. Then finely, within 25 s of the rough warp, which may have passed
    // over another sentence than the fine one does. The windows' widths, not the lesson's length squared,
    // set the time and the memory.
    const std::vector<Frame> roughLesson = Coarse(coarseLesson, kRough);
    const std::vector<Frame> roughSynthesis = Coarse(coarseSynthesis, kRough);
    const int roughRows = static_cast<int>(roughSynthesis.size());
    const int roughCols = static_cast<int>(roughLesson.size());
    const int band =
        static_cast<int>(kBandSeconds / (kFrameSeconds * kCoarse * kRough)) + std::abs(roughCols - roughRows);
    const int margin = static_cast<int>(kFineMarginSeconds / (kFrameSeconds * kCoarse));
    const auto place = [&](float edgeGapCost) {
        const PartCosts costs{
            .skipCost = kSkipCost, .gapCost = kGapCost, .bendCost = kBendCost, .edgeGapCost = edgeGapCost};
        const PartWarp roughWarp = AlignParts(roughSynthesis, roughLesson,
                                              StraightWindows(roughRows, roughCols, band), roughParts, costs);
        const PartWarp warp = AlignParts(
            coarseSynthesis, coarseLesson,
            WindowsAround(roughWarp.paired, roughCols, kRough, static_cast<int>(coarseSynthesis.size()),
                          static_cast<int>(coarseLesson.size()), margin),
            parts, costs);
        return PlacedByWarp(warp, partOf, starts, ends, sentences, lessonLevelsDb, voiceDb, lessonFrames);
    };
    // The text may be all the lesson says, or a part of it with much else before or after: whichever
    // places more sentences at a plausible pace is taken.
    placed = place(kGapCost);
    const std::vector<std::optional<PlacedSentence>> part = place(kEdgeGapCost);
    const auto count = [&](const std::vector<std::optional<PlacedSentence>>& found, bool atUsualPace) {
        int n = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (!found[i]) continue;
            const double share = (found[i]->end - found[i]->start) /
                                 (kFrameSeconds * static_cast<double>(sentences[i].frames.size()));
            n += !atUsualPace || (share >= kUsualPaceLow && share <= kUsualPaceHigh);
        }
        return n;
    };
    // Counted at a usual pace first: a text spread over a lesson that says much more places many
    // sentences, each at a pace of its own.
    const int usual = count(placed, true), usualPart = count(part, true);
    if (usualPart > usual || (usualPart == usual && count(part, false) >= count(placed, false)))
        placed = part;
    return placed;
}

}  // namespace ostrelle
