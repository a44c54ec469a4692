#include "app/desktop_identity.h"

#include <QApplication>
#include <QIcon>

namespace ostrelle {

void ApplyDesktopIdentity() {
    QGuiApplication::setDesktopFileName(QStringLiteral(OSTRELLE_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ostrelle/icon.svg")));
}

}  // namespace ostrelle
