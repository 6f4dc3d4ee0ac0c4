#pragma once

#include <QString>
#include <mutex>

namespace corvalin {

// The four texts a news fetch finds; empty means nothing to read.
struct NewsTexts {
    QString NewsHeadline;
    QString WeatherTemperature;
    QString WeatherCity;
    QString WeatherCondition;
};

// The hand-over of the news and weather texts between the fetch thread (writer) and the UI thread
// (reader). The window's state has no lock, so the texts live here instead. Every call holds the
// lock only to copy, so any thread may call any function without waiting on the other's work.
// Each text is always read whole, never half of an old and half of a new value; set() replaces
// the four together, so a reader sees either all of the old ones or all of the new ones.
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
    // The talk's reading: returns the four texts and, in the same step, empties what a talk says
    // only once: the headline, the temperature, and the sky condition when it is said (with a
    // temperature). The city stays until the next fetch replaces it.
    NewsTexts takeForTalk();
    // Empties the four texts (Stop, start-up).
    void clear();

private:
    mutable std::mutex mutex_;
    NewsTexts texts_;
};

} // namespace corvalin
