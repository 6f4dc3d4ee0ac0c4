#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

namespace corvalin {

// A console button with a picture and a caption. Besides the usual press while the mouse holds
// it, it can be latched down by program code (the transport group shows its state that way).
// Captions may hold line breaks; trailing ones are not drawn.
class ImageButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ImageButton(QWidget* parent = nullptr);

    void setGlyph(const QPixmap& glyph);
    const QPixmap& glyph() const { return glyph_; }

    // The colour of the lamp under the caption while the button is shown down.
    void setAccent(const QColor& accent);

    void setShownDown(bool down);
    bool isShownDown() const { return shownDown_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap glyph_;
    QColor accent_{90, 220, 90};
    bool shownDown_ = false;
    bool hovered_ = false;
};

} // namespace corvalin
