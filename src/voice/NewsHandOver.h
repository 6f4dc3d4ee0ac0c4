#pragma once

#include <QString>
#include <mutex>

namespace corvalin {

// The four texts a news fetch finds, handed as one whole value.
struct NewsTexts {
    QString NewsHeadline;
    QString WeatherTemperature;
    QString WeatherCity;
    QString WeatherCondition;
};

// The hand-over of the news and weather texts between the fetch thread (writer) and the UI thread
// (reader). Every call takes the lock for a copy only, so any thread may call any function; a
// reader never sees half of one fetch and half of another field's value.
class NewsHandOver {
public:
    // Fetch thread: replaces one text (each is found by a separate step of a fetch).
    void setHeadline(const QString& text);
    void setTemperature(const QString& text);
    void setCity(const QString& text);
    void setCondition(const QString& text);
    // Replaces all four at once.
    void set(const NewsTexts& texts);

    // A copy of the four texts as they stand.
    NewsTexts get() const;
    // Returns the four texts and empties them (the DJ reads each text once).
    NewsTexts take();
    // Empties the four texts (Stop, start-up).
    void clear();

private:
    mutable std::mutex mutex_;
    NewsTexts texts_;
};

} // namespace corvalin
