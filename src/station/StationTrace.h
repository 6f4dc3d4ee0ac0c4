#pragma once

#include <QString>

namespace corvalin::trace {

// Timing events for the measurement scripts, written only when CORVALIN_TRACE names a file. Each
// line: milliseconds since the program started, milliseconds since the sound device was opened
// (-1 before), the event and its detail. Window thread only.
bool enabled();
void audioStarted();
void event(const char* name, const QString& detail = QString());

} // namespace corvalin::trace
