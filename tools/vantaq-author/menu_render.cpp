#include "menu_render.h"

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdlib>

namespace author_tool {

bool RenderMenu(const std::string& title, const std::vector<std::string>& labels,
                const std::vector<author::MenuButton>& buttons, int width, int height,
                const std::string& stillPng, const std::string& highlightPng, std::string& error) {
    // Text needs the application's fonts; no window is shown, so no display is needed.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "vantaq-author";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    QImage still(width, height, QImage::Format_RGB32);
    still.fill(QColor(24, 36, 64));
    {
        QPainter p(&still);
        p.setPen(Qt::white);
        QFont big;
        big.setPixelSize(height / 14);
        big.setBold(true);
        p.setFont(big);
        p.drawText(QRect(0, height / 12, width, height / 5 - height / 12 + 10), Qt::AlignCenter,
                   QString::fromStdString(title));
        QFont small;
        small.setPixelSize(std::max(
            12, std::min(26, (buttons.empty() ? 26 : buttons[0].y1 - buttons[0].y0) - 12)));
        p.setFont(small);
        for (size_t i = 0; i < buttons.size() && i < labels.size(); ++i) {
            const author::MenuButton& b = buttons[i];
            p.drawText(QRect(b.x0 + 16, b.y0, b.x1 - b.x0 - 32, b.y1 - b.y0),
                       Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(labels[i]));
        }
    }
    QImage highlight(width, height, QImage::Format_ARGB32);
    highlight.fill(Qt::transparent);
    {
        QPainter p(&highlight);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(QColor(255, 220, 0), 4));
        for (const author::MenuButton& b : buttons) {
            p.drawRect(QRect(b.x0 + 2, b.y0 + 2, b.x1 - b.x0 - 5, b.y1 - b.y0 - 5));
        }
    }
    if (!still.save(QString::fromStdString(stillPng), "PNG") ||
        !highlight.save(QString::fromStdString(highlightPng), "PNG")) {
        error = "cannot write the menu pictures " + stillPng + " and " + highlightPng;
        return false;
    }
    return true;
}

} // namespace author_tool
