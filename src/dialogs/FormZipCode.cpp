#include "FormZipCode.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace corvalin {

TfrmZipCode::TfrmZipCode(StationSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint),
      settings_(settings) {
    setObjectName(QStringLiteral("frmZipCode"));
    setWindowTitle(QStringLiteral("Corvalin Radio - Zip Code"));
    setFixedSize(260, 116);
    setModal(true);

    // The weather service takes postal codes of any country and place names too.
    Label1 = new QLabel(QStringLiteral("Zip or postal code, or town"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(16, 12, 228, 20);
    Label1->setAlignment(Qt::AlignCenter);

    eZipCode = new QLineEdit(this);
    eZipCode->setObjectName(QStringLiteral("eZipCode"));
    eZipCode->setGeometry(40, 40, 180, 24);

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setGeometry(86, 76, 88, 28);
    bOK->setDefault(true);
    bOK->setAutoDefault(true);
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
}

// accept(), reject(), Esc and the title bar's close button all end here.
void TfrmZipCode::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TfrmZipCode::FormClose() {
    if (eZipCode->text().trimmed().isEmpty()) {
        eZipCode->setText(kEmptyZipCode);
    }
    // Kept as typed, blanks included: the operator can correct it in the Radio Manager.
    settings_.ZipCode = eZipCode->text();
    settings_.News.WeatherURL = builtInDefinitionsInForce(settings_.ZipCode).WeatherURL;
}

} // namespace corvalin
