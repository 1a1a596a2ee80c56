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

// `text` with &, <, >, " and ' as XML entities.
std::string XmlEscape(const std::string& text);

} // namespace author
