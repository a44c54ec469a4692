#include "core/operations/speed_control.h"

#include "core/formats/settings_file.h"

#include <algorithm>
#include <cmath>

namespace ostrelle {
namespace {

const QString kRateKey = QStringLiteral("Rate");
const QString kProgressiveKey = QStringLiteral("Progressive");

// Speeds are kept to hundredths, so that steps of 0.05 land on the presets exactly.
double Hundredths(double rate) {
    return std::round(rate * 100.0) / 100.0;
}

bool SameSpeed(double a, double b) {
    return std::abs(a - b) < 0.001;
}

}  // namespace

double PassRate(const SpeedChoice& choice, int pass, int passes) {
    if (!choice.progressive || choice.rate >= 1.0 || passes <= 1) return choice.rate;
    const int last = passes - 1;
    const int done = std::clamp(pass, 0, last);
    return choice.rate + (1.0 - choice.rate) * done / last;
}

QString SpeedText(double asked, double playing) {
    if (SameSpeed(asked, 1.0)) return {};
    if (SameSpeed(playing, 1.0)) return QString::fromUtf8("  1.00×(此文件不能变速)");
    return QStringLiteral("  ") + QString::number(playing, 'f', 2) + QString::fromUtf8("×");
}

void SpeedControl::Restore(const QString& settingsFile) {
    const QString section = QString::fromLatin1(kSection);
    bool ok = false;
    const double rate = ReadIniValue(section, kRateKey, settingsFile).trimmed().toDouble(&ok);
    choice_.rate =
        ok && rate >= MediaPlayer::kMinRate && rate <= MediaPlayer::kMaxRate ? Hundredths(rate) : 1.0;
    choice_.progressive =
        ReadIniValue(section, kProgressiveKey, settingsFile).trimmed() == QStringLiteral("1");
    Apply(choice_.rate);
    ShowChoice();
}

bool SpeedControl::Owns(Command command) const {
    return PresetSpeed(command) || command == Command::ToggleProgressiveSpeed || command == Command::Slower ||
           command == Command::Faster || command == Command::NormalSpeed;
}

void SpeedControl::Run(Command command) {
    if (const std::optional<double> preset = PresetSpeed(command)) {
        Choose(*preset);
    } else if (command == Command::Slower) {
        Choose(choice_.rate - kStep);
    } else if (command == Command::Faster) {
        Choose(choice_.rate + kStep);
    } else if (command == Command::NormalSpeed) {
        Choose(1.0);
    } else if (command == Command::ToggleProgressiveSpeed) {
        choice_.progressive = !choice_.progressive;
        writeSetting_(kProgressiveKey, choice_.progressive ? QStringLiteral("1") : QStringLiteral("0"));
        ShowChoice();
    }
}

void SpeedControl::Choose(double rate) {
    if (!std::isfinite(rate)) return;
    choice_.rate = Hundredths(std::clamp(rate, MediaPlayer::kMinRate, MediaPlayer::kMaxRate));
    // A change in the middle of a progressive run holds for the rest of it; the next run ramps again.
    Apply(choice_.rate);
    writeSetting_(kRateKey, QString::number(choice_.rate, 'f', 2));
    ShowChoice();
}

void SpeedControl::StartPass(int pass, int passes) {
    Apply(PassRate(choice_, pass, passes));
}

void SpeedControl::EndRun() {
    Apply(choice_.rate);
}

void SpeedControl::Apply(double rate) {
    asked_ = rate;
    player_.SetRate(rate);
}

void SpeedControl::ShowChoice() {
    Window& w = window_;
    const std::pair<double, MenuItem Window::*> presets[] = {
        {0.5, &Window::speed50Item},  {0.6, &Window::speed60Item},  {0.7, &Window::speed70Item},
        {0.8, &Window::speed80Item},  {0.9, &Window::speed90Item},  {1.0, &Window::speed100Item},
        {1.2, &Window::speed120Item}, {1.5, &Window::speed150Item}, {2.0, &Window::speed200Item}};
    for (const auto& [rate, item] : presets)
        (w.*item).checked = SameSpeed(rate, choice_.rate);
    w.progressiveSpeedItem.checked = choice_.progressive;
    w.slowerItem.enabled = choice_.rate > MediaPlayer::kMinRate + 0.001;
    w.fasterItem.enabled = choice_.rate < MediaPlayer::kMaxRate - 0.001;
}

}  // namespace ostrelle
