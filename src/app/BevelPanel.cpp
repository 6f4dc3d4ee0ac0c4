#include "BevelPanel.h"

#include <QPainter>

namespace corvalin {

BevelPanel::BevelPanel(QWidget* parent) : QFrame(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BevelPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    constexpr int pen = 3;
    const int w = width();
    const int h = height();
    const QColor highlight(192, 192, 192);
    const QColor shadow(96, 96, 96);
    // Each edge as a trapezoid so the corners meet on the diagonal.
    const QPoint top[] = {{0, 0}, {w, 0}, {w - pen, pen}, {pen, pen}};
    const QPoint left[] = {{0, 0}, {pen, pen}, {pen, h - pen}, {0, h}};
    const QPoint bottom[] = {{0, h}, {pen, h - pen}, {w - pen, h - pen}, {w, h}};
    const QPoint right[] = {{w, 0}, {w, h}, {w - pen, h - pen}, {w - pen, pen}};
    p.setPen(Qt::NoPen);
    p.setBrush(highlight);
    p.drawPolygon(top, 4);
    p.drawPolygon(left, 4);
    p.setBrush(shadow);
    p.drawPolygon(bottom, 4);
    p.drawPolygon(right, 4);
}

} // namespace corvalin
