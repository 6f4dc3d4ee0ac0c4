#pragma once

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace corvalin {

// One line of text on black that scrolls from right to left in an endless cycle while scrolling
// is on. Stopping freezes it where it is; new text starts again at the left edge.
//
// Each step moves the painted pixels to the left and paints only the new columns. The panel steps
// a pixel at a time on its own timer, or, with setOwnTimer(false), when its owner calls advance()
// (the console steps its titles on the meters' rhythm).
class ScrollingPanel : public QWidget {
    Q_OBJECT
public:
    explicit ScrollingPanel(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return text_; }

    void setTextColour(const QColor& colour);
    QColor textColour() const { return colour_; }

    void setScrolling(bool scrolling);
    bool isScrolling() const { return scrolling_; }

    // Whether the panel's own timer steps it (the default).
    void setOwnTimer(bool own);
    // One step of `pixels`, when scrolling is on.
    void advance(int pixels = 1);

    // Pixels the text has moved to the left, within one cycle.
    int scrollOffset() const { return offset_; }
    // Milliseconds per pixel of movement.
    void setStepInterval(int ms) { timer_.setInterval(ms); }
    int stepInterval() const { return timer_.interval(); }

Q_SIGNALS:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int pixels = 1);
    int cycleLength() const;
    // Drops the text's width and picture, made again when next needed.
    void invalidate();

    QString text_;
    QColor colour_{Qt::red};
    QTimer timer_;
    int offset_ = 0;
    bool scrolling_ = false;
    bool ownTimer_ = true;
    // The text laid out once: its width, and its picture on black as drawText paints it (a step
    // paints one column, which must not lay the whole text out again).
    mutable int textWidth_ = -1;
    QPixmap picture_;
    int pictureLeft_ = 0; // where the text's origin lies in picture_
};

} // namespace corvalin
