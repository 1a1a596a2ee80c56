#include "author/dvdauthor_xml.h"

#include <algorithm>

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

namespace {

// One titleset per title, each returning to the disc's menu at its end, and the document's end.
void AppendTitlesetsAndEnd(std::string& xml, const std::string& format,
                           const std::vector<XmlTitle>& titles) {
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
}

} // namespace

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
    AppendTitlesetsAndEnd(xml, format, titles);
    return xml;
}

std::string DvdAuthorMenuXml(const std::string& dest, const std::string& format,
                             const std::string& menuMpg, const std::vector<XmlTitle>& titles) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<dvdauthor dest=\"" + XmlEscape(dest) + "\" jumppad=\"yes\">\n";
    xml += "  <vmgm>\n    <fpc>jump menu 1;</fpc>\n    <menus>\n";
    xml += "      <video format=\"" + format + "\"/>\n";
    xml += "      <pgc entry=\"title\">\n";
    xml += "        <vob file=\"" + XmlEscape(menuMpg) + "\" pause=\"inf\"/>\n";
    for (size_t i = 1; i <= titles.size(); ++i) {
        xml += "        <button name=\"b" + std::to_string(i) + "\">jump title " +
               std::to_string(i) + ";</button>\n";
    }
    xml += "      </pgc>\n    </menus>\n  </vmgm>\n";
    AppendTitlesetsAndEnd(xml, format, titles);
    return xml;
}

std::vector<MenuButton> MenuButtons(int count, int width, int height) {
    std::vector<MenuButton> buttons;
    if (count <= 0) {
        return buttons;
    }
    // Inside the title-safe area, below the disc's title (the top fifth).
    const int top = height / 5 + 20;
    const int bottom = height - height / 10;
    const int step = std::max(2, std::min(56, (bottom - top) / count) & ~1);
    for (int i = 0; i < count; ++i) {
        MenuButton b;
        b.x0 = (width / 10) & ~1;
        b.x1 = (width - width / 10) & ~1;
        b.y0 = (top + i * step) & ~1;
        b.y1 = (b.y0 + step - 4) & ~1;
        buttons.push_back(b);
    }
    return buttons;
}

std::string SpumuxXml(const std::string& highlightPng, const std::vector<MenuButton>& buttons) {
    std::string xml = "<subpictures>\n  <stream>\n    <spu start=\"00:00:00.00\" force=\"yes\" "
                      "highlight=\"" +
                      XmlEscape(highlightPng) + "\" select=\"" + XmlEscape(highlightPng) + "\">\n";
    const size_t n = buttons.size();
    for (size_t i = 0; i < n; ++i) {
        const MenuButton& b = buttons[i];
        xml += "      <button name=\"b" + std::to_string(i + 1) + "\" x0=\"" +
               std::to_string(b.x0) + "\" y0=\"" + std::to_string(b.y0) + "\" x1=\"" +
               std::to_string(b.x1) + "\" y1=\"" + std::to_string(b.y1) + "\" up=\"b" +
               std::to_string((i + n - 1) % n + 1) + "\" down=\"b" +
               std::to_string((i + 1) % n + 1) + "\"/>\n";
    }
    xml += "    </spu>\n  </stream>\n</subpictures>\n";
    return xml;
}

} // namespace author
