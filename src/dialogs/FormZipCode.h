#pragma once

#include "station/SettingsStore.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace corvalin {

// The zip code prompt of the first start. However it is closed (OK, Enter, Esc or the title
// bar), it sets the zip code and the weather address of `settings`; the caller stores them.
// Window thread only.
class TfrmZipCode : public QDialog {
    Q_OBJECT
public:
    explicit TfrmZipCode(StationSettings& settings, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* eZipCode = nullptr;
    QPushButton* bOK = nullptr;

public Q_SLOTS:
    void done(int result) override;

private:
    void FormClose();

    StationSettings& settings_;
};

} // namespace corvalin
