#include "core/formats/settings_file.h"
#include "core/formats/atomic_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>

namespace ostrelle {
namespace {

class SettingsFile : public ::testing::Test {
protected:
    QString Path() const { return dir_.filePath(QStringLiteral("OSTRELLE.ini")); }

    void WriteBytes(const QByteArray& bytes) const {
        QFile file(Path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray Bytes() const {
        QFile file(Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString Read(const char* section, const char* key) const {
        return ReadIniValue(QString::fromUtf8(section), QString::fromUtf8(key), Path());
    }

    bool Write(const char* section, const char* key, const QString& value) const {
        return WriteIniValue(QString::fromUtf8(section), QString::fromUtf8(key), value, Path()).ok();
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFile, AbsentFileSectionOrKeyReadsEmpty) {
    EXPECT_EQ(Read("comb", "0"), QString());
    WriteBytes("[comb]\r\n0=3\r\n");
    EXPECT_EQ(Read("Fist", "run"), QString());
    EXPECT_EQ(Read("comb", "1"), QString());
    EXPECT_EQ(Read("comb", "0"), QStringLiteral("3"));
}

TEST_F(SettingsFile, FirstWriteCreatesTheFileWithSectionAndKey) {
    ASSERT_TRUE(Write("Fist", "run", QStringLiteral("1")));
    EXPECT_EQ(Bytes(), QByteArray("[Fist]\r\nrun=1\r\n"));
    ASSERT_TRUE(Write("comb", "0", QStringLiteral("4")));
    ASSERT_TRUE(Write("comb", "1", QStringLiteral("2")));
    EXPECT_EQ(Bytes(), QByteArray("[Fist]\r\nrun=1\r\n[comb]\r\n0=4\r\n1=2\r\n"));
    ASSERT_TRUE(Write("comb", "0", QStringLiteral("5")));
    EXPECT_EQ(Read("comb", "0"), QStringLiteral("5"));
    EXPECT_EQ(Read("comb", "1"), QStringLiteral("2"));
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToCase) {
    WriteBytes("[FIST]\nRUN=1\n");
    EXPECT_EQ(Read("fist", "run"), QStringLiteral("1"));
    ASSERT_TRUE(Write("Fist", "Run", QStringLiteral("2")));
    EXPECT_EQ(Bytes(), QByteArray("[FIST]\nRUN=2\n"));
}

TEST_F(SettingsFile, ValueIsTheTextAfterTheFirstEqualsSign) {
    WriteBytes("[s]\nk = a=b=c \n");
    EXPECT_EQ(Read("s", "k"), QStringLiteral("a=b=c"));
}

TEST_F(SettingsFile, WriteKeepsEveryOtherLineByteForByte) {
    const QByteArray original =
        "; comment\r\n"
        "garbage without equals\r\n"
        "orphan=before any section\r\n"
        "[Mp3PrePath]\r\n"
        "Path=/old\r\n"
        "\xff\xfe\x80 invalid bytes\r\n"
        "\r\n"
        "[other]\r\n"
        "x=1";  // no line end at the end
    WriteBytes(original);
    ASSERT_TRUE(Write("Mp3PrePath", "Path", QStringLiteral("/new")));
    QByteArray expected = original;
    expected.replace("Path=/old", "Path=/new");
    EXPECT_EQ(Bytes(), expected);

    ASSERT_TRUE(Write("other", "y", QStringLiteral("2")));
    EXPECT_TRUE(Bytes().endsWith("x=1\r\ny=2\r\n"));
    EXPECT_EQ(Read("other", "x"), QStringLiteral("1"));
}

TEST_F(SettingsFile, NewKeyGoesAfterTheLastFilledLineOfItsSection) {
    WriteBytes("[a]\nk=1\n\n[b]\nz=9\n");
    ASSERT_TRUE(Write("a", "m", QStringLiteral("2")));
    EXPECT_EQ(Bytes(), QByteArray("[a]\nk=1\nm=2\n\n[b]\nz=9\n"));
}

TEST_F(SettingsFile, FirstOfDuplicateSectionsAndKeysWins) {
    WriteBytes("[comb]\n0=1\n0=2\n[comb]\n0=3\n");
    EXPECT_EQ(Read("comb", "0"), QStringLiteral("1"));
    ASSERT_TRUE(Write("comb", "0", QStringLiteral("6")));
    EXPECT_EQ(Bytes(), QByteArray("[comb]\n0=6\n0=2\n[comb]\n0=3\n"));
}

TEST_F(SettingsFile, ChineseValuesAreWrittenAsGb18030AndReadBack) {
    const QString path = QString::fromUtf8("/home/中文/课文.mp3");
    ASSERT_TRUE(Write("Mp3PrePath", "Path", path));
    const QByteArray gb = QStringEncoder("GB18030").encode(path);
    EXPECT_EQ(Bytes(), "[Mp3PrePath]\r\nPath=" + gb + "\r\n");
    EXPECT_EQ(Read("Mp3PrePath", "Path"), path);
    // Characters outside GBK survive too.
    const QString rare = QString::fromUtf8("/音频/𠀀😀.mp3");
    ASSERT_TRUE(Write("Mp3PrePath", "Path", rare));
    EXPECT_EQ(Read("Mp3PrePath", "Path"), rare);
}

TEST_F(SettingsFile, GbBytesThatWouldPassForUtf8AreWrittenSoTheyReadBack) {
    // In GB18030 "学习" is D1 A7 CF B0, which is also valid UTF-8.
    const QString path = QString::fromUtf8("/home/学习/英语 第一课.mp3");
    ASSERT_TRUE(Write("Fist", "run", QStringLiteral("1")));
    ASSERT_TRUE(Write("Mp3PrePath", "Path", path));
    EXPECT_EQ(Read("Mp3PrePath", "Path"), path);
    EXPECT_EQ(Read("Fist", "run"), QStringLiteral("1"));
}

TEST_F(SettingsFile, AnOlderGb18030FileWhoseBytesPassForUtf8IsReadAsChinese) {
    WriteBytes(QStringEncoder("GB18030").encode(QString::fromUtf8("[Mp3PrePath]\r\nPath=D:/学习/1.mp3\r\n")));
    EXPECT_EQ(Read("Mp3PrePath", "Path"), QString::fromUtf8("D:/学习/1.mp3"));
}

TEST_F(SettingsFile, AUtf8FileIsReadAsUtf8AndStaysUtf8) {
    WriteBytes(QString::fromUtf8("[Mp3PrePath]\nPath=/音乐/课文.mp3\n").toUtf8());
    EXPECT_EQ(Read("Mp3PrePath", "Path"), QString::fromUtf8("/音乐/课文.mp3"));
    ASSERT_TRUE(Write("comb", "0", QString::fromUtf8("中")));
    EXPECT_EQ(Read("Mp3PrePath", "Path"), QString::fromUtf8("/音乐/课文.mp3"));
    EXPECT_EQ(Read("comb", "0"), QString::fromUtf8("中"));
}

TEST_F(SettingsFile, ByteOrderMarksAreHonouredAndKept) {
    WriteBytes("\xEF\xBB\xBF[Fist]\r\nrun=1\r\n");
    EXPECT_EQ(Read("Fist", "run"), QStringLiteral("1"));
    ASSERT_TRUE(Write("Fist", "run", QStringLiteral("0")));
    EXPECT_EQ(Bytes(), QByteArray("\xEF\xBB\xBF[Fist]\r\nrun=0\r\n"));

    QByteArray utf16 = "\xFF\xFE";
    const QString text = QString::fromUtf8("[Fist]\r\nrun=一\r\n");
    utf16 += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    WriteBytes(utf16);
    EXPECT_EQ(Read("Fist", "run"), QString::fromUtf8("一"));
    ASSERT_TRUE(Write("comb", "1", QStringLiteral("3")));
    EXPECT_EQ(Read("Fist", "run"), QString::fromUtf8("一"));
    EXPECT_EQ(Read("comb", "1"), QStringLiteral("3"));
}

TEST_F(SettingsFile, LongValuesAndEdgeBlanksReadBackWhole) {
    const QString deep = QStringLiteral("/a").repeated(300) + QStringLiteral("/lesson.mp3");
    ASSERT_TRUE(Write("Mp3PrePath", "Path", deep));
    EXPECT_EQ(Read("Mp3PrePath", "Path"), deep);

    for (const QString& value : {QStringLiteral(" lead"), QStringLiteral("trail "),
                                 QStringLiteral("\"quoted\""), QString(), QStringLiteral("a;b#c=d")}) {
        ASSERT_TRUE(Write("s", "k", value));
        EXPECT_EQ(Read("s", "k"), value) << value.toStdString();
    }
}

TEST_F(SettingsFile, AValueWithALineBreakIsRefusedAndAddsNoLines) {
    WriteBytes("[Resume]\r\nFile=/a.mp3\r\n");
    const QByteArray before = Bytes();
    for (const QString& value : {QStringLiteral("/x\n[Fist]\nrun=0/a.mp3"), QStringLiteral("a\rb")})
        EXPECT_FALSE(WriteIniValue(QStringLiteral("Resume"), QStringLiteral("File"), value, Path()).ok());
    EXPECT_EQ(Bytes(), before);
}

TEST_F(SettingsFile, AFailedWriteReportsAndLeavesTheOldFileWhole) {
    WriteBytes("[Fist]\r\nrun=1\r\n");
    const QByteArray before = Bytes();

    // A file-size limit makes the write fail part-way, as a full disk would.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit tiny = old;
    tiny.rlim_cur = 4096;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const Result<void> result = WriteIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"),
                                              QStringLiteral("x").repeated(10000), Path());
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.failure().code, FailureCode::CannotWrite);
    EXPECT_FALSE(result.failure().detail.isEmpty());
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("OSTRELLE.ini")});
}

TEST_F(SettingsFile, AWriteIntoAMissingFolderFails) {
    const Result<void> result =
        WriteIniValue(QStringLiteral("Fist"), QStringLiteral("run"), QStringLiteral("1"),
                      dir_.filePath(QStringLiteral("no/such/dir/OSTRELLE.ini")));
    EXPECT_FALSE(result.ok());
}

TEST_F(SettingsFile, AFileOverOneMebibyteIsNeitherReadNorRewritten) {
    const QByteArray huge = "[Fist]\r\nrun=1\r\n" + QByteArray(1024 * 1024, ';');
    WriteBytes(huge);
    EXPECT_EQ(Read("Fist", "run"), QString());
    EXPECT_FALSE(Write("Fist", "run", QStringLiteral("0")));
    EXPECT_EQ(Bytes(), huge);
}

TEST_F(SettingsFile, TemporariesLeftByACrashGoButAFreshOneStays) {
    WriteBytes("[Fist]\r\nrun=1\r\n");
    const QString stale = Path() + QStringLiteral(".tmp-Ab12Cd");
    const QString fresh = Path() + QStringLiteral(".tmp-Ef34Gh");
    for (const QString& temp : {stale, fresh}) {
        QFile file(temp);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile old(stale);
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        old.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
    old.close();
    RemoveStaleTemporaries(Path());
    EXPECT_FALSE(QFile::exists(stale));
    EXPECT_TRUE(QFile::exists(fresh)) << "another copy of the program may be writing it";
    EXPECT_EQ(Read("Fist", "run"), QStringLiteral("1"));
}

TEST(IniDocument, GarbageNeverBreaksParsing) {
    QByteArray noise;
    for (int i = 0; i < 4096; ++i)
        noise += static_cast<char>((i * 7919) % 256);
    const IniDocument doc = IniDocument::Parse(noise + "\n[s]\nk=v\n" + noise);
    EXPECT_EQ(doc.Value(QStringLiteral("s"), QStringLiteral("k")).value_or(QString()), QStringLiteral("v"));
    IniDocument copy = IniDocument::Parse(noise);
    EXPECT_EQ(copy.Serialize(), noise);
}

// Found by fuzzing: UTF-16 lines were decoded and encoded again, which changed an odd last byte.
TEST(IniDocument, Utf16WithAnOddLastByteWritesBackItsBytesExactly) {
    static const unsigned char kFuzzed[] = {
        0xFF, 0xFE, 0x5B, 0x00, 0x46, 0x00, 0x69, 0x00, 0x73, 0x00, 0x74, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5D, 0x06, 0x00, 0x00, 0x0D, 0x00, 0x0A, 0x00, 0x72,
        0x00, 0x75, 0x6E, 0x00, 0x31, 0x00, 0x00, 0x3D, 0x00, 0x0D, 0x00, 0x0A, 0x00,
    };
    const QByteArray bytes(reinterpret_cast<const char*>(kFuzzed), sizeof kFuzzed);
    EXPECT_EQ(IniDocument::Parse(bytes).Serialize(), bytes);
}

TEST(IniDocument, Utf16WithALoneSurrogateWritesBackItsBytesExactly) {
    for (const QByteArray& bytes : {QByteArray("\xFF\xFE[\0s\0]\0\n\0k\0=\0\x00\xD8\n\0", 18),
                                    QByteArray("\xFE\xFF\0[\0s\0]\0\n\0k\0=\xDC\x00\0\n", 18)}) {
        const IniDocument doc = IniDocument::Parse(bytes);
        EXPECT_EQ(doc.Serialize(), bytes);
        EXPECT_TRUE(doc.Value(QStringLiteral("s"), QStringLiteral("k")).has_value());
    }
}

TEST(IniDocument, AKeyAddedAfterAnOddLastByteOfUtf16ReadsBackAfterWriting) {
    const QByteArray bytes(
        "\xFF\xFE[\0s\0]\0\r\0\n\0a\0=\0"
        "1\0x",
        19);
    IniDocument doc = IniDocument::Parse(bytes);
    doc.SetValue(QStringLiteral("s"), QStringLiteral("k"), QString::fromUtf8("二"));
    const IniDocument again = IniDocument::Parse(doc.Serialize());
    EXPECT_EQ(again.Value(QStringLiteral("s"), QStringLiteral("k")), QString::fromUtf8("二"));
    EXPECT_TRUE(doc.Serialize().startsWith(bytes)) << "the lines before keep their bytes";
}

// Found by fuzzing: completing an odd "]" byte with a zero made a section of "[Fist" before the new one.
TEST(IniDocument, CompletingAnOddLastByteOfUtf16MakesNoSection) {
    for (const QByteArray& bytes :
         {QByteArray("\xFF\xFE[\0F\0i\0s\0t\0]", 13), QByteArray("\xFE\xFF\0[\0F\0i\0s\0t\0", 13)}) {
        IniDocument doc = IniDocument::Parse(bytes);
        doc.SetValue(QStringLiteral("FIST"), QStringLiteral("RUN"), QStringLiteral("1"));
        EXPECT_EQ(doc.Value(QStringLiteral("Fist"), QStringLiteral("run")), QStringLiteral("1"));
        const IniDocument again = IniDocument::Parse(doc.Serialize());
        EXPECT_EQ(again.Value(QStringLiteral("Fist"), QStringLiteral("run")), QStringLiteral("1"));
    }
}

TEST(IniDocument, AValueWrittenIntoAUtf8FileReadsBackAsWritten) {
    // Found by fuzzing: UTF-8 that a new line would make read better as GB18030, were it not marked.
    const QByteArray bytes(
        "[Fist]18030\r\xF1\x8D\x8A\x91[=]mt]\0\0\x05"
        "18030ob",
        29);
    IniDocument doc = IniDocument::Parse(bytes);
    const QString value =
        QString::fromUtf8("\xEF\xBF\xBD\xEF\xBF\xBD[=]mt]") + QChar(0) + QStringLiteral("18030ob");
    doc.SetValue(QStringLiteral("Fist"), QStringLiteral("run"), value);
    doc.MakeUnambiguous();
    EXPECT_EQ(IniDocument::Parse(doc.Serialize()).Value(QStringLiteral("Fist"), QStringLiteral("run")),
              value);
}

}  // namespace
}  // namespace ostrelle
