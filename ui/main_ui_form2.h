#pragma once
// The operator's main window: device list and connection, register map
// panel, logging controls and console. Handlers keep the names of the
// controls and events they serve; they validate input, call the current
// device iKOR or the capture settings and control, and update the widgets.
//
// Thread contract: window thread only. The board session (session/) owns
// the device, the capture and the board's loss and return; its events come
// from other threads and are passed to this one, and so are the link's
// notices. The capture thread shares only the capture settings, the console
// buffer and the plot queue (capture/), all safe to touch from here.
//
// Files: layout and wiring (main_ui_form2_layout.cpp, main_ui_form2.cpp),
// connection, register panel and logging controls, live plot and capture
// report, what is remembered between runs (main_ui_form2_*.cpp).

#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/sample_queue.h"
#include "devices/register_sentences.h"
#include "devices/write_read_back.h"
#include "session/session.h"
#include "ui/anchoring.h"
#include "ui/session_signals.h"
#include "ui/window_settings.h"

class ikor;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;

namespace veltrix::ui {
namespace plot {
class LivePlotWindow;
}
class OperatorPrompts;
class StatusLabel;
}  // namespace veltrix::ui

namespace VeltrixDataLoggerWFA_clr8xp {

inline constexpr const char* kMessageCaption = "Veltrix Data Logger";

class MainUIForm2 : public QWidget {
  Q_OBJECT

 public:
  explicit MainUIForm2(veltrix::ui::OperatorPrompts& prompts, QWidget* parent = nullptr);
  // Stops and joins a running capture, then closes the link.
  ~MainUIForm2() override;

  // Connection.
  // As if the operator chose `model` in the device list, which connects it.
  // False when it is not listed or did not connect (the window says why).
  bool choose_model(const QString& model);
  bool conntect_to_device(const QString& pDevice);
  bool is_device_connected(bool showMessage = true);
  void update_sensor_ui_for_sensor(ikor& device);
  // The RATE_* constant for a rate in Hz, -1 for a rate without one.
  static int get_current_sample_rate_constant(int rate);

  // The sampling rate in Hz last applied or read back.
  int CurrentSampleRate = 0;

  // Handlers.
  void cmbDevices_SelectedIndexChanged();
  void btnRefresh_Click();
  void btnwrite_to_register_Click();
  void btnRead_Click();
  void btnSave_Click();
  void btnLoad_Click();
  // Marks and lists the rows where the sensor differs from a register-map file.
  void btnCompare_Click();
  void btnClear_Click();
  void rdSamplingRate_CheckedChanged(QRadioButton* sender);
  void rdCustomSampleRate_CheckedChanged();
  void chkGyro_CheckedChanged();
  void chkAccel_CheckedChanged();
  void chkCompass_CheckedChanged();
  void chkTemp_CheckedChanged();
  void chkHideDisplay_CheckedChanged();
  void chkEnableFileLog_CheckedChanged();
  void btnSelectFolder_Click();
  void btnStart_Click();
  void btnStop_Click();
  void tmDataUpdater_Tick();
  void chkFastCapture_CheckedChanged();
  // Shows the one "Live Plot" window, creating it the first time.
  void show_live_plot();
  // Connects again to the board that went away, asking first when the board
  // found cannot be told to be the same one.
  void btnReconnect_Click();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_controls();
  void build_register_tools();
  void build_panel2();
  void build_register_map_area();
  void build_console_area();
  void build_bottom_row();
  void wire_capture_extras();
  void wire_handlers();
  void install_port_notifier();
  // A board that went away, and connecting to it again (main_ui_form2_reconnect.cpp).
  void build_reconnect_line();
  void wire_reconnect();
  void board_went_away(const veltrix::session::BoardLoss& loss);
  void board_came_back(const veltrix::session::BoardBack& back);
  bool reconnect_to(const std::string& port);

  void show_error(const QString& text, const QString& detail = {});
  void set_register_map_text(const std::string& text);
  // The register map pane read afresh from the sensor. A row answered badly
  // shows 0; at a row the board leaves unanswered it stops, and that row and
  // the later ones keep the text they had. Either is told to the operator.
  void show_register_map();
  // One box per message; true when there was one.
  bool show_messages(const std::vector<veltrix::devices::OperatorMessage>& messages);
  void show_in_console_pane(const QString& text);
  // One box naming every register that read back otherwise; none when empty.
  void show_read_back(const std::vector<veltrix::devices::ReadBackDifference>& differences);
  void enable_start_for_outputs();
  void set_capturing(bool capturing);
  void shut_down();
  // The live plot and report side of Start; what the capture is asked to do.
  veltrix::session::CaptureRun begin_capture_extras();
  void wire_capture_events();
  void capture_note(const QString& message);
  void capture_waiting(int seconds);
  void capture_failure(const QString& message, bool capture_goes_on);
  void capture_ended(const veltrix::session::Outcome& outcome);
  void show_capture_outcome();
  // Before the handlers are wired: the boxes and their mirror flags are set
  // as the operator left them, without running a handler.
  void restore_choices();
  void remember_choices();
  // After a connection: the components last chosen for the model.
  void restore_model_choices();
  void restore_logging(const veltrix::ui::LoggingChoices& logging);
  veltrix::ui::LoggingChoices logging_choices() const;
  int chosen_components() const;

  veltrix::ui::OperatorPrompts& prompts_;
  veltrix::ui::Anchoring anchoring_;
  // The console buffer snapshot the pane shows; nullopt when it shows other text.
  std::optional<std::string> console_shown_;
  bool shut_down_ = false;
  // Fed by every capture, read by the live plot; outlives each capture thread.
  veltrix::capture::SampleQueue plot_queue_;
  QPointer<veltrix::ui::plot::LivePlotWindow> live_plot_;
  // Heard on this thread; outlives the session it listens to.
  veltrix::ui::SessionSignals session_signals_;
  // The board, its captures, its loss and return; iKOR is its device.
  veltrix::session::Session session_{&session_signals_};
  // From Start until the capture's end: the window's own state, as its
  // events leave it.
  bool capturing_ = false;
  QString capture_notes_;
  QString capture_end_;      // why the last capture ended by itself; "" when it was stopped
  QString capture_waiting_;  // while the capture has no sample, or waits for its board
  QString capture_report_;
  QString capture_gaps_;        // of a capture that goes on across a lost board
  QStringList failures_shown_;  // of the running capture, shown as they happened
  veltrix::ui::WindowChoices remembered_;

  QPushButton* btnLoad;
  QPushButton* btnSave;
  QPushButton* btnCompare;
  QPushButton* btnRefresh;
  QFrame* panel2;
  QLabel* lblSelectDevice;
  QComboBox* cmbDevices;
  QLabel* label11;
  QLabel* lblSamplingRates;
  QWidget* pnlSamplingRate;
  QRadioButton* rdSamplingRate20;
  QRadioButton* rdSamplingRate50;
  QRadioButton* rdSamplingRate100;
  QRadioButton* rdSamplingRate200;
  QRadioButton* rdCustomSampleRate;
  QLabel* label12;
  QLabel* lblRegisterSettings;
  QLabel* label1;
  QLineEdit* txtWriteRegRegister;
  QLabel* lblWriteRegData;
  QLineEdit* txtWriteRegData;
  QPushButton* btnwrite_to_register;
  QLabel* label4;
  QLabel* label14;
  QLineEdit* txtReadRegAddr;
  QLabel* label15;
  QLineEdit* txtReadRegLength;
  QPushButton* btnRead;
  QLabel* label13;
  QLabel* lblComponents;
  QCheckBox* chkGyro;
  QCheckBox* chkTemp;
  QCheckBox* chkAccel;
  QCheckBox* chkCompass;
  QPushButton* btnStart;
  QPushButton* btnStop;
  QLabel* label5;
  QLabel* label6;
  QLabel* label7;
  QLabel* label8;
  QLabel* label9;
  QLabel* label10;
  QPlainTextEdit* txtRegisterMap;
  QLabel* lblWaitRM;
  QLabel* label3;
  QPushButton* btnClear;
  QPlainTextEdit* txtDataLogging;
  QCheckBox* chkEnableDisplay;
  QCheckBox* chkEnableFileLog;
  QLabel* label2;
  QPushButton* btnSelectFolder;
  QLineEdit* txtSelectedFolder;
  QPushButton* btnLivePlot;
  // Its text is all that is known of the last capture; what does not fit is
  // a click away (status_label.h).
  veltrix::ui::StatusLabel* lblCaptureReport;
  QCheckBox* chkFastCapture;
  QCheckBox* chkContinueAfterReconnect;
  veltrix::ui::StatusLabel* lblBoardStatus;
  QPushButton* btnReconnect;
  // Looks at the link while connected and for the board while it is away.
  QTimer* tmBoardWatch;
  // Repaints the console pane from the console buffer: a fast capture's
  // lines are painted in batches.
  QTimer* tmDataUpdater;
};

}  // namespace VeltrixDataLoggerWFA_clr8xp
