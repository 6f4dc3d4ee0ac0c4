#include "voice/NewsHandOver.h"

#include <utility>

namespace corvalin {

void NewsHandOver::setHeadline(const QString& text) {
    std::lock_guard lock(mutex_);
    texts_.NewsHeadline = text;
}

void NewsHandOver::setTemperature(const QString& text) {
    std::lock_guard lock(mutex_);
    texts_.WeatherTemperature = text;
}

void NewsHandOver::setCity(const QString& text) {
    std::lock_guard lock(mutex_);
    texts_.WeatherCity = text;
}

void NewsHandOver::setCondition(const QString& text) {
    std::lock_guard lock(mutex_);
    texts_.WeatherCondition = text;
}

void NewsHandOver::set(const NewsTexts& texts) {
    std::lock_guard lock(mutex_);
    texts_ = texts;
}

NewsTexts NewsHandOver::get() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

NewsTexts NewsHandOver::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(texts_, NewsTexts{});
}

NewsTexts NewsHandOver::takeForTalk() {
    std::lock_guard lock(mutex_);
    NewsTexts read = texts_;
    texts_.NewsHeadline.clear();
    if (!texts_.WeatherTemperature.isEmpty()) {
        texts_.WeatherTemperature.clear();
        texts_.WeatherCondition.clear();
    }
    return read;
}

void NewsHandOver::clear() {
    std::lock_guard lock(mutex_);
    texts_ = NewsTexts{};
}

} // namespace corvalin
