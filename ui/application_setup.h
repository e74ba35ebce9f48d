#pragma once
// What the program sets up once for all its windows: its name (which names
// its settings file), the style, the application font the layout's pixel geometry was designed around, and the
// fonts of the window's titles and panes.
//
// Thread contract: window thread only, after the QApplication exists.

#include <QFont>

class QApplication;

namespace veltrix::ui {

void prepare_application(QApplication& app);

QFont section_title_font();
QFont column_header_font();
QFont report_font();
QFont pane_font();
QFont wait_label_font();
// Columns of text lined up by spaces, in a box.
QFont table_font();

}  // namespace veltrix::ui
