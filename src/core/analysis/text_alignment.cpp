#include "core/analysis/text_alignment.h"

#include "core/analysis/frame_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

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

// A stretch of the lesson in frames, [from, to]; none when to < from.
struct Span {
    int from = 0;
    int to = -1;
    bool Some() const { return to >= from; }
};

// The lesson as the sentence warp sees it, with what edges snap to.
struct LessonLevels {
    const std::vector<float>& levelsDb;
    float voiceDb = 0;
    int frames = 0;
    bool Levelled() const { return static_cast<int>(levelsDb.size()) == frames; }
};

// A word's onset and its fading end lie under the voice's threshold, just over the floor: a span reaches
// out over them.
Span Faded(Span span, const LessonLevels& lesson) {
    if (!lesson.Levelled()) return span;
    const float fade = lesson.voiceDb - kVoiceOverFloorDb + kFadeOverFloorDb;
    for (int n = 0;
         n < kFadeAfterFrames && span.to + 1 < lesson.frames && lesson.levelsDb[span.to + 1] >= fade; ++n)
        ++span.to;
    for (int n = 0; n < kFadeBeforeFrames && span.from > 0 && lesson.levelsDb[span.from - 1] >= fade; ++n)
        --span.from;
    return span;
}

// Each sentence's stretch of the lesson by the warp, its edges where voice sets in and falls quiet; none
// for one the warp passed over. Also where the warp puts each sentence's start, passed over or not.
std::vector<Span> SpansByWarp(const PartWarp& partWarp, const std::vector<int>& partOf,
                              const std::vector<int>& starts, const std::vector<int>& ends,
                              const std::vector<SpeechFeatures::Track>& sentences, const LessonLevels& lesson,
                              std::vector<int>& warpedStarts) {
    std::vector<Span> spans(sentences.size());
    warpedStarts.assign(sentences.size(), 0);
    const std::vector<int>& warp = partWarp.paired;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (sentences[i].frames.empty() || warp.empty()) continue;
        int from = LessonFrameOf(warp, starts[i], lesson.frames);
        int to = LessonFrameOf(warp, ends[i], lesson.frames);
        warpedStarts[i] = from;
        if (partWarp.skipped[partOf[i]]) continue;
        if (lesson.Levelled()) {
            from = Onset(lesson.levelsDb, lesson.voiceDb, from);
            to = Offset(lesson.levelsDb, lesson.voiceDb, to);
        }
        spans[i] = Faded({from, to}, lesson);
    }
    return spans;
}

// The speaker's pace, in lesson frames for each frame of synthesis: that of most sentences, so that neither
// the lesson's length (it may say more than the text) nor one sentence squeezed to nothing moves it.
double MedianPace(const std::vector<Span>& spans, const std::vector<SpeechFeatures::Track>& sentences) {
    std::vector<double> paces;
    for (std::size_t i = 0; i < spans.size(); ++i)
        if (spans[i].to > spans[i].from && !sentences[i].frames.empty())
            paces.push_back(static_cast<double>(spans[i].to - spans[i].from) /
                            static_cast<double>(sentences[i].frames.size()));
    if (paces.empty()) return 0;
    std::nth_element(paces.begin(), paces.begin() + static_cast<std::ptrdiff_t>(paces.size() / 2),
                     paces.end());
    return paces[paces.size() / 2];
}

// The spans whose length fits the speaker's pace, in seconds; a fading end reaching no further than where
// the next sentence sets in.
std::vector<std::optional<PlacedSentence>> PlacedAtPace(const std::vector<Span>& spans,
                                                        const std::vector<SpeechFeatures::Track>& sentences,
                                                        double pace) {
    std::vector<std::optional<PlacedSentence>> placed(sentences.size());
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        const auto [from, to] = spans[i];
        const double expected = pace * static_cast<double>(sentences[i].frames.size());
        if (to <= from || static_cast<double>(to - from) < kMinLengthShare * expected ||
            static_cast<double>(to - from) > kMaxLengthShare * expected)
            continue;
        placed[i] = PlacedSentence{from * kFrameSeconds, (to + 1) * kFrameSeconds};
    }
    std::optional<PlacedSentence>* before = nullptr;
    for (std::optional<PlacedSentence>& sentence : placed) {
        if (!sentence) continue;
        if (before && (*before)->end > sentence->start)
            (*before)->end = std::max((*before)->start, sentence->start);
        before = &sentence;
    }
    return placed;
}

// A run of voice with no pause in it as long as kChunkPauseFrames: a sentence is one or several of these.
struct Chunk {
    int on = 0;
    int off = 0;
};
constexpr int kChunkPauseFrames = 12;

std::vector<Chunk> VoicedChunks(const std::vector<bool>& silent) {
    std::vector<Chunk> chunks;
    int quiet = kChunkPauseFrames;
    for (int f = 0; f < static_cast<int>(silent.size()); ++f) {
        if (silent[f]) {
            ++quiet;
            continue;
        }
        if (quiet >= kChunkPauseFrames || chunks.empty())
            chunks.push_back({f, f});
        else
            chunks.back().off = f;
        quiet = 0;
    }
    return chunks;
}

// What the sentences by chunks weigh, in units of a sentence's length off by a factor of e.
constexpr double kChunkSkipCost = 0.6;
constexpr double kChunkGapCost = 0.4;       // a run of voice the text does not have
constexpr double kChunkEdgeGapCost = 0.02;  // the same before the first sentence or after the last
constexpr double kSoundWeight = 0.2;        // for each unit of mean frame distance over the best stretch's
constexpr double kAwayWeight = 0.3;         // for a start away from the warp's, up to kAwayFrames
constexpr int kAwayFrames = 200;
// Stretches tried for a sentence: those starting within this of the warp's start, from half to twice the
// length its synthesis and the speaker's pace give.
constexpr int kReachFrames = 1000;
constexpr double kShortestShare = 0.5;
constexpr double kLongestShare = 2.0;

// The warp pairs pauses with pauses only roughly, and alike-sounding sentences beside one the speaker left
// out or added may shift onto their neighbours' speech. Each sentence is placed again on whole runs of
// voice: the one in-order choice of stretches, sentences passed over and runs left out, whose lengths best
// fit the speaker's pace and whose sounds best fit the synthesis, near where the warp put them.
std::vector<Span> SpansByChunks(const std::vector<Chunk>& chunks, const std::vector<int>& warpedStarts,
                                const std::vector<double>& expected, const std::vector<double>& skipCosts,
                                const std::function<float(std::size_t, int, int)>& distance) {
    const int sentenceCount = static_cast<int>(expected.size());
    const int chunkCount = static_cast<int>(chunks.size());
    constexpr double kInfinite = std::numeric_limits<double>::infinity();
    const auto chunkFrom = [&](int frame) {
        return static_cast<int>(std::lower_bound(chunks.begin(), chunks.end(), frame,
                                                 [](const Chunk& c, int f) { return c.on < f; }) -
                                chunks.begin());
    };
    // Every stretch of chunks each sentence may take, with its cost: its length against the pace, its sound
    // against the best stretch's (the distance tells little by itself, as a voice's way of speaking and its
    // recording add to it), its start against the warp's.
    struct Stretch {
        int first = 0;
        int last = 0;
        double cost = 0;
    };
    std::vector<std::vector<Stretch>> stretches(sentenceCount);
    std::vector<int> reachFirst(sentenceCount, chunkCount), reachLast(sentenceCount, chunkCount - 1);
    for (int i = 0; i < sentenceCount; ++i) {
        reachFirst[i] = chunkFrom(warpedStarts[i] - kReachFrames);
        reachLast[i] = chunkFrom(warpedStarts[i] + kReachFrames + 1) - 1;
        std::vector<float> sounds;
        for (int k = reachFirst[i]; expected[i] > 0 && k <= reachLast[i]; ++k) {
            for (int last = k; last < chunkCount; ++last) {
                const double length = chunks[last].off - chunks[k].on + 1;
                if (length > kLongestShare * expected[i]) break;
                if (length < kShortestShare * expected[i]) continue;
                const float sound = distance(static_cast<std::size_t>(i), chunks[k].on, chunks[last].off);
                if (!std::isfinite(sound)) continue;
                const double away = std::min(
                    1.0, std::abs(chunks[k].on - warpedStarts[i]) / static_cast<double>(kAwayFrames));
                stretches[i].push_back(
                    {k, last, std::abs(std::log(length / expected[i])) + kAwayWeight * away});
                sounds.push_back(sound);
            }
        }
        if (sounds.empty()) continue;
        const float best = *std::min_element(sounds.begin(), sounds.end());
        for (std::size_t n = 0; n < sounds.size(); ++n)
            stretches[i][n].cost += kSoundWeight * (sounds[n] - best);
    }
    // Row i: the sentences before i are done, and the next free chunk is k (chunkCount: none left). A row
    // holds only the chunks the sentences around it may reach.
    std::vector<int> rowFirst(sentenceCount + 1, 0), rowLast(sentenceCount + 1, 0);
    for (int i = 0; i < sentenceCount; ++i) {
        const int furthest = warpedStarts[i] + kReachFrames + static_cast<int>(kLongestShare * expected[i]);
        rowLast[i + 1] = std::clamp(chunkFrom(furthest + 1), rowLast[i], chunkCount);
        rowFirst[i + 1] =
            std::min(std::max(rowFirst[i], i + 1 < sentenceCount ? reachFirst[i + 1] : 0), rowLast[i + 1]);
    }
    for (int i = 0; i <= sentenceCount; ++i) {
        if (i < sentenceCount) rowLast[i] = std::max(rowLast[i], std::min(chunkCount, reachLast[i] + 1));
        if (i > 0) rowLast[i] = std::max(rowLast[i], rowLast[i - 1]);
    }
    rowLast[sentenceCount] = chunkCount;
    const auto gapCostIn = [&](int row) {
        return row == 0 || row == sentenceCount ? kChunkEdgeGapCost : kChunkGapCost;
    };
    enum Kind : std::uint8_t { kNone, kGap, kSkip, kPlace };
    struct Cell {
        double cost = kInfinite;
        int from = -1;     // the cell the step came from: in this row for a gap, in the row above otherwise
        int stretch = -1;  // the placed sentence's
        Kind kind = kNone;
    };
    std::vector<std::vector<Cell>> rows(sentenceCount + 1);
    for (int i = 0; i <= sentenceCount; ++i)
        rows[i].resize(static_cast<std::size_t>(rowLast[i] - rowFirst[i] + 1));
    // A step to a chunk before the row's first leaves the chunks between out.
    const auto offer = [&](int row, int k, Cell step) {
        if (k < rowFirst[row]) step.cost += (rowFirst[row] - k) * gapCostIn(row), k = rowFirst[row];
        if (k > rowLast[row]) return;
        Cell& cell = rows[row][k - rowFirst[row]];
        if (step.cost < cell.cost) cell = step;
    };
    rows[0][0].cost = 0;
    for (int i = 0; i <= sentenceCount; ++i) {
        for (int k = rowFirst[i]; k < rowLast[i]; ++k)
            if (const Cell& cell = rows[i][k - rowFirst[i]]; cell.cost < kInfinite)
                offer(i, k + 1, {cell.cost + gapCostIn(i), k, -1, kGap});
        if (i == sentenceCount) break;
        for (int k = rowFirst[i]; k <= rowLast[i]; ++k)
            if (const Cell& cell = rows[i][k - rowFirst[i]]; cell.cost < kInfinite)
                offer(i + 1, k, {cell.cost + skipCosts[i], k, -1, kSkip});
        for (int n = 0; n < static_cast<int>(stretches[i].size()); ++n) {
            const Stretch& stretch = stretches[i][n];
            if (stretch.first < rowFirst[i] || stretch.first > rowLast[i]) continue;
            const Cell& cell = rows[i][stretch.first - rowFirst[i]];
            if (cell.cost < kInfinite)
                offer(i + 1, stretch.last + 1, {cell.cost + stretch.cost, stretch.first, n, kPlace});
        }
    }
    std::vector<Span> spans(static_cast<std::size_t>(sentenceCount));
    for (int i = sentenceCount, k = chunkCount; k >= rowFirst[i] && k <= rowLast[i];) {
        const Cell& cell = rows[i][k - rowFirst[i]];
        if (cell.kind == kNone) break;
        if (cell.kind == kPlace) {
            const Stretch& stretch = stretches[i - 1][cell.stretch];
            spans[i - 1] = {chunks[stretch.first].on, chunks[stretch.last].off};
        }
        if (cell.kind != kGap) --i;
        k = cell.from;
    }
    return spans;
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
    const LessonLevels levels{lessonLevelsDb, voiceDb, lessonFrames};
    struct Warped {
        std::vector<Span> spans;
        std::vector<int> starts;  // where the warp put each sentence's start
        double pace = 0;
        std::vector<std::optional<PlacedSentence>> placed;
    };
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
        Warped warped;
        warped.spans = SpansByWarp(warp, partOf, starts, ends, sentences, levels, warped.starts);
        warped.pace = MedianPace(warped.spans, sentences);
        warped.placed = PlacedAtPace(warped.spans, sentences, warped.pace);
        return warped;
    };
    // The text may be all the lesson says, or a part of it with much else before or after: whichever
    // places more sentences at a plausible pace is taken.
    Warped whole = place(kGapCost);
    Warped part = place(kEdgeGapCost);
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
    const int usual = count(whole.placed, true), usualPart = count(part.placed, true);
    const Warped& chosen =
        usualPart > usual || (usualPart == usual && count(part.placed, false) >= count(whole.placed, false))
            ? part
            : whole;
    if (!levelled || chosen.pace <= 0) return chosen.placed;
    std::vector<double> expected(sentences.size()), skipCosts(sentences.size());
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        expected[i] = chosen.pace * static_cast<double>(sentences[i].frames.size());
        skipCosts[i] = kChunkSkipCost * (i < headings.size() && headings[i] ? kHeadingSkipShare : 1.0);
    }
    std::vector<Span> spans = SpansByChunks(
        VoicedChunks(lessonSilent), chosen.starts, expected, skipCosts, [&](std::size_t i, int from, int to) {
            return WarpDistance(coarseSynthesis, starts[i] / kCoarse, ends[i] / kCoarse, coarseLesson,
                                from / kCoarse, to / kCoarse);
        });
    for (Span& span : spans)
        if (span.Some()) span = Faded(span, levels);
    // Where voice runs on with no pause between sentences (music under the voice, a hurried speaker), the
    // runs cannot place them: the warp's placing stands where it keeps clear of the sentences around.
    int lastTo = -1;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (spans[i].Some()) {
            lastTo = spans[i].to;
            continue;
        }
        const Span& warped = chosen.spans[i];
        if (!warped.Some() || warped.from <= lastTo) continue;
        const auto next = std::find_if(spans.begin() + static_cast<std::ptrdiff_t>(i) + 1, spans.end(),
                                       [](const Span& span) { return span.Some(); });
        if (next != spans.end() && warped.to >= next->from) continue;
        spans[i] = warped;
        lastTo = warped.to;
    }
    placed = PlacedAtPace(spans, sentences, chosen.pace);
    return placed;
}

}  // namespace ostrelle
