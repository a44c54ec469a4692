#include "adapters/gst/mp3_frame_scanner.h"

#include <gtest/gtest.h>

#include <atomic>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace ostrelle {
namespace {

using Bytes = std::vector<std::uint8_t>;

// MPEG-1 layer III, 44.1 kHz, joint stereo, no CRC; bit rate index 9 (128 kbit/s): 417 bytes a frame.
constexpr std::uint32_t kMpeg1Layer3 = 0xFFFB9044u;
constexpr std::size_t kMpeg1Layer3Bytes = 417;
constexpr double kMpeg1Layer3Seconds = 1152.0 / 44100;

void AppendFrame(Bytes& bytes, std::uint32_t header, std::size_t length, std::uint8_t fill = 0x55) {
    const std::size_t start = bytes.size();
    bytes.resize(start + length, fill);
    bytes[start] = header >> 24;
    bytes[start + 1] = (header >> 16) & 0xFF;
    bytes[start + 2] = (header >> 8) & 0xFF;
    bytes[start + 3] = header & 0xFF;
}

void AppendFrames(Bytes& bytes, int count, std::uint32_t header = kMpeg1Layer3,
                  std::size_t length = kMpeg1Layer3Bytes) {
    for (int i = 0; i < count; ++i)
        AppendFrame(bytes, header, length);
}

void AppendText(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void PutBe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = (value >> (24 - 8 * i)) & 0xFF;
}

// An ID3v2.4 tag around body, with a synchsafe size.
Bytes Id3v2Tag(const Bytes& body, bool footer = false) {
    const std::size_t size = body.size();
    Bytes tag = {'I',
                 'D',
                 '3',
                 4,
                 0,
                 static_cast<std::uint8_t>(footer ? 0x10 : 0),
                 static_cast<std::uint8_t>((size >> 21) & 0x7F),
                 static_cast<std::uint8_t>((size >> 14) & 0x7F),
                 static_cast<std::uint8_t>((size >> 7) & 0x7F),
                 static_cast<std::uint8_t>(size & 0x7F)};
    tag.insert(tag.end(), body.begin(), body.end());
    if (footer) AppendText(tag, std::string("3DI\x04\x00\x10", 6) + std::string(4, '\0'));
    return tag;
}

std::optional<Mp3FrameCount> Count(const Bytes& bytes) {
    return CountMp3Frames(bytes);
}

TEST(Mp3FrameScannerTest, CountsEveryFrameOfAConstantBitRateStream) {
    Bytes bytes;
    AppendFrames(bytes, 100);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 100);
    EXPECT_EQ(count->sampleRate, 44100);
    EXPECT_DOUBLE_EQ(count->Seconds(), 100 * kMpeg1Layer3Seconds);
    EXPECT_FALSE(count->headerFrames);

    const std::atomic<bool> stop{true};
    EXPECT_FALSE(CountMp3Frames(bytes, &stop)) << "a count asked to stop gives up with nothing";
}

struct Layout {
    const char* name;
    std::uint32_t header;
    std::size_t length;
    int samplesPerFrame;
    int sampleRate;
};

class Mp3FrameLayoutTest : public ::testing::TestWithParam<Layout> {};

TEST_P(Mp3FrameLayoutTest, SamplesPerFrameAndRateFollowVersionAndLayer) {
    const Layout& layout = GetParam();
    Bytes bytes;
    AppendFrames(bytes, 40, layout.header, layout.length);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 40);
    EXPECT_EQ(count->samplesPerFrame, layout.samplesPerFrame);
    EXPECT_EQ(count->sampleRate, layout.sampleRate);
}

// Lengths worked out by hand from the bit rate, sample rate and layer of each header.
INSTANTIATE_TEST_SUITE_P(Layouts, Mp3FrameLayoutTest,
                         ::testing::Values(Layout{"Mpeg1Layer1At32k", 0xFFFF48C4u, 192, 384, 32000},
                                           Layout{"Mpeg1Layer2At48k", 0xFFFDA4C4u, 576, 1152, 48000},
                                           Layout{"Mpeg1Layer3At44k", kMpeg1Layer3, 417, 1152, 44100},
                                           Layout{"Mpeg2Layer3At22k", 0xFFF380C4u, 208, 576, 22050},
                                           Layout{"Mpeg25Layer3At8k", 0xFFE318C4u, 72, 576, 8000},
                                           Layout{"Mpeg2Layer1At16k", 0xFFF718C4u, 96, 384, 16000}),
                         [](const ::testing::TestParamInfo<Layout>& layout) { return layout.param.name; });

TEST(Mp3FrameScannerTest, PaddedAndVariableBitRateFramesAreAllCounted) {
    // Kbit/s of MPEG-1 layer III by index; a frame is 144000 * kbit/s / 44100 bytes, plus one if padded.
    const int kbps[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    Bytes bytes;
    int frames = 0;
    for (int round = 0; round < 3; ++round) {
        for (std::uint32_t index = 1; index <= 14; ++index) {
            const std::uint32_t padding = (index + round) % 2;
            const std::uint32_t header = 0xFFFB0044u | (index << 12) | (padding << 9);
            AppendFrame(bytes, header, 144000 * kbps[index - 1] / 44100 + padding);
            ++frames;
        }
    }
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, frames);
    EXPECT_EQ(count->skippedBytes, 0);
}

TEST(Mp3FrameScannerTest, FrameLikeBytesInsideTheId3v2TagAreNotCounted) {
    Bytes body;
    AppendFrames(body, 6);  // e.g. an embedded picture that happens to look like audio
    AppendText(body, "padding");
    Bytes bytes = Id3v2Tag(body);
    AppendFrames(bytes, 20);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 20);
}

TEST(Mp3FrameScannerTest, SeveralId3v2TagsAndATagFooterAreSkipped) {
    Bytes bytes = Id3v2Tag(Bytes(300, 0xFF), true);
    const Bytes second = Id3v2Tag(Bytes(50, 0));
    bytes.insert(bytes.end(), second.begin(), second.end());
    const std::size_t tagsEnd = bytes.size();
    AppendFrames(bytes, 10);
    EXPECT_EQ(Id3v2TagsEnd(bytes), tagsEnd);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 10);
    EXPECT_EQ(count->skippedBytes, 0);
}

TEST(Mp3FrameScannerTest, ATagThatClaimsMoreThanTheFileLeavesNoAudio) {
    Bytes bytes = Id3v2Tag(Bytes(100000, 0));
    bytes.resize(5000);
    AppendFrames(bytes, 10);  // inside what the tag claims
    EXPECT_GT(Id3v2TagsEnd(bytes), bytes.size());
    EXPECT_FALSE(Count(bytes));
}

TEST(Mp3FrameScannerTest, FrameLikeBytesInsideTagsAtTheEndAreNotCounted) {
    Bytes bytes;
    AppendFrames(bytes, 30);
    // APEv2 tag with a header, one binary item holding five frames' worth of frame-like bytes.
    Bytes item;
    AppendFrames(item, 5);
    const std::uint32_t tagSize = static_cast<std::uint32_t>(8 + 6 + item.size() + 32);  // items + footer
    auto appendApeHeader = [&](std::uint32_t flags) {
        AppendText(bytes, "APETAGEX");
        for (const std::uint32_t value : {2000u, tagSize, 1u, flags}) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back((value >> (8 * i)) & 0xFF);
        }
        bytes.resize(bytes.size() + 8, 0);
    };
    appendApeHeader(0xA0000000u);
    for (int i = 0; i < 4; ++i)
        bytes.push_back((item.size() >> (8 * i)) & 0xFF);
    bytes.insert(bytes.end(), {2, 0, 0, 0});
    AppendText(bytes, std::string("Cover", 6));
    bytes.insert(bytes.end(), item.begin(), item.end());
    appendApeHeader(0x80000000u);
    // Then an ID3v1 tag.
    AppendText(bytes, "TAG");
    bytes.resize(bytes.size() + 125, 0x20);

    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 30);
}

TEST(Mp3FrameScannerTest, LeadingZeroBytesAreSkipped) {
    Bytes bytes(417, 0);
    AppendFrames(bytes, 12);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 12);
    EXPECT_EQ(count->skippedBytes, 417);
}

TEST(Mp3FrameScannerTest, AStraySyncWordBeforeTheStreamDoesNotLock) {
    Bytes bytes;
    // A valid header of another stream, then one of this stream followed by junk instead of a next frame.
    AppendFrame(bytes, 0xFFF380C4u, 208, 0x00);
    AppendFrame(bytes, kMpeg1Layer3, kMpeg1Layer3Bytes, 0x00);
    AppendText(bytes, "junk");
    AppendFrames(bytes, 25);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 25);
    EXPECT_EQ(count->sampleRate, 44100);
}

TEST(Mp3FrameScannerTest, CountingGoesOnAfterDamagedBytesInsideTheStream) {
    Bytes bytes;
    AppendFrames(bytes, 50);
    std::memset(bytes.data() + 20 * kMpeg1Layer3Bytes, 0, 10);  // the 21st frame's header is lost
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 49);
    EXPECT_EQ(count->skippedBytes, static_cast<std::int64_t>(kMpeg1Layer3Bytes));
}

TEST(Mp3FrameScannerTest, AFrameCutByTheEndOfTheFileIsNotCounted) {
    Bytes bytes;
    AppendFrames(bytes, 8);
    AppendFrame(bytes, kMpeg1Layer3, 200);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 8);
}

TEST(Mp3FrameScannerTest, AnXingHeaderFrameIsNotAudioAndItsFrameCountIsRead) {
    Bytes bytes;
    AppendFrame(bytes, kMpeg1Layer3, kMpeg1Layer3Bytes, 0);
    std::memcpy(bytes.data() + 4 + 32, "Xing", 4);  // after the stereo side information
    PutBe32(bytes, 40, 0x0F);
    PutBe32(bytes, 44, 64);
    AppendFrames(bytes, 64);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 64);
    EXPECT_EQ(count->headerFrames, 64);
}

TEST(Mp3FrameScannerTest, AnInfoHeaderInAMonoMpeg2StreamIsNotAudio) {
    Bytes bytes;
    AppendFrame(bytes, 0xFFF380C4u, 208, 0);
    std::memcpy(bytes.data() + 4 + 9, "Info", 4);  // after the mono MPEG-2 side information
    PutBe32(bytes, 17, 0x01);
    PutBe32(bytes, 21, 30);
    AppendFrames(bytes, 30, 0xFFF380C4u, 208);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 30);
    EXPECT_EQ(count->headerFrames, 30);
}

TEST(Mp3FrameScannerTest, AVbriHeaderFrameIsNotAudio) {
    Bytes bytes;
    AppendFrame(bytes, kMpeg1Layer3, kMpeg1Layer3Bytes, 0);
    std::memcpy(bytes.data() + 36, "VBRI", 4);
    PutBe32(bytes, 50, 16);
    AppendFrames(bytes, 16);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->audioFrames, 16);
    EXPECT_EQ(count->headerFrames, 16);
}

TEST(Mp3FrameScannerTest, ATruncatedFileCountsOnlyTheFramesPresentNotTheHeadersClaim) {
    Bytes bytes;
    AppendFrame(bytes, kMpeg1Layer3, kMpeg1Layer3Bytes, 0);
    std::memcpy(bytes.data() + 36, "Info", 4);
    PutBe32(bytes, 40, 0x0F);
    PutBe32(bytes, 44, 72243);
    AppendFrames(bytes, 17);
    AppendFrame(bytes, kMpeg1Layer3, 100);
    const std::optional<Mp3FrameCount> count = Count(bytes);
    ASSERT_TRUE(count);
    EXPECT_EQ(count->headerFrames, 72243);
    EXPECT_EQ(count->audioFrames, 17);
}

TEST(Mp3FrameScannerTest, BytesWithoutAStreamGiveNothing) {
    Bytes oneFrame;
    AppendFrames(oneFrame, 1);
    Bytes freeFormat;  // bit rate index 0: no length in the header
    AppendFrames(freeFormat, 10, 0xFFFB0044u, 417);
    const std::string text = "This is not audio at all, just a text file renamed.\n";
    const Bytes inputs[] = {
        {},
        {0xFF},
        {0xFF, 0xFB, 0x90},
        Bytes(text.begin(), text.end()),
        Bytes(5000, 0xFF),
        Bytes(5000, 0),
        oneFrame,
        freeFormat,
    };
    for (const Bytes& bytes : inputs)
        EXPECT_FALSE(Count(bytes)) << bytes.size() << " bytes";
}

TEST(Mp3FrameScannerTest, AnyBytesAreReadOnlyInsideTheirBounds) {
    // Random and damaged streams, each in a buffer of exactly its size so a sanitizer build catches a
    // read past the end; every count must fit in the bytes given.
    std::mt19937 random(20240517);
    Bytes stream = Id3v2Tag(Bytes(40, 0xFF));
    AppendFrames(stream, 6);
    AppendFrames(stream, 6, 0xFFF380C4u, 208);
    AppendFrames(stream, 6, 0xFFE318C4u, 72);
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes;
        if (round % 2 == 0) {
            bytes.resize(random() % 3000);
            for (std::uint8_t& byte : bytes)
                byte = (random() % 3 == 0) ? 0xFF : random() & 0xFF;
        } else {
            bytes.assign(stream.begin(), stream.begin() + random() % (stream.size() + 1));
            for (int flip = 0; flip < 8 && !bytes.empty(); ++flip)
                bytes[random() % bytes.size()] = random() & 0xFF;
        }
        const std::unique_ptr<std::uint8_t[]> exact = std::make_unique<std::uint8_t[]>(bytes.size());
        if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
        const std::optional<Mp3FrameCount> count = CountMp3Frames({exact.get(), bytes.size()});
        if (count) {
            ASSERT_GE(count->audioFrames, 0);
            ASSERT_LE(count->audioFrames * 24,
                      static_cast<std::int64_t>(bytes.size()));  // 24: the shortest frame
        }
    }
}

}  // namespace
}  // namespace ostrelle
