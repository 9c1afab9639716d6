#include "app/color_button.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>

#include "app/look.h"

namespace quellin::app {

namespace {

// As on Windows, a window shows focus marks only once the keyboard has been used in it
// (navigation keys or Alt); the state belongs to the top-level window, not to one button.
constexpr const char* kKeyboardCues = "quellinKeyboardCues";

bool KeyboardCuesShown(const QWidget* widget) {
    return widget->window()->property(kKeyboardCues).toBool();
}

void ShowKeyboardCues(QWidget* widget) {
    QWidget* top = widget->window();
    if (top->property(kKeyboardCues).toBool())
        return;
    top->setProperty(kKeyboardCues, true);
    for (TColorButton* button : top->findChildren<TColorButton*>())
        button->update();
}

}  // namespace

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

void TColorButton::focusInEvent(QFocusEvent* event) {
    const Qt::FocusReason reason = event->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
        reason == Qt::ShortcutFocusReason)
        ShowKeyboardCues(this);
    QPushButton::focusInEvent(event);
}

void TColorButton::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Alt:
            ShowKeyboardCues(this);
            break;
        default:
            break;
    }
    QPushButton::keyPressEvent(event);
}

void TColorButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor face = ColorFromWindows(faceColor_);
    const QRect outer = rect();
    painter.fillRect(outer, face);

    painter.setPen(Qt::black);
    painter.drawRect(outer.adjusted(0, 0, -1, -1));

    // One-pixel bevel directly inside the border on all four sides, sunk while the button is
    // held down.
    const QRect bevel = outer.adjusted(1, 1, -1, -1);
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

    if (hasFocus() && KeyboardCuesShown(this)) {
        QPen focus(Qt::white);
        focus.setStyle(Qt::DotLine);
        painter.setPen(focus);
        painter.drawRect(outer.adjusted(3, 3, -4, -4));
    }
}

}  // namespace quellin::app
