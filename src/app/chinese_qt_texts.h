#pragma once

namespace ostrelle {

// Qt's own texts (standard buttons, the file dialogs) in Chinese, like the rest of the window: Qt's
// translations, and the few that Debian's Qt 6 has none for. Needs a QCoreApplication; lasts as long as
// the program.
void InstallChineseQtTexts();

}  // namespace ostrelle
