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

// Each box's label and hint for a web page, and for the other kind its group reads (a feed for the
// news, a JSON answer for the weather); a null `otherLabel` keeps the page's.
struct BoxSpec {
    QLineEdit* TfrmAdvanced::*member;
    const char* name;
    const char* label;
    const char* hint;
    const char* otherLabel;
    const char* otherHint;
};

const char* const kEndNotUsedForJson =
    "A JSON answer needs no end marker: the value is all that its pointer names. The text here "
    "is kept for a web page.";

// In the order of newsDefinitionKeys(): three in "News", seven in "Weather".
const std::array<BoxSpec, 10> kBoxes = {{
    {&TfrmAdvanced::eNewsURL, "eNewsURL", "News URL", "A web page, or an RSS or Atom feed.",
     nullptr, nullptr},
    {&TfrmAdvanced::eNewsStart, "eNewsStart", "News starts at text",
     "The text on the page after which the headline begins. (For an RSS or Atom feed: the word "
     "\"description\" adds the first item's summary to its title.)",
     "Feed: title, or \"description\"",
     "A feed's first item is read: its title, and its summary too when this box says "
     "\"description\"."},
    {&TfrmAdvanced::eNewsEnd, "eNewsEnd", "News ends at text",
     "The text on the page at which the headline ends.", "Not used for a feed",
     "A feed needs no end marker. The text here is kept for a web page."},
    {&TfrmAdvanced::eWeatherURL, "eWeatherURL", "Weather URL", "A web page or a JSON answer.",
     nullptr, nullptr},
    {&TfrmAdvanced::eTemperatureStart, "eTemperatureStart", "Temperature starts at text",
     "The text on the page after which the temperature begins. (For a JSON answer: the JSON "
     "pointer of the value, for example /current_condition/0/temp_F.)",
     "Temperature JSON pointer",
     "The JSON pointer of the temperature in the answer, for example "
     "/current_condition/0/temp_F."},
    {&TfrmAdvanced::eTemperatureEnd, "eTemperatureEnd", "Temperature ends at text",
     "The text on the page at which the temperature ends.", "Not used for JSON",
     kEndNotUsedForJson},
    {&TfrmAdvanced::eForecastStart, "eForecastStart", "Condition starts at text",
     "The text on the page after which the sky condition begins. (For a JSON answer: the JSON "
     "pointer of the value, for example /current_condition/0/weatherDesc/0/value.)",
     "Condition JSON pointer",
     "The JSON pointer of the sky condition in the answer, for example "
     "/current_condition/0/weatherDesc/0/value."},
    {&TfrmAdvanced::eForecastEnd, "eForecastEnd", "Condition ends at text",
     "The text on the page at which the sky condition ends.", "Not used for JSON",
     kEndNotUsedForJson},
    {&TfrmAdvanced::eCityStart, "eCityStart", "City starts at text",
     "The text on the page after which the city begins. (For a JSON answer: the JSON pointer of "
     "the value, for example /nearest_area/0/areaName/0/value.)",
     "City JSON pointer",
     "The JSON pointer of the city in the answer, for example /nearest_area/0/areaName/0/value."},
    {&TfrmAdvanced::eCityEnd, "eCityEnd", "City ends at text",
     "The text on the page at which the city ends.", "Not used for JSON", kEndNotUsedForJson},
}};

// The line under each group that says how its address is read.
QString kindHint(SourceKind kind) {
    switch (kind) {
    case SourceKind::Feed:
        return QStringLiteral("Read as an RSS or Atom feed: the first item's title is the "
                              "headline.");
    case SourceKind::Json:
        return QStringLiteral("Read as a JSON answer: each value is found by its JSON pointer.");
    case SourceKind::Page:
        break;
    }
    return QStringLiteral("Read as a web page: each value is the text between its start and end "
                          "markers.");
}

inline constexpr int kRowHeight = 28;
inline constexpr int kKindHintHeight = 18;

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
    gbNews->setGeometry(8, 8, 584,
                        30 + static_cast<int>(kNewsGroupSize) * kRowHeight + kKindHintHeight);
    gbWeather = new QGroupBox(QStringLiteral("Weather"), this);
    gbWeather->setObjectName(QStringLiteral("gbWeather"));
    const int weatherTop = gbNews->geometry().bottom() + 8;
    gbWeather->setGeometry(8, weatherTop, 584,
                           30 + static_cast<int>(kBoxes.size() - kNewsGroupSize) * kRowHeight +
                               kKindHintHeight);

    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const BoxSpec& spec = kBoxes[i];
        QGroupBox* group = i < kNewsGroupSize ? gbNews : gbWeather;
        const int row = static_cast<int>(i < kNewsGroupSize ? i : i - kNewsGroupSize);
        const int y = 24 + row * kRowHeight;
        auto* l = new QLabel(QString::fromLatin1(spec.label), group);
        l->setGeometry(10, y + 3, 180, 18);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QString::fromLatin1(spec.name));
        edit->setGeometry(194, y, 380, 24);
        l->setBuddy(edit);
        this->*spec.member = edit;
        labels_[i] = l;
    }
    // How each group's address is read, under its boxes.
    for (QLabel** hint : {&lNewsKind, &lWeatherKind}) {
        QGroupBox* group = hint == &lNewsKind ? gbNews : gbWeather;
        *hint = new QLabel(group);
        (*hint)->setObjectName(hint == &lNewsKind ? QStringLiteral("lNewsKind")
                                                  : QStringLiteral("lWeatherKind"));
        (*hint)->setGeometry(10, group->height() - kKindHintHeight - 4, 564, kKindHintHeight);
        (*hint)->setWordWrap(true);
    }
    // The labels follow the address and the first marker as they are typed.
    for (QLineEdit* edit : {eNewsURL, eNewsStart, eWeatherURL, eTemperatureStart})
        connect(edit, &QLineEdit::textChanged, this, &TfrmAdvanced::showSourceKinds);

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

void TfrmAdvanced::showSourceKinds() {
    const NewsDefinitions d = typed();
    const SourceKind kinds[] = {newsSourceKind(d), weatherSourceKind(d)};
    for (std::size_t i = 0; i < kBoxes.size(); ++i) {
        const BoxSpec& spec = kBoxes[i];
        const bool other = kinds[i < kNewsGroupSize ? 0 : 1] != SourceKind::Page && spec.otherLabel;
        labels_[i]->setText(QString::fromLatin1(other ? spec.otherLabel : spec.label));
        (this->*spec.member)->setToolTip(QString::fromLatin1(other ? spec.otherHint : spec.hint));
    }
    lNewsKind->setText(kindHint(kinds[0]));
    lWeatherKind->setText(kindHint(kinds[1]));
}

void TfrmAdvanced::FormCreate() {
    showValues(context_.Settings.News);
    showSourceKinds();
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
