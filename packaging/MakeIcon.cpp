// corvalin_icon LOGO.png OUT.png: the station's icon, its logo centred on a square dark field
// with rounded corners, 256 x 256.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvalin_icon LOGO.png OUT.png\n");
        return 2;
    }
    const QImage logo(QString::fromLocal8Bit(argv[1]));
    if (logo.isNull()) {
        std::fprintf(stderr, "corvalin_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    constexpr int kSize = 256;
    QImage icon(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath field;
    field.addRoundedRect(QRectF(8, 8, kSize - 16, kSize - 16), 36, 36);
    p.fillPath(field, QColor(16, 16, 24));
    p.setPen(QPen(QColor(192, 192, 192), 6));
    p.drawPath(field);
    // The logo is a wide banner: it fills the width and sits in the middle.
    const QImage scaled = logo.scaledToWidth(kSize - 40, Qt::SmoothTransformation);
    p.drawImage((kSize - scaled.width()) / 2, (kSize - scaled.height()) / 2, scaled);
    p.end();
    if (!icon.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "corvalin_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
