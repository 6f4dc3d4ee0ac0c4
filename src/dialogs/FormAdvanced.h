#pragma once

#include "AdvancedModel.h"

#include <QDialog>
#include <array>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvalin {

// The advanced news and weather options: the two page addresses and the markers that cut the
// headline, temperature, condition and city out of them. A view over AdvancedModel: OK stores the
// ten boxes as typed and keeps the dialog open with an error box when they cannot be stored;
// Cancel changes nothing. Created for one modal use; window thread only.
class TfrmAdvanced : public QDialog {
    Q_OBJECT
public:
    // `context` must outlive the dialog.
    explicit TfrmAdvanced(AdvancedContext& context, QWidget* parent = nullptr);

    // The ten boxes as typed.
    NewsDefinitions typed() const;

    QGroupBox* gbNews = nullptr;
    QGroupBox* gbWeather = nullptr;
    QLineEdit* eNewsURL = nullptr;
    QLineEdit* eNewsStart = nullptr;
    QLineEdit* eNewsEnd = nullptr;
    QLineEdit* eWeatherURL = nullptr;
    QLineEdit* eTemperatureStart = nullptr;
    QLineEdit* eTemperatureEnd = nullptr;
    QLineEdit* eForecastStart = nullptr;
    QLineEdit* eForecastEnd = nullptr;
    QLineEdit* eCityStart = nullptr;
    QLineEdit* eCityEnd = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;
    QPushButton* bDefaults = nullptr;
    QPushButton* bHelp = nullptr;
    // The last fetch's outcome, so the operator sees why the DJ reads no news or weather.
    QLabel* lLastFetch = nullptr;
    // How the news and the weather address are read (web page, feed, JSON answer): each box's
    // label and hint name what it holds for that kind.
    QLabel* lNewsKind = nullptr;
    QLabel* lWeatherKind = nullptr;

    void bDefaultsClick();
    void bOKClick();
    void bHelpClick();

private:
    void FormCreate();
    void showValues(const NewsDefinitions& values);
    void showSourceKinds();
    // The boxes in the order of newsDefinitionKeys().
    std::array<QLineEdit*, 10> boxes() const;

    AdvancedContext& context_;
    std::array<QLabel*, 10> labels_{}; // the boxes' labels, in the boxes' order
};

} // namespace corvalin
