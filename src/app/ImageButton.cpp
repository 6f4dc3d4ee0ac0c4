#include "ImageButton.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace corvalin {

ImageButton::ImageButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
}

void ImageButton::setGlyph(const QPixmap& glyph) {
    glyph_ = glyph;
    update();
}

void ImageButton::setAccent(const QColor& accent) {
    accent_ = accent;
    update();
}

void ImageButton::setShownDown(bool down) {
    if (shownDown_ != down) {
        shownDown_ = down;
        update();
    }
}

QSize ImageButton::sizeHint() const {
    return {66, 54};
}

void ImageButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void ImageButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void ImageButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool sunk = isDown() || shownDown_;
    const bool enabled = isEnabled();
    const QRectF face = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QLinearGradient fill(0, 0, 0, height());
    if (sunk) {
        fill.setColorAt(0.0, QColor(14, 15, 17));
        fill.setColorAt(1.0, QColor(44, 47, 53));
    } else {
        const int lift = (hovered_ && enabled) ? 14 : 0;
        fill.setColorAt(0.0, QColor(86 + lift, 91 + lift, 100 + lift));
        fill.setColorAt(0.48, QColor(52 + lift, 56 + lift, 63 + lift));
        fill.setColorAt(1.0, QColor(28, 30, 34));
    }
    p.setPen(QPen(QColor(6, 6, 8), 1));
    p.setBrush(fill);
    p.drawRoundedRect(face, 4, 4);

    // Bevel: light from the top left when raised, from the bottom right when pressed.
    const QRectF inner = face.adjusted(1, 1, -1, -1);
    const QColor light(255, 255, 255, sunk ? 22 : 70);
    const QColor shade(0, 0, 0, sunk ? 140 : 60);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(sunk ? shade : light, 1));
    p.drawLine(inner.topLeft() + QPointF(3, 0), inner.topRight() - QPointF(3, 0));
    p.drawLine(inner.topLeft() + QPointF(0, 3), inner.bottomLeft() - QPointF(0, 3));
    p.setPen(QPen(sunk ? light : shade, 1));
    p.drawLine(inner.bottomLeft() + QPointF(3, 0), inner.bottomRight() - QPointF(3, 0));
    p.drawLine(inner.topRight() + QPointF(0, 3), inner.bottomRight() - QPointF(0, 3));

    if (shownDown_) {
        // The lamp of the active transport state, in the top left corner.
        const QPointF centre(face.left() + 7, face.top() + 7);
        QRadialGradient glow(centre, 6);
        QColor halo = accent_;
        halo.setAlpha(110);
        glow.setColorAt(0.0, halo);
        glow.setColorAt(1.0, Qt::transparent);
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(centre, 6, 6);
        p.setBrush(accent_);
        p.drawEllipse(centre, 2.5, 2.5);
    }

    QString caption = text();
    caption.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    caption.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (caption.endsWith(QLatin1Char('\n'))) {
        caption.chop(1);
    }
    const QPointF shift = sunk ? QPointF(1, 1) : QPointF(0, 0);
    const QFontMetricsF metrics(font());
    const int lines =
        caption.isEmpty() ? 0 : static_cast<int>(caption.count(QLatin1Char('\n'))) + 1;
    const qreal textHeight = lines * metrics.height();
    // The picture above the caption, shrunk when the button is too low for both.
    QSizeF glyphSize = glyph_.isNull() ? QSizeF(0, 0) : QSizeF(glyph_.deviceIndependentSize());
    const qreal room = face.height() - textHeight - 6;
    if (glyphSize.height() > room && room > 0) {
        glyphSize.scale(room, room, Qt::KeepAspectRatio);
    }
    const qreal gap = glyph_.isNull() || lines == 0 ? 0 : 1;
    const qreal total = glyphSize.height() + gap + textHeight;
    const qreal top = face.center().y() - total / 2 - 1;

    p.setOpacity(enabled ? 1.0 : (shownDown_ ? 0.6 : 0.35));
    if (!glyph_.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF target(face.center().x() - glyphSize.width() / 2, top, glyphSize.width(),
                            glyphSize.height());
        p.drawPixmap(target.translated(shift), glyph_, QRectF(glyph_.rect()));
    }
    const QRectF textBox(face.left(), top + glyphSize.height() + gap, face.width(), textHeight);
    p.setFont(font());
    p.setPen(QColor(0, 0, 0, 200));
    p.drawText(textBox.translated(shift + QPointF(1, 1)), Qt::AlignCenter, caption);
    p.setPen(enabled ? QColor(226, 228, 232) : QColor(150, 150, 150));
    p.drawText(textBox.translated(shift), Qt::AlignCenter, caption);
}

} // namespace corvalin
