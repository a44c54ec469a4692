#include "core/operations/controller.h"

#include "core/formats/atomic_file.h"
#include "core/formats/settings_file.h"

#include <QFileInfo>

namespace ostrelle {
namespace {

constexpr int kTextPaneFontPt = 17;
constexpr int kStartVolume = 68;

// Whether a stored text reads as the number one ("1", " 1", "1.0"); anything else is not one.
bool ReadsAsOne(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value == 1.0;
}

// A stored whole number, or nothing for a text that is not one.
std::optional<int> WholeNumber(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

const std::vector<MenuSection>& MenuBar() {
    static const std::vector<MenuSection> bar = {
        {&Window::idmFile,
         {{MenuId::OpenMp3, &Window::idmOpenMp3},
          {MenuId::OpenMp3List, &Window::idmOpenMp3List},
          {MenuId::ListSave, &Window::idmListSave},
          {MenuId::DeleteList, &Window::idmDeleteList},
          {MenuId::ClearList, &Window::idmClearList},
          {MenuId::Close, &Window::idmClose}}},
        {&Window::imdRecord,
         {{MenuId::RecordStart, &Window::idmRecordStart},
          {MenuId::PlayRecord, &Window::idmPlayRecord},
          {MenuId::RecordSave, &Window::idmRecordSave}}},
        {&Window::idmRead,
         {{MenuId::PlayReread, &Window::idmPlayReread},
          {MenuId::APoint, &Window::idmAPoint},
          {MenuId::BPoint, &Window::idmBPoint},
          {MenuId::Pre, &Window::idmPre},
          {MenuId::Next, &Window::idmNext},
          {MenuId::DeleteCurrentAB, &Window::idmDeleteCurrentAB},
          {MenuId::DeleteAB, &Window::idmDeleteAB}}},
        {&Window::idmPlayer,
         {{MenuId::Play, &Window::idmPlay},
          {MenuId::Pause, &Window::idmPause},
          {MenuId::Stop, &Window::idmStop}}},
        {&Window::idmUseManue, {{MenuId::User, &Window::idmUser}}},
    };
    return bar;
}

Ostrelle::Ostrelle(const Adapters& adapters, ProgramFolder folder)
    : adapters_(adapters),
      folder_(std::move(folder)),
      display_(window_),
      store_(adapters.database),
      repeat_(window_, state_, adapters.player, display_),
      editor_(window_, state_, adapters.player, display_, store_, repeat_, adapters.dialogs),
      documents_(window_, state_, adapters.player, adapters.dialogs, folder_.SettingsFile(),
                 {.writeSetting =
                      [this](const QString& section, const QString& key, const QString& value) {
                          WriteSettings({{section, key, value}});
                      },
                  .countPlaylistRows = [this] { return playlist_.CountPlaylistRows(); },
                  .findPlaylistRow = [this](const QString& path) { return playlist_.FindPlaylistRow(path); },
                  .loadFileSegments = [this](const QString& path,
                                             int row) { transport_.LoadFileSegments(path, row); }}),
      transport_(window_, state_, adapters.player, repeat_, display_, editor_,
                 [this](const QString& path) { documents_.LoadCompanionText(path); }),
      playlist_(window_, state_, adapters.player, adapters.dialogs, adapters.probe, adapters.database,
                display_,
                {.startAudioFile = [this](const QString& path) { documents_.StartAudioFile(path); },
                 .loadFileSegments = [this](const QString& path,
                                            int row) { transport_.LoadFileSegments(path, row); }}),
      playlistFiles_(window_, state_, adapters.player, adapters.dialogs, adapters.probe, adapters.database,
                     playlist_),
      recorder_(window_, adapters.player, adapters.waveDevice, adapters.dialogs, folder_.RecordingFile()) {}

void Ostrelle::Form_Load() {
    Window& w = window_;
    MediaPlayer& player = adapters_.player;
    const QString ini = folder_.SettingsFile();

    w.aeroGroupBox2.geometry = {120, 4800, 3375, 1215};
    w.aeroGroupBox1.geometry.left = 120;
    w.aeroGroupBox1.geometry.top = 6000;
    w.aeroGroupBox1.geometry.height = 2895;
    w.aeroGroupBox3.geometry.width = 3375;
    w.aeroTextBox1.geometry = w.aeroTextBox2.geometry = {3600, 280, 10455, 7875};
    w.wmPlayer1 = {3600, 8160, 10455, 735};
    w.title = QString::fromUtf8(kTitle) + u',' + QString::fromUtf8(kMakerCredit);
    state_.currentListRow = 1;
    player.SetVolume(kStartVolume);
    w.aeroTextBox1.text.clear();
    w.aeroTextBox1.background = {255, 255, 255};
    w.aeroTextBox1.readOnly = true;
    EnablePair(w.aeroButton1[6], w.idmDeleteList, false);
    SetupPlaylistGrid(w.grid1);
    playlist_.LoadPlaylistGrid();
    w.grid1.toolTip = QString::fromUtf8("双击表格列 可以打开MP3及文本");
    w.aeroButton1[3].toolTip = QString::fromUtf8("A段点设置");
    w.aeroButton1[4].toolTip = QString::fromUtf8("B段点设置");
    w.aeroButton4[0].toolTip = QString::fromUtf8("删除当前显示的AB段点复读设置");
    w.aeroButton4[1].toolTip = QString::fromUtf8("删除当前播放的MP3所有AB段点复读位置");
    for (int i = 0; i < 2; ++i) {
        w.image1[i] = {{3890, 7920, 570, 360}, false};
        w.picture2[i] = {{3890, 7960, 585, 195}, false};
        w.label3[i].geometry.left = 0;
        w.label3[i].geometry.top = 0;
    }
    EnablePair(w.aeroButton1[2], w.idmPlayReread, false);
    EnablePair(w.aeroButton1[4], w.idmBPoint, false);
    EnablePair(w.aeroButton1[8], w.idmPre, false);
    EnablePair(w.aeroButton1[7], w.idmNext, false);
    player.SetAutoStart(false);
    for (CheckBox& box : w.aeroCheckBox1)
        box.value = 1;
    w.timer4.enabled = true;
    EnablePair(w.aeroButton1[5], w.idmClearList, false);
    if (!w.grid1.CellText(1, 2).isEmpty()) {
        EnablePair(w.aeroButton1[5], w.idmClearList, true);
        EnablePair(w.aeroButton1[6], w.idmDeleteList, true);
        playlist_.SelectPlaylistRow(state_.currentListRow);
    }
    for (int i = 0; i < 6; ++i) {
        w.combo1[0].items << QString::number(i + 1) + QString::fromUtf8("次");
        w.combo1[1].items << QString::number(i) + QString::fromUtf8("秒");
        w.combo1[2].items << QString::number(i + 8);
    }
    RestoreRepeatSettings();

    // From here on each step stands alone.
    w.aeroTextBox1.fontSizePt = kTextPaneFontPt;
    recorder_.DiscardUnfinishedRecordings();
    RemoveStaleTemporaries(ini);
    const bool recordingKept = QFileInfo(folder_.RecordingFile()).isFile();
    EnablePair(w.aeroButton1[1], w.idmPlayRecord, recordingKept);
    w.aeroButton3.enabled = w.idmRecordSave.enabled = recordingKept;
    if (!ReadsAsOne(ReadIniValue(QStringLiteral("Fist"), QStringLiteral("run"), ini)))
        documents_.OpenChosenFile(folder_.IntroductionFile(), QStringLiteral(".mp3"));
    WriteSettings({{QStringLiteral("Fist"), QStringLiteral("run"), QStringLiteral("1")}});
}

void Ostrelle::WriteSettings(const std::vector<std::array<QString, 3>>& sectionKeyValues) {
    QString error;
    for (const auto& [section, key, value] : sectionKeyValues) {
        const IniWriteResult result = WriteIniValue(section, key, value, folder_.SettingsFile());
        if (!result.ok && error.isEmpty()) error = result.error;
    }
    if (!error.isEmpty())
        adapters_.dialogs.ShowMessage(QString::fromUtf8("设置没有保存：") + error, QStringLiteral("Ostrelle"),
                                      MessageButtons::Ok);
}

void Ostrelle::RestoreRepeatSettings() {
    Window& w = window_;
    // Until a setting is stored, a run plays once without a pause; the font size box is not used.
    w.combo1[0].text = w.combo1[0].items.front();
    w.combo1[1].text = w.combo1[1].items.front();
    w.combo1[2].text = w.combo1[2].items.front();
    w.combo1[2].visible = false;
    w.label5.visible = false;
    const QString ini = folder_.SettingsFile();
    if (!QFileInfo::exists(ini)) return;
    const std::optional<int> count =
        WholeNumber(ReadIniValue(QStringLiteral("comb"), QStringLiteral("0"), ini));
    if (count && *count >= 1 && *count <= w.combo1[0].items.size())
        w.combo1[0].text = w.combo1[0].items[*count - 1];
    const std::optional<int> pause =
        WholeNumber(ReadIniValue(QStringLiteral("comb"), QStringLiteral("1"), ini));
    if (pause && *pause >= 0 && *pause < w.combo1[1].items.size())
        w.combo1[1].text = w.combo1[1].items[*pause];
}

void Ostrelle::RunCommand(int index) {
    switch (index) {
        case 0:
            recorder_.ToggleRecording();
            break;
        case 1:
            recorder_.PlayRecording();
            break;
        case 2:
            repeat_.PlayRepeat();
            break;
        case 3:
            editor_.SetAPoint();
            break;
        case 4:
            editor_.SetBPoint();
            break;
        case 5:
            playlist_.ClearPlaylist();
            break;
        case 6:
            playlist_.DeletePlaylistEntry();
            break;
        case 7:
            repeat_.NextSegment();
            break;
        case 8:
            repeat_.PreviousSegment();
            break;
        case 9:
            playlistFiles_.OpenList();
            break;
        case 10:
            playlistFiles_.SaveM3uList();
            break;
        default:
            break;
    }
}

void Ostrelle::AeroButton4_Click(int index) {
    if (index == 0) editor_.DeleteCurrentAB();
    if (index == 1) editor_.DeleteAllAB();
}

void Ostrelle::Combo1_Click(int /*index*/) {
    WriteSettings({{QStringLiteral("comb"), QStringLiteral("0"), window_.combo1[0].text.left(1)},
                   {QStringLiteral("comb"), QStringLiteral("1"), window_.combo1[1].text.left(1)}});
}

void Ostrelle::MenuClick(MenuId id) {
    switch (id) {
        case MenuId::OpenMp3:
            documents_.AeroButton2_Click(0);
            break;
        case MenuId::OpenMp3List:
            RunCommand(9);
            break;
        case MenuId::ListSave:
            RunCommand(10);
            break;
        case MenuId::DeleteList:
            RunCommand(6);
            break;
        case MenuId::ClearList:
            RunCommand(5);
            break;
        case MenuId::Close:
            if (close_) close_();
            break;
        case MenuId::RecordStart:
            RunCommand(0);
            break;
        case MenuId::PlayRecord:
            RunCommand(1);
            break;
        case MenuId::RecordSave:
            recorder_.SaveRecording();
            break;
        case MenuId::PlayReread:
            RunCommand(2);
            break;
        case MenuId::APoint:
            RunCommand(3);
            break;
        case MenuId::BPoint:
            RunCommand(4);
            break;
        case MenuId::Pre:
            RunCommand(8);
            break;
        case MenuId::Next:
            RunCommand(7);
            break;
        case MenuId::DeleteCurrentAB:
            AeroButton4_Click(0);
            break;
        case MenuId::DeleteAB:
            AeroButton4_Click(1);
            break;
        case MenuId::Play:
            transport_.IDM_play_Click();
            break;
        case MenuId::Pause:
            transport_.IDM_Pause_Click();
            break;
        case MenuId::Stop:
            transport_.IDM_Stop_Click();
            break;
        case MenuId::User:
            break;
    }
}

}  // namespace ostrelle
