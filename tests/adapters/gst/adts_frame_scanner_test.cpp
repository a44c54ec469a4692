#include "adapters/gst/adts_frame_scanner.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ostrelle {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An MPEG-4 AAC LC frame at 44.1 kHz, stereo, without CRC, of length bytes holding blocks raw data blocks.
void AppendFrame(Bytes& bytes, std::size_t length, int blocks = 1) {
    const std::size_t start = bytes.size();
    bytes.resize(start + length, 0x21);
    const Bytes header = {0xFF,
                          0xF1,
                          (1 << 6) | (4 << 2),
                          static_cast<std::uint8_t>((2 << 6) | ((length >> 11) & 0x03)),
                          static_cast<std::uint8_t>((length >> 3) & 0xFF),
                          static_cast<std::uint8_t>(((length & 0x07) << 5) | 0x1F),
                          static_cast<std::uint8_t>(0xFC | (blocks - 1))};
    std::copy(header.begin(), header.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
}

void AppendText(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

TEST(AdtsFrameScanner, CountsFramesOfAnyLengthBetweenTagsExactly) {
    // An ID3v2 tag of 20 bytes in front, frames whose lengths vary as a variable bit rate makes them, one of
    // two raw data blocks, and an ID3v1 tag at the end.
    Bytes bytes = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
    bytes.resize(30, 0);
    for (int i = 0; i < 99; ++i)
        AppendFrame(bytes, 150 + static_cast<std::size_t>((i * 37) % 500));
    AppendFrame(bytes, 300, 2);
    AppendText(bytes, "TAG" + std::string(125, 'x'));

    const std::optional<AdtsFrameCount> count = CountAdtsFrames(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->frames, 100);
    EXPECT_EQ(count->sampleRate, 44100);
    EXPECT_DOUBLE_EQ(count->Seconds(), 101 * 1024.0 / 44100);
}

TEST(AdtsFrameScanner, AFrameCutOffByTheEndIsNotCounted) {
    Bytes bytes;
    for (int i = 0; i < 10; ++i)
        AppendFrame(bytes, 371);
    bytes.resize(bytes.size() - 100);
    const std::optional<AdtsFrameCount> count = CountAdtsFrames(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->frames, 9);
}

TEST(AdtsFrameScanner, MpegAudioTextAndAStrayHeaderAreNoStream) {
    // MPEG-1 layer III frames: the same sync word, another layer.
    Bytes mp3;
    for (int i = 0; i < 4; ++i) {
        const std::size_t start = mp3.size();
        mp3.resize(start + 417, 0x55);
        mp3[start] = 0xFF;
        mp3[start + 1] = 0xFB;
        mp3[start + 2] = 0x90;
        mp3[start + 3] = 0x44;
    }
    EXPECT_FALSE(CountAdtsFrames(mp3));

    Bytes text;
    AppendText(text, "Lesson 4: at school.\n");
    EXPECT_FALSE(CountAdtsFrames(text));

    Bytes stray;
    AppendFrame(stray, 200);
    AppendText(stray, std::string(300, 'x'));
    EXPECT_FALSE(CountAdtsFrames(stray));

    EXPECT_FALSE(CountAdtsFrames({}));
}

}  // namespace
}  // namespace ostrelle
