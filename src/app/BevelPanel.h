#pragma once

#include <QFrame>

namespace corvalin {

// A black panel in a raised bevel: silver highlight on the top and left, grey shadow on the
// bottom and right, drawn with a 3-pixel pen.
class BevelPanel : public QFrame {
    Q_OBJECT
public:
    explicit BevelPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace corvalin
