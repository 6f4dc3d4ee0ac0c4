#pragma once

#include <QDialog>
#include <QTimer>

class QFrame;
class QLabel;
class QPushButton;

namespace corvalin {

// The self-closing message box: a fixed 511 x 146 box centred on the desktop with the message
// across its top, an OK button, the station emblem at the lower left and a picture at the lower
// right. It closes on OK or when its lifetime ends, whichever comes first.
class TfrmTimerBox : public QDialog {
    Q_OBJECT
public:
    explicit TfrmTimerBox(QWidget* parent = nullptr);

    // "\r" (or "\r\n") in the text is a line break.
    void setMessage(const QString& text);
    // Sets the lifetime and starts counting it down.
    void setLifetime(int ms);

    QLabel* Label1 = nullptr;
    QPushButton* bOK = nullptr;
    QFrame* pLogo = nullptr;
    QLabel* iLogo = nullptr; // 32 x 32
    QFrame* pImage2 = nullptr;
    QLabel* Image2 = nullptr; // 48 x 32, a JPEG picture
    QTimer Timer1;            // the lifetime; disabled until set, closing disables it

public Q_SLOTS:
    void Timer1Timer();
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
};

// Shows the self-closing box modally with the error beep. An empty caption keeps
// "Corvalin Radio". Never throws: a failure only means no box is seen. Window thread only.
void TimerBox(const QString& text, const QString& caption, int lifetimeMs,
              QWidget* parent = nullptr);

// "\r\n" and "\r" as "\n", for texts written with the station's line breaks.
QString withLineBreaks(QString text);

} // namespace corvalin
