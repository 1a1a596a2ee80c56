// The user's own folders (XDG base directories) and whether a folder takes new files.
#pragma once

#include <string>

namespace platform {

// $XDG_CONFIG_HOME, else $HOME/.config; an unset, empty or relative value counts as unset. "."
// when neither is known.
std::string UserConfigHome();

// $XDG_STATE_HOME, else $HOME/.local/state, by the same rules.
std::string UserStateHome();

// True when this process may create files in `folder`: the folder exists, its permissions let
// this user write there and its file system is not mounted read-only.
bool IsWritableFolder(const std::string& folder);

} // namespace platform
