#include "app/look.h"

#include <QPalette>

namespace quellin::app {

QColor ColorFromWindows(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

std::uint32_t WindowsFromColor(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

void SetBackgroundColor(QWidget& widget, std::uint32_t value) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, ColorFromWindows(value));
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
    widget.setProperty(kColorProperty, static_cast<uint>(value));
}

QFont DesignFont(const char* family, int pixelSize, bool bold) {
    InstallFontSubstitutes();
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void InstallFontSubstitutes() {
    static const bool installed = [] {
        // Liberation Sans has Arial's metrics; MS Sans Serif is a bitmap font Linux lacks, and
        // the same sans face keeps the design's widths closest.
        QFont::insertSubstitution("Arial", "Liberation Sans");
        QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
        return true;
    }();
    (void)installed;
}

}  // namespace quellin::app
