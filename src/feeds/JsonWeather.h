#pragma once

#include <QByteArray>
#include <QString>

namespace corvalin {

// Weather from a JSON answer (wttr.in's "j1", or any service an operator points at): the
// temperature, the sky condition and the place are taken by JSON pointers. Pure; any thread.

// Whether an answer is read as JSON: a JSON Content-Type ("application/json", "...+json"), or a
// text whose first character after blanks is "{" or "[".
bool isJsonAnswer(const QString& text, const QByteArray& contentType);

struct JsonWeather {
    bool valid = false;  // the text is a JSON document
    QString error;       // why not valid
    QString temperature; // whole degrees, a leading "-" kept; empty when not found
    QString condition;   // empty when not found
    QString city;        // empty when not found
};

// Reads the three values at their pointers. A number or a text holding a number is a
// temperature (rounded to whole degrees); texts and numbers are taken for the condition and the
// city, which are refused like a page's when they hold "<" or ">". All are capped as a page's.
JsonWeather readJsonWeather(const QString& text, const QString& temperaturePointer,
                            const QString& conditionPointer, const QString& cityPointer);

} // namespace corvalin
