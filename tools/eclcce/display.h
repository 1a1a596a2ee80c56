// Whether a window can be shown to a user: a reachable X or Wayland display, not an offscreen
// or headless Qt platform.
#pragma once

namespace eclcce {

// False when QT_QPA_PLATFORM names a headless platform ("offscreen", "minimal"); otherwise
// true when the Wayland compositor or X server the environment names accepts a connection (or
// QT_QPA_PLATFORM names another platform of its own, such as a framebuffer).
bool DisplayAvailable();

} // namespace eclcce
