#pragma once

#include <QString>

namespace corvalin {

// The account name of the effective user, or an empty text when the system has none for it.
// Any thread.
QString loginName();

} // namespace corvalin
