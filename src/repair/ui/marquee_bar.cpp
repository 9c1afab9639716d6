#include "repair/ui/marquee_bar.h"

#include <QPainter>

namespace quellin::repair {

namespace {

// Light to dark and back, top to bottom: the levels of the moving block.
constexpr QRgb kLevels[] = {0xC8F0C8, 0x9CE29C, 0x6FD36F, 0x3FBF3F, 0x2AA52A, 0x3FBF3F, 0x6FD36F};
constexpr QRgb kTrough = 0xF2F2F2;
constexpr QRgb kBorder = 0xBCBCBC;

}  // namespace

TMarqueeBar::TMarqueeBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 0);
    setTextVisible(false);
    clock_.start();
    frame_.setInterval(kFrameMs);
    connect(&frame_, &QTimer::timeout, this, [this] { update(); });
}

int TMarqueeBar::BlockOffset() const {
    const int inner = width() - 2;
    const int block = inner / 4;
    const int travel = inner + block;
    const qint64 phase = clock_.elapsed() % kSweepMs;
    return static_cast<int>(phase * travel / kSweepMs) - block;
}

void TMarqueeBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect outer = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(rect(), QColor(kTrough));
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const int block = inner.width() / 4;
    const int left = inner.left() + BlockOffset();
    const QRect sweep = QRect(left, inner.top(), block, inner.height()).intersected(inner);
    if (!sweep.isEmpty()) {
        constexpr int kCount = static_cast<int>(sizeof kLevels / sizeof kLevels[0]);
        for (int level = 0; level < kCount; ++level) {
            const int top = inner.top() + inner.height() * level / kCount;
            const int bottom = inner.top() + inner.height() * (level + 1) / kCount;
            painter.fillRect(QRect(sweep.left(), top, sweep.width(), bottom - top),
                             QColor(kLevels[level]));
        }
    }
    painter.setPen(QColor(kBorder));
    painter.drawRect(outer);
}

void TMarqueeBar::showEvent(QShowEvent* event) {
    QProgressBar::showEvent(event);
    frame_.start();
}

void TMarqueeBar::hideEvent(QHideEvent* event) {
    frame_.stop();
    QProgressBar::hideEvent(event);
}

}  // namespace quellin::repair
