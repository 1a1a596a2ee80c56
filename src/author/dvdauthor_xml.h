// The control file dvdauthor builds a disc from.
#pragma once

#include <string>
#include <vector>

namespace author {

struct XmlTitle {
    std::string mpg;      // the muxed program stream
    std::string chapters; // "0:00:00.000,..." or "" for one chapter
};

// The XML for a disc of `titles` in that order, one titleset each, in `dest` (the folder that
// gets VIDEO_TS): `format` "ntsc" or "pal". The disc starts the first title on insertion and
// each title goes on to the next. Paths and texts are escaped for XML.
std::string DvdAuthorXml(const std::string& dest, const std::string& format,
                         const std::vector<XmlTitle>& titles);

// A title menu: the still (with its highlight muxed in by spumux) and one button per title,
// named b1, b2, ... in title order. The disc starts on the menu; each title returns to it.
std::string DvdAuthorMenuXml(const std::string& dest, const std::string& format,
                             const std::string& menuMpg, const std::vector<XmlTitle>& titles);

// A menu button's place on the still, in pixels (x1, y1 one past the edge; even numbers, as
// subpictures are placed on even lines).
struct MenuButton {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};

// The places of `count` buttons in one column on a still of `width` x `height`.
std::vector<MenuButton> MenuButtons(int count, int width, int height);

// spumux's control file: the highlight picture over the buttons, up and down moving between
// them in order (the last wraps to the first).
std::string SpumuxXml(const std::string& highlightPng, const std::vector<MenuButton>& buttons);

// `text` with &, <, >, " and ' as XML entities.
std::string XmlEscape(const std::string& text);

} // namespace author
