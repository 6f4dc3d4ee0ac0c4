#include "FormAdvanced.h"

#include "ManagerWidgets.h"
#include "station/TimeSlot.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace corvalin {

namespace {

struct BoxSpec {
    QLineEdit* TfrmAdvanced::*member;
    const char* name;
    const char* label;
    const char* hint;
};

const char* const kNewsStartHint =
    "For a page: the text at which the headline begins. For an RSS or Atom feed the first item's "
    "title is read; the word \"description\" adds its summary.";
const char* const kPointerHint =
    "For a page: the text after which the value begins. For a JSON answer: the JSON pointer of "
    "the value, for example /current_condition/0/temp_F.";

// In the order of newsDefinitionKeys(): three in "News", seven in "Weather".
const std::array<BoxSpec, 10> kBoxes = {{
    {&TfrmAdvanced::eNewsURL, "eNewsURL", "News URL", "A web page, or an RSS or Atom feed."},
    {&TfrmAdvanced::eNewsStart, "eNewsStart", "News starts at text", kNewsStartHint},
    {&TfrmAdvanced::eNewsEnd, "eNewsEnd", "News ends at text", nullptr},
    {&TfrmAdvanced::eWeatherURL, "eWeatherURL", "Weather URL", "A web page or a JSON answer."},
    {&TfrmAdvanced::eTemperatureStart, "eTemperatureStart", "Temperature starts at text",
     kPointerHint},
    {&TfrmAdvanced::eTemperatureEnd, "eTemperatureEnd", "Temperature ends at text", nullptr},
    {&TfrmAdvanced::eForecastStart, "eForecastStart", "Condition starts at text", kPointerHint},
    {&TfrmAdvanced::eForecastEnd, "eForecastEnd", "Condition ends at text", nullptr},
    {&TfrmAdvanced::eCityStart, "eCityStart", "City starts at text", kPointerHint},
    {&TfrmAdvanced::eCityEnd, "eCityEnd", "City ends at text", nullptr},
}};

inline constexpr int kRowHeight = 28;

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

TfrmAdvanced::TfrmAdvanced(AdvancedContext& context, QWidget* parent)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("frmAdvanced"));
    setWindowTitle(QStringLiteral("Corvalin Radio - Advanced Options"));
    setModal(true);

    gbNews = new QGroupBox(QStringLiteral("News"), this);
    gbNews->setObjectName(QStringLiteral("gbNews"));
    gbNews->setGeometry(8, 8, 584, 30 + static_cast<int>(kNewsGroupSize) * kRowHeight);
    gbWeather = new QGroupBox(QStringLiteral("Weather"), this);
    gbWeather->setObjectName(QStringLiteral("gbWeather"));
    const int weatherTop = gbNews->geometry().bottom() + 8;
    gbWeather->setGeometry(8, weatherTop, 584,
                           30 + static_cast<int>(kBoxes.size() - kNewsGroupSize) * kRowHeight);

    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const BoxSpec& spec = kBoxes[i];
        QGroupBox* group = i < kNewsGroupSize ? gbNews : gbWeather;
        const int row = static_cast<int>(i < kNewsGroupSize ? i : i - kNewsGroupSize);
        const int y = 24 + row * kRowHeight;
        auto* l = new QLabel(QString::fromLatin1(spec.label), group);
        l->setGeometry(10, y + 3, 170, 18);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(spec.name));
        edit->setGeometry(184, y, 390, 24);
        if (spec.hint)
            edit->setToolTip(QString::fromUtf8(spec.hint));
        l->setBuddy(edit);
        this->*spec.member = edit;
    }

    lLastFetch = new QLabel(this);
    lLastFetch->setObjectName(QStringLiteral("lLastFetch"));
    lLastFetch->setGeometry(10, gbWeather->geometry().bottom() + 6, 580, 36);
    lLastFetch->setWordWrap(true);
    lLastFetch->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const int buttonsTop = lLastFetch->geometry().bottom() + 8;
    bOK = button(QStringLiteral("bOK"), QStringLiteral("OK"), this);
    bOK->setDefault(true);
    bOK->setGeometry(248, buttonsTop, 80, 30);
    bCancel = button(QStringLiteral("bCancel"), QStringLiteral("Cancel"), this);
    bCancel->setGeometry(336, buttonsTop, 80, 30);
    bHelp = button(QStringLiteral("bHelp"), QStringLiteral("Help"), this);
    bHelp->setGeometry(424, buttonsTop, 80, 30);
    bDefaults = button(QStringLiteral("bDefaults"), QStringLiteral("Set All To Default"), this);
    bDefaults->setGeometry(8, buttonsTop, 150, 30);
    connect(bOK, &QPushButton::clicked, this, &TfrmAdvanced::bOKClick);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bDefaults, &QPushButton::clicked, this, &TfrmAdvanced::bDefaultsClick);
    connect(bHelp, &QPushButton::clicked, this, &TfrmAdvanced::bHelpClick);
    setFixedSize(600, buttonsTop + 30 + 10);

    FormCreate();
}

std::array<QLineEdit*, 10> TfrmAdvanced::boxes() const {
    std::array<QLineEdit*, 10> result{};
    for (std::size_t i = 0; i < kBoxes.size(); ++i)
        result[i] = this->*kBoxes[i].member;
    return result;
}

void TfrmAdvanced::showValues(const NewsDefinitions& values) {
    const auto edits = boxes();
    for (std::size_t i = 0; i < edits.size(); ++i)
        edits[i]->setText(values.*newsDefinitionKeys()[i].field);
}

NewsDefinitions TfrmAdvanced::typed() const {
    NewsDefinitions d;
    const auto edits = boxes();
    for (std::size_t i = 0; i < edits.size(); ++i)
        d.*newsDefinitionKeys()[i].field = edits[i]->text();
    return d;
}

void TfrmAdvanced::FormCreate() {
    showValues(context_.Settings.News);
    if (context_.LastFetchOutcome)
        lLastFetch->setText(context_.LastFetchOutcome());
}

void TfrmAdvanced::bDefaultsClick() {
    showValues(advancedDefaults(context_.Settings.ZipCode));
}

void TfrmAdvanced::bOKClick() {
    const FileResult saved = confirmAdvanced(context_, typed());
    if (!saved) {
        QMessageBox box(QMessageBox::Critical, kSetupErrorCaption,
                        withLineBreaks(QStringLiteral("The news and weather options could not be "
                                                      "saved.\r%1\rNothing was changed.")
                                           .arg(saved.error)),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    accept();
}

void TfrmAdvanced::bHelpClick() {
    if (context_.ShowHelp)
        context_.ShowHelp(6);
}

} // namespace corvalin
