#include "base/result.h"

namespace ostrelle {
namespace {

QString Sentence(FailureCode code) {
    switch (code) {
        case FailureCode::Missing:
            return QString::fromUtf8("找不到文件。");
        case FailureCode::Empty:
            return QString::fromUtf8("文件是空的。");
        case FailureCode::TimedOut:
            return QString::fromUtf8("测量文件长度的时间太长，已放弃。");
        case FailureCode::CannotRead:
            return QString::fromUtf8("无法读取文件。");
        case FailureCode::CannotWrite:
            return QString::fromUtf8("无法写入文件，请检查文件夹是否可写、磁盘是否已满。");
        case FailureCode::NotAFile:
            return QString::fromUtf8("这不是一个文件。");
        case FailureCode::TooLarge:
            return QString::fromUtf8("文件太大。");
        case FailureCode::UnknownKind:
            return QString::fromUtf8("不认识这种文件，只能打开文本、歌词、RTF 和 Word 文档。");
        case FailureCode::NotWordDocument:
            return QString::fromUtf8("这不是 Word 97-2003 文档。");
        case FailureCode::UnsupportedVersion:
            return QString::fromUtf8(
                "不支持这个版本的 Word 文档（Word 6.0/95 或更早），请另存为 Word 97-2003 文档。");
        case FailureCode::Encrypted:
            return QString::fromUtf8("文档有密码保护，无法读取。");
        case FailureCode::Damaged:
            return QString::fromUtf8("文件已损坏。");
        case FailureCode::DatabaseCannotOpen:
            return QString::fromUtf8("无法打开播放列表数据库。");
        case FailureCode::DatabaseDamaged:
            return QString::fromUtf8("播放列表数据库已损坏或密码错误。");
        case FailureCode::DatabaseBusy:
            return QString::fromUtf8("播放列表数据库正被另一个程序使用，请稍后再试。");
        case FailureCode::DatabaseRefused:
            return QString::fromUtf8("播放列表数据库拒绝了这次修改（例如同一个文件已在列表中）。");
        case FailureCode::DatabaseBadCommand:
            return QString::fromUtf8("播放列表数据库命令有误。");
        case FailureCode::DatabaseIo:
            return QString::fromUtf8("读写播放列表数据库时出错。");
        case FailureCode::DatabaseUnavailable:
            return QString::fromUtf8("播放列表数据库不可用。");
        case FailureCode::NoOutputDevice:
            return QString::fromUtf8(
                "没有可用的声音输出，听不到声音。程序照常运行；请检查声音设置和声音服务。");
        case FailureCode::NoInputDevice:
            return QString::fromUtf8("无法打开录音设备，请检查麦克风和声音服务。");
        case FailureCode::DeviceFailed:
            return QString::fromUtf8("声音设备出错。");
        case FailureCode::DeviceNotReady:
            return QString::fromUtf8("声音设备还没有准备好。");
        case FailureCode::NotAudio:
            return QString::fromUtf8("无法播放这个文件。");
        case FailureCode::NoSound:
            return QString::fromUtf8("文件里没有声音。");
    }
    return {};
}

}  // namespace

QString FailureMessage(const Failure& failure) {
    const QString sentence = Sentence(failure.code);
    return failure.detail.isEmpty() ? sentence : sentence + u'\n' + failure.detail;
}

QString FailureMessage(const QString& whatFailed, const Failure& failure) {
    return whatFailed + FailureMessage(failure);
}

}  // namespace ostrelle
