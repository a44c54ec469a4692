#pragma once

#include "core/formats/settings_file.h"
#include "support/app_fixture.h"
#include "view/main_window.h"

#include <memory>

namespace ostrelle {

// The controller's fixture with the real main window over it.
class MainWindowTest : public AppFixture {
protected:
    QString Ini() const { return app_.folder().SettingsFile(); }

    void WriteIni(const char* section, const char* key, const char* value) {
        ASSERT_TRUE(WriteIniValue(QString::fromLatin1(section), QString::fromLatin1(key),
                                  QString::fromLatin1(value), Ini())
                        .ok());
    }

    // Start-up as the program does it: the window is built, start-up runs under its guard, then it shows.
    MainWindow& Start() {
        window_ = std::make_unique<MainWindow>(app_, player_);
        window_->StartUp([this] { app_.Start(); });
        window_->show();
        return *window_;
    }

    std::unique_ptr<MainWindow> window_;
};

}  // namespace ostrelle
