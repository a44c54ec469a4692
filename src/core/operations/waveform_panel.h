#pragma once

#include "core/model/window_model.h"
#include "core/operations/feature.h"

#include <functional>

namespace ostrelle {

// 显示波形 and 波形：当前段/全部: the waveform strip under the text pane, shown or hidden (kept in the
// settings file) and showing the current segment or the whole file.
class WaveformPanel final : public Feature {
public:
    using WriteSetting =
        std::function<void(const QString& section, const QString& key, const QString& value)>;

    WaveformPanel(Window& window, WriteSetting writeSetting)
        : window_(window), writeSetting_(std::move(writeSetting)) {}

    // The learner's choice from the settings file.
    void Restore(const QString& settingsFile);
    bool Owns(Command command) const override {
        return command == Command::ToggleWaveform || command == Command::ToggleWaveformZoom;
    }
    void Run(Command command) override;
    void Present() override;

private:
    Window& window_;
    WriteSetting writeSetting_;
};

}  // namespace ostrelle
