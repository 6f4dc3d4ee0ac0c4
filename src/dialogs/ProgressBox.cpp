#include "dialogs/ProgressBox.h"

#include <QApplication>
#include <QProgressDialog>
#include <algorithm>

namespace corvalin {

TProgressBox::TProgressBox(QWidget* owner, QString label)
    : owner_(owner), label_(std::move(label)),
      operation_([this](int done, int total) { report(done, total); }) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    started_.start();
    pumped_.start();
}

TProgressBox::~TProgressBox() {
    if (dialog_) {
        // Whatever the box does while it goes, it no longer reaches this operation.
        QObject::disconnect(cancelled_);
        QObject::disconnect(rejected_);
        dialog_->hide();
        dialog_->deleteLater();
    }
    QApplication::restoreOverrideCursor();
}

QProgressDialog* TProgressBox::dialog() const {
    return dialog_;
}

void TProgressBox::report(int done, int total) {
    // Cheap when called for every file.
    if (pumped_.elapsed() < kPumpEveryMs)
        return;
    if (!dialog_ && started_.elapsed() >= kShowAfterMs) {
        dialog_ = new QProgressDialog(owner_);
        dialog_->setObjectName(QStringLiteral("ProgressBox"));
        dialog_->setWindowTitle(owner_->windowTitle());
        dialog_->setMinimumDuration(0);
        dialog_->setAutoClose(false);
        dialog_->setAutoReset(false);
        // Cancel, Esc and the title bar's close button all stop the operation.
        cancelled_ = QObject::connect(dialog_, &QProgressDialog::canceled, dialog_,
                                      [this] { operation_.requestStop(); });
        rejected_ = QObject::connect(dialog_, &QDialog::rejected, dialog_,
                                     [this] { operation_.requestStop(); });
        dialog_->show();
    }
    if (dialog_) {
        dialog_->setMaximum(std::max(total, 0));
        dialog_->setLabelText(label_.arg(done).arg(total));
        if (total > 0)
            dialog_->setValue(std::min(done, total));
    }
    QApplication::processEvents();
    pumped_.restart();
}

} // namespace corvalin
