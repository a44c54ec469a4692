#include "core/operations/waveform_panel.h"

#include "core/formats/settings_file.h"

namespace ostrelle {

namespace {

const QString kSection = QStringLiteral("Waveform");
const QString kShownKey = QStringLiteral("Shown");

}  // namespace

void WaveformPanel::Restore(const QString& settingsFile) {
    window_.waveform.shown = ReadIniSwitch(kSection, kShownKey, settingsFile);
}

void WaveformPanel::Run(Command command) {
    if (command == Command::ToggleWaveformZoom) {
        window_.waveform.zoomed = !window_.waveform.zoomed;
        return;
    }
    window_.waveform.shown = !window_.waveform.shown;
    writeSetting_(kSection, kShownKey, window_.waveform.shown ? QStringLiteral("1") : QStringLiteral("0"));
}

void WaveformPanel::Present() {
    window_.waveformItem.caption = QString::fromUtf8(window_.waveform.shown ? "隐藏波形" : "显示波形");
    window_.waveformZoomItem.enabled = window_.waveform.shown;
}

}  // namespace ostrelle
