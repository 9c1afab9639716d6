// How the windows look as designed: Windows colour values and the designer's font names.
#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>
#include <cstdint>

namespace quellin::app {

// A Windows colour value keeps red in the low byte and blue in the high one: 6737049 is red
// 153, green 204, blue 102.
QColor ColorFromWindows(std::uint32_t value);
std::uint32_t WindowsFromColor(const QColor& color);

// The property under which every coloured control keeps its Windows colour value, so that
// tools can read back what the design says.
inline constexpr const char* kColorProperty = "color";

// Fills `widget`'s background with the colour and records the value under kColorProperty.
void SetBackgroundColor(QWidget& widget, std::uint32_t value);

// A font of the design, by its Windows family name and pixel size; the family is drawn with
// the metric-compatible font that Linux ships (see InstallFontSubstitutes).
QFont DesignFont(const char* family, int pixelSize, bool bold = false);

// Maps the Windows families the windows name to fonts Debian ships; idempotent.
void InstallFontSubstitutes();

}  // namespace quellin::app
