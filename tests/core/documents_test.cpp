#include "core/operations/documents.h"
#include "core/formats/settings_file.h"
#include "docx_builder.h"
#include "support/app_fixture.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>

namespace ostrelle {
namespace {

class DocumentsTest : public AppFixture {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QString Pane() { return window().textPane.text; }
    Documents& documents() { return app_.documents(); }
};

TEST_F(DocumentsTest, StartingAnAudioFileShowsItsTextAndArmsTheListTimers) {
    const QString audio = Write(QStringLiteral("lesson.mp3"), "ID3");
    Write(QStringLiteral("lesson.txt"),
          QStringEncoder("GB18030").encode(QString::fromUtf8("第一课\r\n你好")));
    EnablePair(window().setAButton, window().setAItem, false);
    window().markFlags[0].visible = true;
    documents().StartAudioFile(audio);
    EXPECT_EQ(Pane(), QString::fromUtf8("第一课\r\n你好"));
    EXPECT_EQ(player_.Url(), audio);
    EXPECT_EQ(player_.PlayState(), kPlayStatePlaying);
    EXPECT_EQ(window().listingTimer.intervalMs, 250);
    EXPECT_TRUE(window().listingTimer.Running() && window().sequentialPlayTimer.Running());
    EXPECT_EQ(state().durationRetries, 5);
    EXPECT_TRUE(window().setAButton.enabled && window().saveListItem.enabled);
    EXPECT_FALSE(window().markFlags[0].visible);
}

TEST_F(DocumentsTest, TheCompanionsLoadInOrderAndTheWordDocumentWins) {
    const QString audio = Write(QStringLiteral("lesson.mp3"), "ID3");
    Write(QStringLiteral("lesson.txt"), "plain text");
    Write(QStringLiteral("lesson.rtf"), "{\\rtf1\\ansi rich text\\par}");
    documents().StartAudioFile(audio);
    EXPECT_EQ(Pane(), QStringLiteral("rich text\r\n"));
    Write(QStringLiteral("lesson.doc"), "not really a word document");
    documents().StartAudioFile(audio);
    EXPECT_EQ(Pane(), QString()) << "the unreadable doc was the last one loaded";
    EXPECT_TRUE(dialogs_.shown.empty()) << "a companion's problem is not a message";
}

TEST_F(DocumentsTest, CompanionsAreFoundWhateverTheirLetterCase) {
    const QString audio = Write(QStringLiteral("Lesson.MP3"), "ID3");
    Write(QStringLiteral("LESSON.RTF"), "{\\rtf1 upper case\\par}");
    documents().StartAudioFile(audio);
    EXPECT_EQ(Pane(), QStringLiteral("upper case\r\n"));
}

TEST_F(DocumentsTest, CompanionsOfAnyAudioFormatShareItsWholeBaseName) {
    // A timed text beats the plain one beside it, whatever the length of the audio file's suffix.
    const QString flac = Write(QStringLiteral("lesson.flac"), "fLaC");
    Write(QStringLiteral("lesson.txt"), "plain");
    Write(QStringLiteral("lesson.lrc"), "[00:01.00]Guten Tag\r\n");
    documents().StartAudioFile(flac);
    EXPECT_EQ(Pane(), QStringLiteral("Guten Tag"));
    EXPECT_TRUE(window().followTextTimer.enabled);

    // A .docx (in capitals) follows the .doc and the rich text.
    const QString opus = Write(QStringLiteral("talk.opus"), "OggS");
    Write(QStringLiteral("talk.rtf"), "{\\rtf1 rich\\par}");
    Write(QStringLiteral("TALK.DOCX"),
          testing::BuildDocx(QStringLiteral("<w:p><w:r><w:t>From Word</w:t></w:r></w:p>")));
    documents().StartAudioFile(opus);
    EXPECT_EQ(Pane(), QStringLiteral("From Word\r\n"));

    // Only the last dot starts the suffix.
    Write(QStringLiteral("unit.txt"), "the wrong unit");
    Write(QStringLiteral("unit.1.txt"), "unit one");
    documents().StartAudioFile(Write(QStringLiteral("unit.1.m4a"), "ftyp"));
    EXPECT_EQ(Pane(), QStringLiteral("unit one"));
    EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(DocumentsTest, AnAudioFileWithoutACompanionEmptiesThePane) {
    window().textPane.text = QStringLiteral("earlier text");
    documents().StartAudioFile(Write(QStringLiteral("bare.mp3"), "ID3"));
    EXPECT_EQ(Pane(), QString());
}

TEST_F(DocumentsTest, ALrcChosenDirectlyIsShownWithoutItsTagsOrAsItIsAndNothingPlays) {
    const QString lrc = Write(QStringLiteral("song.lrc"), "[00:01.00]Hello\r\n[00:02.50]World\r\n");
    window().showTextBox.value = 0;
    window().textPane.visible = false;
    documents().OpenChosenFile(lrc, QStringLiteral("song.lrc"));
    EXPECT_EQ(Pane(), QStringLiteral("Hello\nWorld"));
    documents().SetTimedTextRaw(true);
    EXPECT_EQ(Pane(), QStringLiteral("[00:01.00]Hello\r\n[00:02.50]World\r\n"));
    EXPECT_FALSE(window().followTextTimer.enabled) << "the file as it is has no spoken line";
    EXPECT_EQ(player_.Url(), QString());
    EXPECT_EQ(window().showTextBox.value, 1);
    EXPECT_TRUE(window().textPane.visible);
    EXPECT_EQ(state().currentAudioPath, lrc);
    EXPECT_EQ(
        ReadIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"), app_.folder().SettingsFile()),
        lrc);
}

TEST_F(DocumentsTest, AnAudioFileChosenDirectlyJoinsTheListWithItsSegments) {
    AddRow(QStringLiteral("/m/first.mp3"));
    app_.playlist().LoadPlaylistGrid();
    const QString audio = Write(QStringLiteral("new.mp3"), "ID3");
    documents().OpenChosenFile(audio, QStringLiteral("new.mp3"));
    EXPECT_EQ(state().currentListRow, 2) << "the first empty row";
    EXPECT_EQ(player_.Url(), audio);
    probe_.seconds[audio] = 3;
    app_.ListPlayingFile();
    probe_.DeliverAll();
    app_.ListPlayingFile();
    EXPECT_EQ(grid().CellText(2, kPathColumn), audio);

    // Chosen again, its stored segments become current at once.
    AddRow(dir_.filePath(QStringLiteral("kept.mp3")), QStringLiteral("1:00"),
           {QStringLiteral("A00:01B00:02")});
    const QString kept = Write(QStringLiteral("kept.mp3"), "ID3");
    documents().OpenChosenFile(kept, QStringLiteral("kept.mp3"));
    EXPECT_EQ(state().abList.size(), 1u);
    EXPECT_EQ(window().segmentCountLabel.caption, QStringLiteral("1"));
}

TEST_F(DocumentsTest, EveryAudioFormatChosenDirectlyPlaysAndADocxShowsItsText) {
    for (const char* name : {"talk.OPUS", "lesson.flac", "dialogue.m4a", "song.ogg", "take.wav"}) {
        const QString audio = Write(QString::fromUtf8(name), "audio");
        documents().OpenChosenFile(audio, QString::fromUtf8(name));
        EXPECT_EQ(player_.Url(), audio);
        EXPECT_EQ(state().currentListRow, 1) << "the first empty row";
    }
    const QString docx = Write(QStringLiteral("essay.docx"),
                               testing::BuildDocx(QStringLiteral("<w:p><w:r><w:t>Essay</w:t></w:r></w:p>")));
    documents().OpenChosenFile(docx, QStringLiteral("essay.docx"));
    EXPECT_EQ(Pane(), QStringLiteral("Essay\r\n"));
    EXPECT_TRUE(window().textPane.visible);
    EXPECT_EQ(player_.Url(), dir_.filePath(QStringLiteral("take.wav"))) << "a document plays nothing";

    const QString broken = Write(QStringLiteral("broken.docx"), "PK\x03\x04 not a zip after all");
    documents().OpenChosenFile(broken, QStringLiteral("broken.docx"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("无法读取文档")));
}

TEST_F(DocumentsTest, AMissingWordDocumentSaysSo) {
    documents().LoadTextDocument(dir_.filePath(QStringLiteral("gone.doc")));
    documents().LoadTextDocument(dir_.filePath(QStringLiteral("gone.DOCX")));
    ASSERT_EQ(dialogs_.shown.size(), 2u);
    EXPECT_EQ(dialogs_.shown[0].text, QString::fromUtf8("没有该文件"));
    EXPECT_EQ(dialogs_.shown[1].text, QString::fromUtf8("没有该文件"));
}

TEST_F(DocumentsTest, AnUnreadableDocumentChosenDirectlyIsExplained) {
    const QString doc = Write(QStringLiteral("broken.doc"), "garbage, not an OLE file");
    documents().OpenChosenFile(doc, QStringLiteral("broken.doc"));
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(dialogs_.shown[0].text.startsWith(QString::fromUtf8("无法读取文档")));
}

TEST_F(DocumentsTest, AnRtfSavedUnderADocNameReadsAsRtfChosenOrAsACompanion) {
    const QString doc =
        Write(QStringLiteral("lesson.doc"), "\xEF\xBB\xBF\r\n{\\rtf1\\ansi Word 6.0/95 export\\par}");
    documents().OpenChosenFile(doc, QStringLiteral("lesson.doc"));
    EXPECT_EQ(Pane(), QStringLiteral("Word 6.0/95 export\r\n"));
    EXPECT_TRUE(dialogs_.shown.empty());
    window().textPane.text.clear();
    documents().StartAudioFile(Write(QStringLiteral("lesson.mp3"), "ID3"));
    EXPECT_EQ(Pane(), QStringLiteral("Word 6.0/95 export\r\n"));
}

TEST_F(DocumentsTest, TheOpenDialogStartsAtTheLastPathAndACancelOpensNothing) {
    ASSERT_TRUE(WriteIniValue(QStringLiteral("Mp3PrePath"), QStringLiteral("Path"),
                              QStringLiteral("/m/last.mp3"), app_.folder().SettingsFile())
                    .ok());
    app_.Run(Command::OpenFile);
    ASSERT_EQ(dialogs_.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs_.fileDialogs[0].second, QStringLiteral("/m/last.mp3"));
    // Every audio kind first; the single kinds after it as they always were, the .docx after the .doc.
    const QStringList filter = dialogs_.fileDialogs[0].first.split(u'|');
    ASSERT_EQ(filter.size(), 16);
    EXPECT_TRUE(filter[0].startsWith(QString::fromUtf8("所有音频(")));
    for (const char* suffix : {"mp3", "wma", "m4a", "ogg", "opus", "flac", "wav"})
        EXPECT_TRUE(filter[1].split(u';').contains(QStringLiteral("*.") + QString::fromUtf8(suffix)))
            << suffix;
    EXPECT_EQ(filter.mid(2).join(u'|'),
              QString::fromUtf8(
                  "MP3文件(*.mp3)|*.mp3|WMA文件(*.wma)|*.wma|文本文档(*.txt)|*.txt|RTF文档(*.rtf)|*.rtf|"
                  "word文档(*.doc)|*.doc|word文档(*.docx)|*.docx|所有文件(*.*)|*.*"));
    EXPECT_EQ(player_.Url(), QString());
    app_.Run(Command::ShowUsage);
    EXPECT_EQ(dialogs_.fileDialogs.size(), 1u) << "the usage button does nothing";
}

}  // namespace
}  // namespace ostrelle
