#pragma once
// Whether a status line (ui/status_label.h) gives its whole text to the
// operator: the lines it shows fit its place and begin the text, and when
// they are not all of it, "more…" sits in its place and opens the whole text
// in a window big enough for it.

#include <QString>

namespace veltrix::ui {
class StatusLabel;
}

namespace veltrix::ui::test {

// "" when it does; else what is wrong. Opens the window with the whole text
// when the line is cut.
QString whole_text_problem(StatusLabel& line);

}  // namespace veltrix::ui::test
