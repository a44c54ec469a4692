#include "app/ostrelle.h"

namespace ostrelle {

Ostrelle::Ostrelle(const Adapters& adapters)
    : adapters_(adapters),
      display_(window_),
      store_(adapters.database),
      repeat_(window_, state_, adapters.player, display_),
      editor_(window_, state_, adapters.player, display_, store_, repeat_, adapters.dialogs) {}

void Ostrelle::RunCommand(int index) {
    switch (index) {
        case 2:
            repeat_.PlayRepeat();
            break;
        case 3:
            editor_.SetAPoint();
            break;
        case 4:
            editor_.SetBPoint();
            break;
        case 7:
            repeat_.NextSegment();
            break;
        case 8:
            repeat_.PreviousSegment();
            break;
        default:
            break;
    }
}

void Ostrelle::AeroButton4_Click(int index) {
    if (index == 0) editor_.DeleteCurrentAB();
    if (index == 1) editor_.DeleteAllAB();
}

}  // namespace ostrelle
