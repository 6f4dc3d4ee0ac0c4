#pragma once

#include <Qt>
#include <functional>

class QDialog;
class QWidget;

namespace corvalin::test {

// Runs `dialog` modally, lets `operate` act once it is up and returns exec()'s result. A dialog
// still open after a generous deadline is closed by force and fails the test.
int runModal(QDialog& dialog, const std::function<void()>& operate);

// Runs `act` once on the first modal window that `matches`, as soon as it is up. The window
// opens inside the call that follows (a click, exec), whose event loop drives this check.
void whenModal(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act);

// Presses and releases `key` on `target`, as the keyboard would.
void pressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

} // namespace corvalin::test
