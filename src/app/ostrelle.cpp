#include "app/ostrelle.h"

namespace ostrelle {

Ostrelle::Ostrelle(MediaPlayer& player)
    : player_(player), display_(window_), repeat_(window_, state_, player_, display_) {}

void Ostrelle::RunCommand(int index) {
    switch (index) {
        case 2:
            repeat_.PlayRepeat();
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

}  // namespace ostrelle
