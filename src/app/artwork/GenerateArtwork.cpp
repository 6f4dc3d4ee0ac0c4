// Paints the station's artwork into the folder given as the only argument. Run at build time.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <functional>

namespace {

QFont sansFont(int pixelSize, int weight = QFont::Bold) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QImage canvas(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// The station emblem: a red disc with a white mast sending waves.
void paintEmblem(QPainter& p, QPointF centre, qreal radius) {
    QRadialGradient disc(centre - QPointF(radius * 0.35, radius * 0.4), radius * 1.4);
    disc.setColorAt(0.0, QColor(255, 96, 80));
    disc.setColorAt(0.55, QColor(200, 16, 16));
    disc.setColorAt(1.0, QColor(110, 0, 0));
    p.setPen(QPen(QColor(60, 0, 0), std::max(1.0, radius / 12)));
    p.setBrush(disc);
    p.drawEllipse(centre, radius, radius);

    const qreal s = radius / 24.0;
    QPen mast(Qt::white, 2.6 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(mast);
    p.setBrush(Qt::NoBrush);
    const QPointF top = centre + QPointF(0, -8 * s);
    p.drawLine(top, centre + QPointF(-9 * s, 16 * s));
    p.drawLine(top, centre + QPointF(9 * s, 16 * s));
    p.drawLine(centre + QPointF(-4.5 * s, 4 * s), centre + QPointF(4.5 * s, 4 * s));
    p.setBrush(Qt::white);
    p.drawEllipse(top, 2.6 * s, 2.6 * s);
    p.setBrush(Qt::NoBrush);
    for (int ring = 1; ring <= 2; ++ring) {
        const qreal r = (5.5 + 5.0 * ring) * s;
        const QRectF box(top.x() - r, top.y() - r, 2 * r, 2 * r);
        p.setPen(QPen(QColor(255, 255, 255, ring == 1 ? 255 : 190), 2.2 * s, Qt::SolidLine,
                      Qt::RoundCap));
        p.drawArc(box, 30 * 16, 60 * 16);
        p.drawArc(box, 90 * 16, 60 * 16);
    }
}

QImage logo() {
    QImage image = canvas(569, 82);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A brushed-metal plate; its lower band stays light for the black version text.
    const QRectF plate(1, 1, 567, 80);
    QLinearGradient metal(0, 0, 0, 82);
    metal.setColorAt(0.0, QColor(250, 250, 252));
    metal.setColorAt(0.45, QColor(206, 210, 216));
    metal.setColorAt(0.70, QColor(224, 227, 231));
    metal.setColorAt(1.0, QColor(176, 181, 189));
    p.setPen(QPen(QColor(70, 74, 82), 1.5));
    p.setBrush(metal);
    p.drawRoundedRect(plate, 11, 11);
    p.setPen(QPen(QColor(255, 255, 255, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(plate.adjusted(2, 2, -2, -2), 9, 9);
    for (int y = 6; y < 78; y += 3) {
        p.setPen(QColor(255, 255, 255, 28));
        p.drawLine(QPointF(10, y), QPointF(558, y));
    }

    paintEmblem(p, QPointF(40, 30), 23);

    // Wordmark with an engraved shadow.
    const QFont word = sansFont(38, QFont::Black);
    p.setFont(word);
    const QString first = QStringLiteral("CORVALIN");
    const QString second = QStringLiteral(" RADIO");
    const qreal baseline = 45;
    const qreal x0 = 76;
    const qreal firstWidth = p.fontMetrics().horizontalAdvance(first);
    p.setPen(QColor(255, 255, 255, 210));
    p.drawText(QPointF(x0 + 1, baseline + 1), first + second);
    p.setPen(QColor(30, 33, 40));
    p.drawText(QPointF(x0, baseline), first);
    p.setPen(QColor(192, 20, 20));
    p.drawText(QPointF(x0 + firstWidth, baseline), second);

    // Equaliser bars on the right.
    const int bars = 14;
    const double heights[bars] = {0.35, 0.6, 0.85, 0.55, 0.95, 0.7, 0.45,
                                  0.8,  1.0, 0.65, 0.4,  0.75, 0.5, 0.3};
    for (int i = 0; i < bars; ++i) {
        const qreal h = 40 * heights[i];
        const QRectF bar(432 + i * 8.6, 52 - h, 6, h);
        QLinearGradient g(bar.bottomLeft(), bar.topLeft());
        g.setColorAt(0.0, QColor(20, 140, 40));
        g.setColorAt(0.6, QColor(230, 200, 20));
        g.setColorAt(1.0, QColor(220, 30, 20));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(bar, 1.5, 1.5);
    }

    // Engraved divider; the version text goes under it.
    p.setPen(QColor(120, 124, 132));
    p.drawLine(QPointF(14, 57.5), QPointF(555, 57.5));
    p.setPen(QColor(255, 255, 255, 220));
    p.drawLine(QPointF(14, 58.5), QPointF(555, 58.5));
    return image;
}

QImage glyph(const std::function<void(QPainter&)>& paint) {
    QImage image = canvas(20, 20);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return image;
}

QBrush shaded(QColor light, QColor dark) {
    QLinearGradient g(0, 2, 0, 18);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    return g;
}

void outlined(QPainter& p, const QPainterPath& path, QColor light, QColor dark) {
    p.setPen(QPen(QColor(0, 0, 0, 170), 1.2));
    p.setBrush(shaded(light, dark));
    p.drawPath(path);
}

QImage playGlyph() {
    return glyph([](QPainter& p) {
        QPainterPath path;
        path.moveTo(5, 3);
        path.lineTo(17, 10);
        path.lineTo(5, 17);
        path.closeSubpath();
        outlined(p, path, QColor(150, 255, 140), QColor(20, 150, 30));
    });
}

QImage pauseGlyph() {
    return glyph([](QPainter& p) {
        QPainterPath path;
        path.addRoundedRect(QRectF(4, 3, 4.5, 14), 1, 1);
        path.addRoundedRect(QRectF(11.5, 3, 4.5, 14), 1, 1);
        outlined(p, path, QColor(255, 230, 120), QColor(210, 140, 0));
    });
}

QImage stopGlyph() {
    return glyph([](QPainter& p) {
        QPainterPath path;
        path.addRoundedRect(QRectF(4, 4, 12, 12), 1.5, 1.5);
        outlined(p, path, QColor(255, 140, 130), QColor(190, 20, 20));
    });
}

QImage nextGlyph() {
    return glyph([](QPainter& p) {
        QPainterPath path;
        path.moveTo(2, 4);
        path.lineTo(9, 10);
        path.lineTo(2, 16);
        path.closeSubpath();
        path.moveTo(9, 4);
        path.lineTo(16, 10);
        path.lineTo(9, 16);
        path.closeSubpath();
        path.addRect(QRectF(16, 4, 2.5, 12));
        outlined(p, path, QColor(150, 230, 255), QColor(20, 110, 190));
    });
}

QImage managerGlyph() {
    return glyph([](QPainter& p) {
        // Three mixing faders.
        for (int i = 0; i < 3; ++i) {
            const qreal x = 4 + i * 6;
            p.setPen(QPen(QColor(200, 205, 215), 1.4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(x, 2), QPointF(x, 18));
            const qreal knob = (i == 0) ? 6 : (i == 1 ? 12 : 8);
            p.setPen(QPen(QColor(0, 0, 0, 170), 1));
            p.setBrush(shaded(QColor(255, 230, 130), QColor(220, 140, 10)));
            p.drawRoundedRect(QRectF(x - 2.8, knob - 2, 5.6, 4), 1, 1);
        }
    });
}

QImage playListGlyph() {
    return glyph([](QPainter& p) {
        p.setPen(QPen(QColor(210, 215, 225), 1.8, Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i) {
            p.drawLine(QPointF(2, 4 + i * 4), QPointF(i < 2 ? 17 : 9, 4 + i * 4));
        }
        // A note.
        p.setPen(QPen(QColor(120, 200, 255), 1.6));
        p.drawLine(QPointF(16.5, 9), QPointF(16.5, 17));
        p.drawLine(QPointF(16.5, 9), QPointF(19, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(120, 200, 255));
        p.drawEllipse(QPointF(14.5, 17), 2.4, 1.9);
    });
}

QImage djTestGlyph() {
    return glyph([](QPainter& p) {
        QPainterPath head;
        head.addRoundedRect(QRectF(6.5, 1.5, 7, 11), 3.5, 3.5);
        outlined(p, head, QColor(235, 238, 245), QColor(120, 126, 140));
        p.setPen(QPen(QColor(200, 205, 215), 1.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4, 4, 12, 11), 200 * 16, 140 * 16);
        p.drawLine(QPointF(10, 15), QPointF(10, 18));
        p.drawLine(QPointF(6.5, 18.5), QPointF(13.5, 18.5));
    });
}

QImage circleGlyph(const QString& sign, QColor light, QColor dark) {
    return glyph([&](QPainter& p) {
        p.setPen(QPen(QColor(0, 0, 0, 170), 1.2));
        p.setBrush(shaded(light, dark));
        p.drawEllipse(QRectF(1.5, 1.5, 17, 17));
        p.setPen(Qt::white);
        p.setFont(sansFont(13, QFont::Black));
        p.drawText(QRectF(1.5, 1.5, 17, 17), Qt::AlignCenter, sign);
    });
}

QImage timerBoxLogo() {
    QImage image = canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintEmblem(p, QPointF(16, 16), 14.5);
    return image;
}

// The message box's right-hand picture: a lit "ON AIR" sign.
QImage timerBoxPicture() {
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor(236, 236, 236));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF sign(1.5, 3.5, 45, 25);
    QLinearGradient back(0, 3, 0, 29);
    back.setColorAt(0, QColor(60, 10, 10));
    back.setColorAt(1, QColor(25, 0, 0));
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(back);
    p.drawRoundedRect(sign, 4, 4);
    QRadialGradient glow(sign.center(), 24);
    glow.setColorAt(0, QColor(255, 60, 40, 150));
    glow.setColorAt(1, QColor(255, 60, 40, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawRoundedRect(sign.adjusted(2, 2, -2, -2), 3, 3);
    p.setFont(sansFont(11, QFont::Black));
    p.setPen(QColor(255, 235, 220));
    p.drawText(sign, Qt::AlignCenter, QStringLiteral("ON AIR"));
    return image;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: corvalin_artwork <output folder>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot make " << out.path() << "\n";
        return 1;
    }
    struct Piece {
        const char* name;
        QImage image;
        const char* format;
    };
    const Piece pieces[] = {
        {"logo.png", logo(), "PNG"},
        {"play.png", playGlyph(), "PNG"},
        {"pause.png", pauseGlyph(), "PNG"},
        {"stop.png", stopGlyph(), "PNG"},
        {"next.png", nextGlyph(), "PNG"},
        {"manager.png", managerGlyph(), "PNG"},
        {"playlist.png", playListGlyph(), "PNG"},
        {"djtest.png", djTestGlyph(), "PNG"},
        {"about.png", circleGlyph(QStringLiteral("i"), QColor(140, 200, 255), QColor(20, 90, 180)),
         "PNG"},
        {"help.png", circleGlyph(QStringLiteral("?"), QColor(150, 240, 160), QColor(20, 130, 50)),
         "PNG"},
        {"timerbox-logo.png", timerBoxLogo(), "PNG"},
        {"timerbox-picture.jpg", timerBoxPicture(), "JPG"},
    };
    for (const Piece& piece : pieces) {
        const QString path = out.filePath(QString::fromLatin1(piece.name));
        if (!piece.image.save(path, piece.format, piece.format[0] == 'J' ? 92 : -1)) {
            err << "cannot write " << path << "\n";
            return 1;
        }
    }
    return 0;
}
