// TColorButton: the flat colour button of the main window, with a face colour that the window
// changes while the mouse points at it.
#pragma once

#include <QPushButton>
#include <cstdint>

namespace quellin::app {

inline constexpr std::uint32_t kButtonFaceColor = 6737049;  // red 153, green 204, blue 102
inline constexpr std::uint32_t kButtonHoverColor = 44879;   // red 79, green 175, blue 0

class TColorButton : public QPushButton {
    Q_OBJECT
    // The face colour as a Windows colour value (blue in the high byte).
    Q_PROPERTY(uint color READ faceColor WRITE setFaceColor)

  public:
    // "&&" in a caption draws as one ampersand.
    explicit TColorButton(const QString& caption, QWidget* parent = nullptr);

    uint faceColor() const { return faceColor_; }
    void setFaceColor(uint value);

  signals:
    // The mouse moved over the button, pressed or not.
    void mouseMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    uint faceColor_ = kButtonFaceColor;
};

}  // namespace quellin::app
