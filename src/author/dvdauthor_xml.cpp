#include "author/dvdauthor_xml.h"

namespace author {

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string DvdAuthorXml(const std::string& dest, const std::string& format,
                         const std::vector<XmlTitle>& titles) {
    // g0 counts the titles played: the first-play program starts title 1, each title's end
    // comes back to the manager's menu, which starts the next one, or stops after the last.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<dvdauthor dest=\"" + XmlEscape(dest) + "\" jumppad=\"yes\">\n";
    xml += "  <vmgm>\n    <fpc>g0 = 1; jump title 1;</fpc>\n";
    xml += "    <menus>\n      <video format=\"" + format +
           "\"/>\n      <pgc entry=\"title\">\n        <pre>g0 = g0 + 1; ";
    for (size_t i = 2; i <= titles.size(); ++i) {
        xml += "if (g0 eq " + std::to_string(i) + ") jump title " + std::to_string(i) + "; ";
    }
    xml += "exit;</pre>\n      </pgc>\n    </menus>\n  </vmgm>\n";
    for (const XmlTitle& title : titles) {
        xml += "  <titleset>\n    <titles>\n      <video format=\"" + format + "\"/>\n";
        xml += "      <pgc>\n        <vob file=\"" + XmlEscape(title.mpg) + "\"";
        if (!title.chapters.empty()) {
            xml += " chapters=\"" + XmlEscape(title.chapters) + "\"";
        }
        xml += "/>\n        <post>call vmgm menu entry title;</post>\n      </pgc>\n";
        xml += "    </titles>\n  </titleset>\n";
    }
    xml += "</dvdauthor>\n";
    return xml;
}

} // namespace author
