// Choosing a model and connecting: every list entry against a simulated board
// of its class, the bus question, failures with no board, the link's own
// messages, and the FIFO register the link's burst reads learn.

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "capture/capture_settings.h"
#include "devices/device_connection.h"
#include "devices/model_catalogue.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"

using veltrix::ui::test::WindowHarness;

namespace {

const std::set<std::string> kDualBusModels = {"HEP 11", "HEP 14", "BEH 12", "KOR 24", "KOR 23",
                                              "NAF 37", "NAF 38", "KOR 40", "KOR 46"};
const char* const kNotConnected = "Can't connect to the sensor. Please make sure the sensor is connected.";

const char* const kEnabledOnConnect[] = {"btnRefresh",
                                         "btnStart",
                                         "btnStop",
                                         "btnwrite_to_register",
                                         "btnClear",
                                         "btnSelectFolder",
                                         "rdSamplingRate20",
                                         "rdSamplingRate50",
                                         "rdSamplingRate100",
                                         "rdSamplingRate200",
                                         "rdCustomSampleRate",
                                         "btnLoad",
                                         "btnSave",
                                         "btnRead",
                                         "chkEnableDisplay",
                                         "chkEnableFileLog"};

bool none_enabled(const WindowHarness& h) {
  for (const char* name : kEnabledOnConnect) {
    if (h.child<QWidget>(name)->isEnabled()) {
      return false;
    }
  }
  return true;
}

}  // namespace

class WindowConnectionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void every_entry_connects_to_its_class_and_adapts_the_window_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("model_class");
    QTest::addColumn<int>("mode");
    for (const ModelEntry& m : model_catalogue()) {
      QTest::addRow("%s I2C", m.name) << m.name << m.class_name << MODE_I2C;
      if (kDualBusModels.count(m.name) != 0) {
        QTest::addRow("%s SPI", m.name) << m.name << m.class_name << MODE_SPI;
      }
    }
  }
  void every_entry_connects_to_its_class_and_adapts_the_window() {
    QFETCH(QString, model);
    QFETCH(QString, model_class);
    QFETCH(int, mode);
    WindowHarness h;
    h.start_board(model_class.toStdString());
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    h.select_model(model, mode);

    QVERIFY(iKOR != nullptr);
    QVERIFY(h.prompts.errors.empty());
    const bool dual = kDualBusModels.count(model.toStdString()) != 0;
    QCOMPARE(h.prompts.mode_questions_shown, dual ? 1 : 0);
    const QStringList lines = h.board_lines();
    QCOMPARE(lines.contains(QStringLiteral("CS1")), mode == MODE_SPI && model_class != QStringLiteral("kor23"));

    auto* devices = h.child<QComboBox>("cmbDevices");
    QVERIFY(!devices->isEnabled());
    QCOMPARE(devices->currentText(), model);
    QCOMPARE(devices->palette().color(QPalette::Disabled, QPalette::Button), QColor(211, 211, 211));
    for (const char* name : kEnabledOnConnect) {
      QVERIFY2(h.child<QWidget>(name)->isEnabled(), name);
    }
    QVERIFY(h.child<QPushButton>("btnStart")->isVisible());

    // The 50 Hz applied on connecting is what the sensor runs at and what the window shows.
    QCOMPARE(qRound(h.board->sample_rate_hz()), 50);
    QCOMPARE(h.window->CurrentSampleRate, 50);
    QVERIFY(h.child<QRadioButton>("rdSamplingRate50")->isChecked());
    QCOMPARE(h.child<QRadioButton>("rdCustomSampleRate")->text(), QStringLiteral("Custom"));
    const int rates = iKOR->get_available_sampling_rates();
    QCOMPARE(h.child<QWidget>("rdSamplingRate20")->isVisible(), (rates & RATE_20HZ) != 0);
    QCOMPARE(h.child<QWidget>("rdSamplingRate200")->isVisible(), (rates & RATE_200HZ) != 0);

    const int components = iKOR->get_available_components();
    const struct {
      const char* box;
      int bit;
      const std::atomic<bool>& status;
    } boxes[] = {{"chkGyro", COMPONENT_GYRO, veltrix::capture::settings::chkGyroStatus},
                 {"chkAccel", COMPONENT_ACCEL, veltrix::capture::settings::chkAccelStatus},
                 {"chkCompass", COMPONENT_COMPASS, veltrix::capture::settings::chkCompStatus},
                 {"chkTemp", COMPONENT_TEMP, veltrix::capture::settings::chkTempStatus}};
    for (const auto& b : boxes) {
      const bool offered = (components & b.bit) != 0;
      QCOMPARE(h.child<QCheckBox>(b.box)->isVisible(), offered);
      QCOMPARE(h.child<QCheckBox>(b.box)->isChecked(), offered);
      QCOMPARE(b.status.load(), offered);
    }

    const QStringList map =
        h.child<QPlainTextEdit>("txtRegisterMap")->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(map.size(), iKOR->get_register_list_size());
    QVERIFY(map.first().startsWith(QString::fromLatin1(iKOR->get_register_list()[0].address) + " | "));
    QVERIFY(!map.first().contains(QLatin1Char('\r')));

    // Connected for good: even a selection forced on the list changes no device.
    ikor* const device = iKOR;
    devices->setCurrentIndex(devices->currentIndex() == 0 ? 1 : 0);
    QCOMPARE(iKOR, device);
    QCOMPARE(h.prompts.mode_questions_shown, dual ? 1 : 0);
  }

  void closing_the_bus_question_connects_nothing_and_the_list_stays_usable() {
    WindowHarness h;
    h.start_board("hep11");
    h.select_model(QStringLiteral("HEP 11"), 0);
    QCOMPARE(h.prompts.mode_questions_shown, 1);
    QVERIFY(iKOR == nullptr);
    QVERIFY(h.prompts.errors.empty());
    QVERIFY(h.board_lines().isEmpty());
    QVERIFY(h.child<QComboBox>("cmbDevices")->isEnabled());
    QCOMPARE(h.child<QComboBox>("cmbDevices")->currentText(), QStringLiteral("HEP 11"));
    QVERIFY(none_enabled(h));

    h.select_model(QStringLiteral("HEP 14"), MODE_I2C);
    QVERIFY(iKOR != nullptr);
    QVERIFY(!h.child<QComboBox>("cmbDevices")->isEnabled());
  }

  void without_a_board_each_bus_has_its_message_and_a_later_choice_connects() {
    WindowHarness h;
    h.select_model(QStringLiteral("KOR 42"));
    h.select_model(QStringLiteral("KOR 46"), MODE_SPI);
    QCOMPARE(h.prompts.error_texts(), (std::vector<QString>{QString::fromLatin1(kNotConnected),
                                                            QStringLiteral("SPI Connection not configured.")}));
    for (const auto& e : h.prompts.errors) {
      QCOMPARE(e.caption, QStringLiteral("Veltrix Data Logger"));
    }
    QVERIFY(iKOR == nullptr);
    QVERIFY(h.child<QComboBox>("cmbDevices")->isEnabled());
    QCOMPARE(h.child<QComboBox>("cmbDevices")->currentText(), QStringLiteral("KOR 46"));
    QVERIFY(none_enabled(h));

    h.start_board("kor46");
    h.select_model(QStringLiteral("KOR 40"), MODE_I2C);
    QVERIFY(iKOR != nullptr);
    QCOMPARE(h.prompts.errors.size(), std::size_t{2});
  }

  void a_board_silent_after_the_open_is_not_connected_and_shows_no_rate() {
    WindowHarness h;
    veltrix::sim::Faults silent_after_open;
    silent_after_open.silent_after = 2;  // SD, IE2
    h.start_board("kor42").set_faults(silent_after_open);
    h.select_model(QStringLiteral("KOR 42"));
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{QString::fromLatin1(kNotConnected)});
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("The board stopped answering. Register 1A (CONFIG) was not written."));
    // Nothing is asked after the first exchange left unanswered.
    QCOMPARE(h.board_lines(), (QStringList{"SD", "IE2", "WR681A02"}));
    QVERIFY(iKOR == nullptr);
    QVERIFY(none_enabled(h));
    QCOMPARE(h.child<QRadioButton>("rdCustomSampleRate")->text(), QStringLiteral("Custom"));
    QVERIFY(h.child<QPlainTextEdit>("txtRegisterMap")->toPlainText().isEmpty());

    // The list stays usable: the board answering again connects.
    h.board->set_faults({});
    h.select_model(QStringLiteral("KOR 40"), MODE_I2C);
    QVERIFY(iKOR != nullptr);
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
  }

  void the_links_own_messages_keep_their_caption_and_reach_the_window_thread() {
    WindowHarness h;
    QTemporaryFile not_a_port;
    QVERIFY(not_a_port.open());
    qputenv("VELTRIX_PORT", QFile::encodeName(not_a_port.fileName()));
    h.select_model(QStringLiteral("KOR 73"));
    QCOMPARE(h.prompts.error_texts(), (std::vector<QString>{QStringLiteral("Unable to get port state"),
                                                            QStringLiteral("Unable to configure the serial port"),
                                                            QString::fromLatin1(kNotConnected)}));
    // The box says why in plain words under the generic message.
    QCOMPARE(h.prompts.errors.back().detail, QFile::decodeName(qgetenv("VELTRIX_PORT")) + " is not a serial port");
    QCOMPARE(h.prompts.errors[0].caption, QStringLiteral("Error"));
    QCOMPARE(h.prompts.errors[1].caption, QStringLiteral("Error"));

    // A connect on another thread: its messages wait for the window's thread.
    std::thread elsewhere([port = not_a_port.fileName().toStdString()] {
      const std::unique_ptr<ikor> device = find_model("KOR 73")->create();
      (void)veltrix::devices::connect_device(*device, MODE_I2C, port);
    });
    elsewhere.join();
    QCOMPARE(h.prompts.errors.size(), std::size_t{3});
    QTRY_COMPARE(h.prompts.errors.size(), std::size_t{5});
    QCOMPARE(h.prompts.errors[3].text, QStringLiteral("Unable to get port state"));
    QCOMPARE(h.prompts.errors[4].text, QStringLiteral("Unable to configure the serial port"));
    QCOMPARE(h.prompts.errors[4].caption, QStringLiteral("Error"));
  }

  void burst_reads_learn_the_models_fifo_register_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("model_class");
    QTest::newRow("table with FIFO_R_W") << "KOR 73"
                                         << "kor73";
    QTest::newRow("table without, 0x74 used") << "KOR 21"
                                              << "kor21";
  }
  void burst_reads_learn_the_models_fifo_register() {
    QFETCH(QString, model);
    QFETCH(QString, model_class);
    WindowHarness h;
    QVERIFY(h.connect(model_class.toStdString(), model));
    h.board->clear_commands();
    unsigned char data[12];
    QCOMPARE(iKOR->read_registers(0x74, 12, data), 0L);
    // Only the FIFO register is read in the split that never over-reads it.
    QCOMPARE(h.board_lines(), (QStringList{"RD68740A", "RD687402"}));
  }
};

QTEST_MAIN(WindowConnectionTest)
#include "window_connection_test.moc"
