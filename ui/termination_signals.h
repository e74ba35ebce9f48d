#pragma once
// Turns SIGINT, SIGTERM and SIGHUP (Ctrl-C, a session logout, a closed
// terminal) into a close of the main window, so a running capture is stopped
// and joined and its data log ends complete instead of cut mid-line. SIGXFSZ
// is ignored: a file-size limit then fails the data log's write, which the
// capture reports, instead of killing the program.
//
// Thread contract: call once, on the window's thread, before exec. The
// handlers only write one byte to a pipe; the close runs on the window's
// thread through a socket notifier.

class QWidget;

namespace veltrix::ui {

// `window` must outlive the event loop. Returns false when the pipe could not
// be made (the signals then keep their default action).
bool close_on_termination_signals(QWidget& window);

}  // namespace veltrix::ui
