#include "core/formats/file_kinds.h"

#include <gtest/gtest.h>

namespace ostrelle {
namespace {

struct NamedKind {
    const char* path;
    FileKind kind;
    const char* withoutSuffix;
};

class FileKindsTest : public ::testing::TestWithParam<NamedKind> {};

TEST_P(FileKindsTest, TheLastSuffixOfTheFileNameDecidesInAnyLetterCase) {
    const NamedKind& named = GetParam();
    const QString path = QString::fromUtf8(named.path);
    EXPECT_EQ(KindOfFile(path), named.kind);
    EXPECT_EQ(PathWithoutSuffix(path), QString::fromUtf8(named.withoutSuffix));
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileKindsTest,
    ::testing::Values(NamedKind{"/m/lesson.flac", FileKind::kAudio, "/m/lesson."},
                      NamedKind{"/m/Talk.OPUS", FileKind::kAudio, "/m/Talk."},
                      NamedKind{"unit.1.m4a", FileKind::kAudio, "unit.1."},
                      NamedKind{".mp3", FileKind::kAudio, "."},
                      NamedKind{"/m/a.Ogg", FileKind::kAudio, "/m/a."},
                      NamedKind{"/m/a.wav", FileKind::kAudio, "/m/a."},
                      NamedKind{"/m/听力 第二课.Wma", FileKind::kAudio, "/m/听力 第二课."},
                      NamedKind{"/m/list.M3U8", FileKind::kPlaylist, "/m/list."},
                      NamedKind{"/m/song.SRT", FileKind::kTimedText, "/m/song."},
                      NamedKind{"/m/notes.txt", FileKind::kPlainText, "/m/notes."},
                      NamedKind{"/m/essay.DocX", FileKind::kDocument, "/m/essay."},
                      // A suffix is the file name's: a folder's dot says nothing.
                      NamedKind{"/m/album.mp3/track", FileKind::kUnknown, "/m/album.mp3/track."},
                      NamedKind{"/m/lesson.mp3.bak", FileKind::kUnknown, "/m/lesson.mp3."},
                      NamedKind{"/m/lesson.", FileKind::kUnknown, "/m/lesson."},
                      NamedKind{"mp3", FileKind::kUnknown, "mp3."}));

TEST(FileKinds, EveryListedSuffixIsOfItsKindAndInNoOther) {
    for (const FileKind kind : {FileKind::kAudio, FileKind::kPlaylist, FileKind::kTimedText,
                                FileKind::kPlainText, FileKind::kDocument}) {
        const QStringList suffixes = SuffixesOfKind(kind);
        ASSERT_FALSE(suffixes.isEmpty());
        for (const QString& suffix : suffixes) {
            EXPECT_EQ(KindOfFile(QStringLiteral("a.") + suffix.toUpper()), kind) << suffix.toStdString();
            EXPECT_TRUE(FilterPatterns(kind).split(u';').contains(QStringLiteral("*.") + suffix));
        }
    }
    EXPECT_TRUE(SuffixesOfKind(FileKind::kUnknown).isEmpty());
}

}  // namespace
}  // namespace ostrelle
