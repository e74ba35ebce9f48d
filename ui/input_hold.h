#pragma once
// A pause on the window thread that keeps the window painting (timers and
// repaints go on) while the operator's input to that window is held off, so
// no handler can run again in the middle of the one that pauses. Input to
// other windows (a message box) still works. A request to close the window
// during the pause is carried out after it.
//
// Thread contract: window thread only.

#include <chrono>

class QWidget;

namespace veltrix::ui {

void pause_with_input_held(QWidget* window, std::chrono::milliseconds duration);

}  // namespace veltrix::ui
