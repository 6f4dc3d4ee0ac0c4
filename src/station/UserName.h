#pragma once

#include <QString>

namespace corvalin {

// A login name made usable at the start of a file name: "USER1" when empty, and each character
// that a file name cannot hold (or that would be awkward in one) replaced by a letter or digit:
// blank "_", "\" 1, "/" 2, ":" 3, "*" 4, "?" 5, '"' 6, "<" 7, ">" 8, "|" 9.
QString UserNameFromLogin(const QString& login);

// UserNameFromLogin of the effective user's account name. Any thread.
QString UserName();

} // namespace corvalin
