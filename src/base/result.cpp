#include "base/result.h"

namespace ostrelle {
namespace {

QString Sentence(FailureCode code) {
    switch (code) {
        case FailureCode::CannotRead:
            return QString::fromUtf8("无法读取文件。");
        case FailureCode::CannotWrite:
            return QString::fromUtf8("无法写入文件，请检查文件夹是否可写、磁盘是否已满。");
        case FailureCode::NotAFile:
            return QString::fromUtf8("这不是一个文件。");
        case FailureCode::TooLarge:
            return QString::fromUtf8("文件太大。");
        case FailureCode::NoInputDevice:
            return QString::fromUtf8("无法打开录音设备，请检查麦克风和声音服务。");
        case FailureCode::DeviceFailed:
            return QString::fromUtf8("声音设备出错。");
        case FailureCode::DeviceNotReady:
            return QString::fromUtf8("声音设备还没有准备好。");
        case FailureCode::NotAudio:
            return QString::fromUtf8("无法播放这个文件。");
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
