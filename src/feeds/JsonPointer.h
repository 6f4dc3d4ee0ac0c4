#pragma once

#include <QJsonValue>
#include <QStringView>
#include <optional>

namespace corvalin {

// JSON pointers (RFC 6901): "/current_condition/0/temp_F" names a value inside a JSON document.
// Pure; any thread.
//
// The empty pointer names the whole document; every other pointer is a run of "/"-prefixed
// reference tokens, in which "~1" stands for "/" and "~0" for "~". A token selects an object's
// member by its exact name, or an array's element by a decimal index without leading zeros ("-",
// the element after the last, never exists). The URI fragment form ("#/a%20b") is read too.
// Nothing is returned when the pointer is malformed or names nothing.
std::optional<QJsonValue> resolveJsonPointer(const QJsonValue& document, QStringView pointer);

} // namespace corvalin
