#pragma once

// The two boxes the secondary windows show: an error with the exclamation
// beep and one OK button, and a question with Yes and No. Both are modal for
// the window they belong to and open without a nested event loop: the
// handler that asked finishes first, the answer arrives later.

#include <QString>

#include <functional>

class QWidget;

namespace ui {

void ShowErrorBox(QWidget* window, const QString& message);

// Beep, then the question; `onYes` runs when it is answered with Yes.
void AskYesNo(QWidget* window, const QString& question, std::function<void()> onYes);

}  // namespace ui
