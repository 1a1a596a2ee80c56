// The title menu's still and its highlight picture, drawn with Qt.
#pragma once

#include "author/dvdauthor_xml.h"

#include <string>
#include <vector>

namespace author_tool {

// Draws the still (`title` at the top, each of `labels` in its button, on a plain background)
// and the highlight (a frame around each button, on transparency, in one colour as a
// subpicture takes it) as PNG files of `width` x `height`. False (and why) when either cannot
// be written.
bool RenderMenu(const std::string& title, const std::vector<std::string>& labels,
                const std::vector<author::MenuButton>& buttons, int width, int height,
                const std::string& stillPng, const std::string& highlightPng, std::string& error);

} // namespace author_tool
