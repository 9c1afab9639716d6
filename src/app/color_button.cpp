#include "app/color_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include "app/look.h"

namespace app {

TColorButton::TColorButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    setFont(DesignFont("Arial", 15, true));
    QPalette captionColor = palette();
    captionColor.setColor(QPalette::ButtonText, Qt::white);
    setPalette(captionColor);
    // Moves without a pressed button matter: they drive the hover colour.
    setMouseTracking(true);
}

void TColorButton::setFaceColor(uint value) {
    if (value == faceColor_)
        return;
    faceColor_ = value;
    update();
}

void TColorButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    emit mouseMoved();
    // The move belongs to the button alone; passed on, the background under it would reset the
    // colour the button has just taken.
    event->accept();
}

void TColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor face = ColorFromWindows(faceColor_);
    const QRect outer = rect();
    painter.fillRect(outer, face);

    painter.setPen(Qt::black);
    painter.drawRect(outer.adjusted(0, 0, -1, -1));

    // One-pixel bevel inside the border, sunk while the button is held down.
    const QRect bevel = outer.adjusted(1, 1, -2, -2);
    const bool down = isDown();
    const QColor light = face.lighter(140);
    const QColor dark = face.darker(140);
    painter.setPen(down ? dark : light);
    painter.drawLine(bevel.topLeft(), bevel.topRight());
    painter.drawLine(bevel.topLeft(), bevel.bottomLeft());
    painter.setPen(down ? light : dark);
    painter.drawLine(bevel.bottomLeft(), bevel.bottomRight());
    painter.drawLine(bevel.topRight(), bevel.bottomRight());

    QRect textArea = outer.adjusted(4, 2, -4, -2);
    if (down)
        textArea.translate(1, 1);
    painter.setFont(font());
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText) : face.darker(160));
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextWordWrap, text());

    if (hasFocus()) {
        QPen focus(Qt::white);
        focus.setStyle(Qt::DotLine);
        painter.setPen(focus);
        painter.drawRect(outer.adjusted(3, 3, -4, -4));
    }
}

}  // namespace app
