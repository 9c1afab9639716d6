#include "driverconfig/ui/dialog_font.h"

namespace quellin::driverconfig {

QFont DialogFont() {
    static const bool substituted = [] {
        // DejaVu Sans comes from the same wide, open design family as Tahoma.
        QFont::insertSubstitution("Tahoma", "DejaVu Sans");
        return true;
    }();
    (void)substituted;
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);  // 8 points at 120 pixels per inch
    return font;
}

}  // namespace quellin::driverconfig
