#pragma once

#include "dialogs/LongOperation.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

namespace corvalin {

// The box of one long editor operation: the hourglass while it runs, the window kept repainting
// (its events let through about every 40 ms, which is when Cancel arrives), and after half a
// second a progress box with the count and a Cancel button. Cancel and Esc on the box ask the
// operation to stop. Window thread.
class TProgressBox {
public:
    // `label` shows the files done as %1 and the total as %2.
    TProgressBox(QWidget* owner, QString label);
    ~TProgressBox();
    TProgressBox(const TProgressBox&) = delete;
    TProgressBox& operator=(const TProgressBox&) = delete;

    TLongOperation& operation() { return operation_; }
    // As the box's Cancel button: the operation stops before its next file.
    void cancel() { operation_.requestStop(); }
    // The progress box, once it is shown; null before.
    QProgressDialog* dialog() const;

    static constexpr int kShowAfterMs = 500;
    static constexpr int kPumpEveryMs = 40;

private:
    void report(int done, int total);

    QWidget* owner_;
    QString label_;
    TLongOperation operation_;
    QElapsedTimer started_;
    QElapsedTimer pumped_;
    QPointer<QProgressDialog> dialog_;
    QMetaObject::Connection cancelled_;
    QMetaObject::Connection rejected_;
};

} // namespace corvalin
