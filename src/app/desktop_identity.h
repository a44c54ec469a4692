#pragma once

namespace ostrelle {

// Tells the desktop which entry the running program belongs to (its task bar button and the Wayland app id
// follow it) and gives every window the program's icon. Needs the application object.
void ApplyDesktopIdentity();

}  // namespace ostrelle
