// The window's controls: places, texts, fonts, colours, initial states and
// tab order. Nothing here is connected to a handler.

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "devices/model_catalogue.h"
#include "ui/application_setup.h"
#include "ui/flow_layout.h"
#include "ui/main_ui_form2.h"
#include "ui/status_label.h"
#include "ui/window_shortcuts.h"

namespace VeltrixDataLoggerWFA_clr8xp {

using veltrix::ui::give_shortcut;
using veltrix::ui::kAnchorBottom;
using veltrix::ui::kAnchorLeft;
using veltrix::ui::kAnchorRight;
using veltrix::ui::kAnchorTop;

namespace {

const QColor kWindowColour(234, 234, 234);
const QColor kPanelColour(204, 204, 204);
const QColor kButtonColour(229, 229, 229);
const QColor kPaneColour(153, 153, 153);
const QColor kLightGreen(144, 238, 144);
const QColor kDarkRed(139, 0, 0);
constexpr int kFlowItemMargin = 3;
constexpr int kPaneTabStopCharacters = 8;
const char* const kTabIndex = "tabIndex";

// Flat until the pointer is over them; raised while it is, sunken when pressed.
// Disabled labels stay readable on the panel's grey (the style's own grey
// nearly vanishes there) and still look paler than enabled ones.
const char* const kButtonStyle = R"(
#MainUIForm2 > QPushButton, #panel2 > QPushButton {
  background-color: rgb(229, 229, 229); border: 1px solid rgb(122, 122, 122); }
#MainUIForm2 > QPushButton:hover, #panel2 > QPushButton:hover {
  border: 2px outset rgb(229, 229, 229); }
#MainUIForm2 > QPushButton:pressed, #panel2 > QPushButton:pressed {
  border: 2px inset rgb(229, 229, 229); }
#MainUIForm2 > QPushButton:disabled, #panel2 > QPushButton:disabled {
  color: rgb(160, 160, 160); border-color: rgb(191, 191, 191); }
#MainUIForm2 > QPushButton#btnSelectFolder { border: none; background: transparent; }
#MainUIForm2 > QPushButton#btnSelectFolder:hover { border: 1px solid rgb(122, 122, 122); }
#MainUIForm2 QRadioButton:disabled, #MainUIForm2 QCheckBox:disabled {
  color: rgb(100, 100, 100); }
)";

template <typename W>
W* make(QWidget* parent, const char* name, int tab, const QRect& geometry) {
  auto* widget = new W(parent);
  widget->setObjectName(QString::fromLatin1(name));
  widget->setProperty(kTabIndex, tab);
  widget->setGeometry(geometry);
  return widget;
}

void fill(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

QLabel* make_label(QWidget* parent, const char* name, int tab, const QPoint& at, const char* text, const QFont& font) {
  auto* label = make<QLabel>(parent, name, tab, QRect(at, QSize()));
  label->setFont(font);
  label->setText(QString::fromLatin1(text));
  label->adjustSize();
  return label;
}

QLabel* make_label(QWidget* parent, const char* name, int tab, const QPoint& at, const char* text) {
  return make_label(parent, name, tab, at, text, parent->font());
}

QLabel* make_rule(QWidget* parent, const char* name, int tab, const QRect& geometry) {
  auto* rule = make<QLabel>(parent, name, tab, geometry);
  fill(rule, kWindowColour);
  return rule;
}

QPushButton* make_button(QWidget* parent, const char* name, int tab, const QRect& geometry, const char* text) {
  auto* button = make<QPushButton>(parent, name, tab, geometry);
  button->setText(QString::fromLatin1(text));
  button->setEnabled(false);
  return button;
}

QPushButton* make_icon_button(QWidget* parent, const char* name, int tab, const QRect& geometry, const char* icon,
                              int icon_size, const char* tip) {
  auto* button = make_button(parent, name, tab, geometry, "");
  button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(icon))));
  button->setIconSize(QSize(icon_size, icon_size));
  button->setToolTip(QString::fromUtf8(tip));
  button->setAccessibleName(QString::fromUtf8(tip));
  return button;
}

QLineEdit* make_entry(QWidget* parent, const char* name, int tab, const QRect& geometry) {
  return make<QLineEdit>(parent, name, tab, geometry);
}

QRadioButton* make_rate(QWidget* parent, const char* name, int tab, const char* text, const char* tag) {
  auto* button = make<QRadioButton>(parent, name, tab, QRect());
  button->setText(QString::fromLatin1(text));
  if (tag != nullptr) {
    button->setProperty("tag", QString::fromLatin1(tag));
  }
  button->setEnabled(false);
  parent->layout()->addWidget(button);
  return button;
}

QCheckBox* make_check(QWidget* parent, const char* name, int tab, const QPoint& at, const char* text) {
  auto* box = make<QCheckBox>(parent, name, tab, QRect(at, QSize()));
  box->setText(QString::fromLatin1(text));
  box->adjustSize();
  return box;
}

QPlainTextEdit* make_pane(QWidget* parent, const char* name, int tab, const QRect& geometry) {
  auto* pane = make<QPlainTextEdit>(parent, name, tab, geometry);
  pane->setReadOnly(true);
  pane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  pane->setLineWrapMode(QPlainTextEdit::NoWrap);
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  pane->setFont(veltrix::ui::pane_font());
  pane->setTabStopDistance(kPaneTabStopCharacters * QFontMetricsF(pane->font()).horizontalAdvance(QLatin1Char(' ')));
  QPalette palette = pane->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, kPaneColour);
    palette.setColor(group, QPalette::Text, Qt::white);
  }
  pane->setPalette(palette);
  return pane;
}

// Each container's children in the order of their tab indices (ties keep the
// order of creation), a container's children right after the container.
void collect_tab_chain(QWidget* container, std::vector<QWidget*>& chain) {
  std::vector<QWidget*> children;
  for (QObject* child : container->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget != nullptr && widget->property(kTabIndex).isValid()) {
      children.push_back(widget);
    }
  }
  std::stable_sort(children.begin(), children.end(), [](QWidget* a, QWidget* b) {
    return a->property(kTabIndex).toInt() < b->property(kTabIndex).toInt();
  });
  for (QWidget* child : children) {
    if ((child->focusPolicy() & Qt::TabFocus) != 0) {
      chain.push_back(child);
    }
    collect_tab_chain(child, chain);
  }
}

}  // namespace

void MainUIForm2::build_controls() {
  setObjectName(QStringLiteral("MainUIForm2"));
  setWindowTitle(QStringLiteral("Veltrix Universal Data Logger V1.0"));
  resize(872, 578);
  // The client area never shrinks below its designed size; the frame is the
  // window manager's.
  setMinimumSize(872, 578);
  fill(this, kWindowColour);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Button, kButtonColour);
  setPalette(palette);
  setStyleSheet(QString::fromLatin1(kButtonStyle));

  build_register_tools();
  build_panel2();
  build_register_map_area();
  build_console_area();
  build_bottom_row();

  tmDataUpdater = new QTimer(this);
  tmDataUpdater->setObjectName(QStringLiteral("tmDataUpdater"));
  tmDataUpdater->setInterval(100);

  std::vector<QWidget*> chain;
  collect_tab_chain(this, chain);
  for (std::size_t i = 1; i < chain.size(); ++i) {
    setTabOrder(chain[i - 1], chain[i]);
  }
}

void MainUIForm2::build_register_tools() {
  btnLoad = make_icon_button(this, "btnLoad", 32, QRect(16, 12, 57, 48), "load", 40, "Load register map…");
  btnSave = make_icon_button(this, "btnSave", 31, QRect(87, 12, 57, 48), "save", 40, "Save register map…");
  btnRefresh = make_icon_button(this, "btnRefresh", 47, QRect(157, 12, 57, 48), "refresh", 40, "Refresh");
  give_shortcut(btnLoad, veltrix::ui::kLoadKeys);
  give_shortcut(btnSave, veltrix::ui::kSaveKeys);
  give_shortcut(btnRefresh, veltrix::ui::kRefreshKeys);
}

void MainUIForm2::build_panel2() {
  panel2 = make<QFrame>(this, "panel2", 59, QRect(12, 66, 218, 499));
  panel2->setFrameStyle(QFrame::Box | QFrame::Plain);
  panel2->setLineWidth(1);
  fill(panel2, kPanelColour);
  anchoring_.add(panel2, kAnchorTop | kAnchorBottom | kAnchorLeft);
  const QFont title = veltrix::ui::section_title_font();

  lblSelectDevice = make_label(panel2, "lblSelectDevice", 11, {3, 3}, "Device", title);
  cmbDevices = make<QComboBox>(panel2, "cmbDevices", 18, QRect(8, 28, 200, 21));
  for (const ModelEntry& model : model_catalogue()) {
    cmbDevices->addItem(QString::fromLatin1(model.name));
  }
  cmbDevices->setCurrentIndex(-1);
  cmbDevices->setMaxVisibleItems(static_cast<int>(model_catalogue().size()));
  QPalette list = cmbDevices->palette();
  for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    list.setColor(group, QPalette::Button, kLightGreen);
  }
  cmbDevices->setPalette(list);
  label11 = make_rule(panel2, "label11", 47, QRect(1, 60, 214, 1));
  // Under the device list, in the gap above the rule.
  lblBoardStatus = new veltrix::ui::StatusLabel(QStringLiteral("Board status"), panel2);
  lblBoardStatus->setObjectName(QStringLiteral("lblBoardStatus"));
  QFont small = font();
  small.setPointSizeF(7);
  lblBoardStatus->setFont(small);
  lblBoardStatus->setGeometry(3, 49, 212, 11);
  lblBoardStatus->hide();
  build_reconnect_line();

  lblSamplingRates = make_label(panel2, "lblSamplingRates", 19, {3, 66}, "Sampling Rates", title);
  pnlSamplingRate = make<QWidget>(panel2, "pnlSamplingRate", 1, QRect(6, 91, 206, 81));
  new veltrix::ui::FlowLayout(pnlSamplingRate, kFlowItemMargin);
  rdSamplingRate20 = make_rate(pnlSamplingRate, "rdSamplingRate20", 12, "20 Hz", "20");
  rdSamplingRate50 = make_rate(pnlSamplingRate, "rdSamplingRate50", 13, "50 Hz", "50");
  rdSamplingRate100 = make_rate(pnlSamplingRate, "rdSamplingRate100", 0, "100 Hz", "100");
  rdSamplingRate200 = make_rate(pnlSamplingRate, "rdSamplingRate200", 1, "200 Hz", "200");
  rdCustomSampleRate = make_rate(pnlSamplingRate, "rdCustomSampleRate", 11, "Custom", nullptr);
  label12 = make_rule(panel2, "label12", 48, QRect(1, 177, 214, 1));

  lblRegisterSettings = make_label(panel2, "lblRegisterSettings", 20, {3, 183}, "Resgister Settings", title);
  label1 = make_label(panel2, "label1", 51, {4, 209}, "Register (e.g. 2A)");
  txtWriteRegRegister = make_entry(panel2, "txtWriteRegRegister", 13, QRect(7, 224, 90, 20));
  lblWriteRegData = make_label(panel2, "lblWriteRegData", 19, {4, 250}, "Data     (e.g. 0F)");
  txtWriteRegData = make_entry(panel2, "txtWriteRegData", 14, QRect(7, 278, 90, 20));
  btnwrite_to_register = make_button(panel2, "btnwrite_to_register", 12, QRect(7, 304, 90, 24), "Write");
  label4 = make_rule(panel2, "label4", 52, QRect(106, 209, 1, 90));
  label14 = make_label(panel2, "label14", 54, {112, 209}, "Register (e.g. 2A)");
  txtReadRegAddr = make_entry(panel2, "txtReadRegAddr", 55, QRect(115, 224, 90, 20));
  // Too long for the read group's width: it takes two lines.
  label15 = make_label(panel2, "label15", 53, {112, 250}, "Data     (e.g. 15) decimal");
  label15->setWordWrap(true);
  label15->setGeometry(112, 250, 102, 26);
  txtReadRegLength = make_entry(panel2, "txtReadRegLength", 56, QRect(115, 278, 90, 20));
  btnRead = make_button(panel2, "btnRead", 50, QRect(115, 304, 90, 24), "Read Burst");
  btnwrite_to_register->setToolTip(btnwrite_to_register->text());
  btnRead->setToolTip(btnRead->text());
  give_shortcut(btnwrite_to_register, veltrix::ui::kWriteKeys);
  give_shortcut(btnRead, veltrix::ui::kReadBurstKeys);
  label13 = make_rule(panel2, "label13", 49, QRect(1, 336, 214, 1));

  lblComponents = make_label(panel2, "lblComponents", 21, {3, 342}, "Components", title);
  chkGyro = make_check(panel2, "chkGyro", 12, {12, 370}, "Gyroscope");
  chkTemp = make_check(panel2, "chkTemp", 15, {114, 370}, "Temperature");
  chkAccel = make_check(panel2, "chkAccel", 13, {12, 394}, "Accelerometer");
  chkCompass = make_check(panel2, "chkCompass", 14, {114, 394}, "Compass");

  btnStop = make_button(panel2, "btnStop", 45, QRect(45, 435, 116, 38), "Stop Component Log");
  btnStart = make_button(panel2, "btnStart", 46, QRect(45, 435, 116, 38), "Start Component Log");
  btnStart->raise();
  // Their shared shortcut is the window's (main_ui_form2.cpp).
  for (QPushButton* button : {btnStart, btnStop}) {
    button->setToolTip(veltrix::ui::with_shortcut(button->text(), veltrix::ui::kStartStopKeys));
  }
}

void MainUIForm2::build_register_map_area() {
  label5 = make_label(this, "label5", 62, {236, 12}, "Register Map", veltrix::ui::section_title_font());
  btnCompare = make_icon_button(this, "btnCompare", 33, QRect(label5->geometry().right() + 8, 10, 26, 26), "compare",
                                20, "Compare with file…");
  give_shortcut(btnCompare, veltrix::ui::kCompareKeys);
  const QFont header = veltrix::ui::column_header_font();
  constexpr int kPaneX = 236;
  label6 = make_label(this, "label6", 63, {kPaneX + 1, 41}, "Address\r\n(hex)", header);
  label7 = make_label(this, "label7", 64, {kPaneX + 44, 41}, "Address\r\n(decimal)", header);
  label8 = make_label(this, "label8", 65, {kPaneX + 114, 46}, "Register Name", header);
  label9 = make_label(this, "label9", 66, {kPaneX + 331, 41}, "Register Value\r\n(binary)\r\n", header);
  label10 = make_label(this, "label10", 67, {kPaneX + 477, 41}, "Register Value\r\n(hex)\r\n", header);
  txtRegisterMap = make_pane(this, "txtRegisterMap", 30, QRect(kPaneX, 76, 624, 177));
  anchoring_.add(txtRegisterMap, kAnchorTop | kAnchorLeft | kAnchorRight);

  lblWaitRM = make_label(this, "lblWaitRM", 60, {375, 215}, "Updating register map. Please wait ...",
                         veltrix::ui::wait_label_font());
  // Painted on its own ground: over the map's text it must stay readable.
  fill(lblWaitRM, kWindowColour);
  QPalette palette = lblWaitRM->palette();
  palette.setColor(QPalette::WindowText, kDarkRed);
  lblWaitRM->setPalette(palette);
  lblWaitRM->hide();
  lblWaitRM->raise();
}

void MainUIForm2::build_console_area() {
  label3 = make_label(this, "label3", 61, {236, 259}, "Console Log", veltrix::ui::section_title_font());
  btnClear = make_icon_button(this, "btnClear", 50, QRect(label3->geometry().right() + 6, 263, 17, 17), "clear", 13,
                              "Clear console");
  btnLivePlot = make_icon_button(this, "btnLivePlot", 51, QRect(btnClear->geometry().right() + 6, 263, 17, 17),
                                 "live_plot", 13, "Live plot");
  give_shortcut(btnClear, veltrix::ui::kClearKeys);
  // Its shortcut belongs to the window (main_ui_form2_live_plot.cpp).
  btnLivePlot->setToolTip(veltrix::ui::with_shortcut(btnLivePlot->toolTip(), veltrix::ui::kLivePlotKeys));
  // Reviewing a saved data log needs no sensor.
  btnLivePlot->setEnabled(true);
  // Two lines beside the console title and its buttons, down to the pane.
  const int report_x = btnLivePlot->geometry().right() + 10;
  lblCaptureReport = new veltrix::ui::StatusLabel(QStringLiteral("Capture report"), this);
  lblCaptureReport->setObjectName(QStringLiteral("lblCaptureReport"));
  lblCaptureReport->setProperty(kTabIndex, 61);
  lblCaptureReport->setWordWrap(true);
  lblCaptureReport->setFont(veltrix::ui::report_font());
  lblCaptureReport->setGeometry(report_x, 258, 860 - report_x, 30);
  lblCaptureReport->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  anchoring_.add(lblCaptureReport, kAnchorTop | kAnchorLeft | kAnchorRight);
  txtDataLogging = make_pane(this, "txtDataLogging", 41, QRect(236, 288, 624, 208));
  anchoring_.add(txtDataLogging, kAnchorTop | kAnchorBottom | kAnchorLeft | kAnchorRight);
}

void MainUIForm2::build_bottom_row() {
  chkEnableDisplay = make_check(this, "chkEnableDisplay", 52, {236, 503}, "Enable Console Display");
  chkEnableDisplay->setChecked(true);
  chkEnableDisplay->setEnabled(false);
  chkEnableFileLog = make_check(this, "chkEnableFileLog", 55, {400, 503}, "Enable File Log");
  chkEnableFileLog->setEnabled(false);
  chkFastCapture =
      make_check(this, "chkFastCapture", 56, {chkEnableFileLog->geometry().right() + 24, 503}, "Fast capture");
  chkFastCapture->setToolTip(
      QStringLiteral("Read each sample in one block where the sensor allows it; the logs stay the same"));
  chkFastCapture->setEnabled(false);
  chkContinueAfterReconnect = make_check(this, "chkContinueAfterReconnect", 57,
                                         {chkFastCapture->geometry().right() + 24, 503}, "Continue after reconnect");
  chkContinueAfterReconnect->setToolTip(
      QStringLiteral("When the board goes away during a capture, go on with a new data log once it is back"));
  chkContinueAfterReconnect->setEnabled(false);
  label2 = make_label(this, "label2", 38, {236, 535}, "Data Log Folder :");
  btnSelectFolder = make_icon_button(this, "btnSelectFolder", 39, QRect(label2->geometry().right() + 6, 531, 22, 22),
                                     "folder", 16, "Choose log folder…");
  give_shortcut(btnSelectFolder, veltrix::ui::kFolderKeys);
  const int folder_x = btnSelectFolder->geometry().right() + 6;
  txtSelectedFolder = make_entry(this, "txtSelectedFolder", 37, QRect(folder_x, 532, 860 - folder_x, 20));
  txtSelectedFolder->setReadOnly(true);
  QPalette on_window = txtSelectedFolder->palette();
  on_window.setColor(QPalette::Base, kWindowColour);
  txtSelectedFolder->setPalette(on_window);
  for (QWidget* w : std::initializer_list<QWidget*>{chkEnableDisplay, chkEnableFileLog, chkFastCapture,
                                                    chkContinueAfterReconnect, label2, btnSelectFolder}) {
    anchoring_.add(w, kAnchorBottom | kAnchorLeft);
  }
  anchoring_.add(txtSelectedFolder, kAnchorBottom | kAnchorLeft | kAnchorRight);
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
