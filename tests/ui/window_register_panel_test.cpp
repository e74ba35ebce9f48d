// The register map panel against a simulated KOR 73: write and read entries
// accepted and refused, the write pause, a board that stops answering, save
// and load through scripted pickers, Clear, and Refresh during a capture.

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <cstdio>

#include "capture/capture_control.h"
#include "capture/console_buffer.h"
#include "devices/register_input.h"
#include "devices/register_sentences.h"
#include "tests/ui/contrast.h"
#include "tests/ui/sample_lines.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"

using veltrix::ui::test::WindowHarness;

namespace {

QStringList sensor_writes(const WindowHarness& h) {
  QStringList writes;
  for (const QString& line : h.board_lines()) {
    if (line.startsWith(QStringLiteral("WR68"))) {
      writes.append(line);
    }
  }
  return writes;
}

// The pane's text for the values of `count` registers from `first` on.
QString register_values(const WindowHarness& h, int first, int count) {
  QString values;
  for (int i = 0; i < count; ++i) {
    char value[8];
    std::snprintf(value, sizeof value, "0x%02X ", h.board->register_value(0x68, static_cast<std::uint8_t>(first + i)));
    values += QString::fromLatin1(value);
  }
  return values;
}

QByteArray read_all(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write_all(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  QCOMPARE(file.write(content), content.size());
}

// The saved map's line for `reg` with its value replaced.
QByteArray with_value(QByteArray map, int reg, int value) {
  const QByteArray prefix = QByteArray::number(reg, 16).toUpper().rightJustified(2, '0') + " :   ";
  const qsizetype at = map.indexOf(prefix);
  if (at < 0) {
    qFatal("no line for register %02X", reg);
  }
  map.replace(at + prefix.size(), 2, QByteArray::number(value, 16).toUpper().rightJustified(2, '0'));
  return map;
}

}  // namespace

class WindowRegisterPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void write_takes_hexadecimal_bytes_only_data() {
    QTest::addColumn<QString>("reg");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("written");  // the board's WR line, "" when refused
    QTest::newRow("6B 0") << "6B"
                          << "0"
                          << "WR686B00";
    QTest::newRow("lengths differ") << "6"
                                    << "01"
                                    << "WR680601";
    QTest::newRow("leading zeros") << "6C"
                                   << "00FF"
                                   << "WR686CFF";
    QTest::newRow("lower case") << "6c"
                                << "a5"
                                << "WR686CA5";
    QTest::newRow("prefix") << "6B"
                            << "0x6B"
                            << "";
    QTest::newRow("trailing blank") << "6B "
                                    << "00"
                                    << "";
    QTest::newRow("sign") << "6B"
                          << "-1"
                          << "";
    QTest::newRow("above FF") << "100"
                              << "00"
                              << "";
    QTest::newRow("empty data") << "6B"
                                << ""
                                << "";
    QTest::newRow("empty register") << ""
                                    << "00"
                                    << "";
    QTest::newRow("beyond 32 bits") << "6B"
                                    << "1000000000"
                                    << "";
  }
  void write_takes_hexadecimal_bytes_only() {
    QFETCH(QString, reg);
    QFETCH(QString, data);
    QFETCH(QString, written);
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.board->clear_commands();
    h.child<QLineEdit>("txtWriteRegRegister")->setText(reg);
    h.child<QLineEdit>("txtWriteRegData")->setText(data);
    h.click("btnwrite_to_register");
    if (written.isEmpty()) {
      QCOMPARE(h.prompts.error_texts(), std::vector<QString>{QString::fromLatin1(kRegisterInputError)});
      QVERIFY(h.board_lines().isEmpty());
    } else {
      QVERIFY(h.prompts.errors.empty());
      QCOMPARE(sensor_writes(h), QStringList{written});
      QCOMPARE(h.board->register_value(0x68, written.mid(4, 2).toInt(nullptr, 16)),
               written.mid(6, 2).toInt(nullptr, 16));
    }
  }

  void write_pauses_with_the_window_painting_and_input_held() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    // A register the map does not list, so only Read Burst would ask for it.
    h.child<QLineEdit>("txtReadRegAddr")->setText(QStringLiteral("FE"));
    h.child<QLineEdit>("txtReadRegLength")->setText(QStringLiteral("1"));
    h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("5A"));
    auto* map = h.child<QPlainTextEdit>("txtRegisterMap");
    map->setPlainText(QStringLiteral("stale"));
    h.board->clear_commands();

    bool label_shown = false;
    bool ran_during_pause = false;
    QTimer::singleShot(200, h.window.get(), [&] {
      ran_during_pause = true;
      label_shown = h.child<QLabel>("lblWaitRM")->isVisible();
      h.click("btnRead");
      QTest::keyClicks(h.child<QLineEdit>("txtWriteRegData"), QStringLiteral("FF"));
      h.window->close();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    h.click("btnwrite_to_register");
    QVERIFY(elapsed.elapsed() >= 500);
    QVERIFY(ran_during_pause);
    QVERIFY(label_shown);
    // Neither the click, the typing nor the close got through during the pause.
    QCOMPARE(sensor_writes(h), QStringList{"WR68135A"});
    QVERIFY(!h.board_lines().contains(QStringLiteral("RD68FE01")));
    QCOMPARE(h.child<QLineEdit>("txtWriteRegData")->text(), QStringLiteral("5A"));
    QVERIFY(h.child<QLabel>("lblWaitRM")->isHidden());
    QVERIFY(map->toPlainText().contains(QStringLiteral("13 | 19  | XG_OFFSET_H        |  01011010\t5a")));
    QVERIFY(h.prompts.errors.empty());
    // The close asked for during the pause happens after it.
    QVERIFY(h.window->isVisible());
    QTRY_VERIFY(!h.window->isVisible());
  }

  void read_burst_reads_each_register_into_the_pane_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("header");  // "" when refused
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("wraps at FF") << "FF"
                                 << "2"
                                 << "Read Burst Addr:FF Length 2" << 0xFF << 2;
    QTest::newRow("as typed") << "2a"
                              << "012"
                              << "Read Burst Addr:2a Length 12" << 0x2A << 12;
    QTest::newRow("trailing junk") << "10"
                                   << "12abc"
                                   << "Read Burst Addr:10 Length 12" << 0x10 << 12;
    QTest::newRow("blank and sign") << "10"
                                    << " +3"
                                    << "Read Burst Addr:10 Length 3" << 0x10 << 3;
    QTest::newRow("negative") << "10"
                              << "-1"
                              << "Read Burst Addr:10 Length -1" << 0x10 << 0;
    QTest::newRow("zero") << "10"
                          << "0"
                          << "" << 0 << 0;
    QTest::newRow("256") << "10"
                         << "256"
                         << "" << 0 << 0;
    QTest::newRow("no digits") << "10"
                               << "abc"
                               << "" << 0 << 0;
    QTest::newRow("no length") << "10"
                               << ""
                               << "" << 0 << 0;
    QTest::newRow("prefixed address") << "0x10"
                                      << "1"
                                      << "" << 0 << 0;
    QTest::newRow("address above FF") << "100"
                                      << "1"
                                      << "" << 0 << 0;
    QTest::newRow("no address") << ""
                                << "1"
                                << "" << 0 << 0;
  }
  void read_burst_reads_each_register_into_the_pane() {
    QFETCH(QString, address);
    QFETCH(QString, length);
    QFETCH(QString, header);
    QFETCH(int, first);
    QFETCH(int, count);
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    auto* console = h.child<QPlainTextEdit>("txtDataLogging");
    console->setPlainText(QStringLiteral("before"));
    h.board->clear_commands();
    h.child<QLineEdit>("txtReadRegAddr")->setText(address);
    h.child<QLineEdit>("txtReadRegLength")->setText(length);
    h.click("btnRead");
    if (header.isEmpty()) {
      QCOMPARE(h.prompts.error_texts(), std::vector<QString>{QString::fromLatin1(kRegisterInputError)});
      QVERIFY(h.board_lines().isEmpty());
      QCOMPARE(console->toPlainText(), QStringLiteral("before"));
      return;
    }
    QVERIFY(h.prompts.errors.empty());
    QStringList expected_reads;
    for (int i = 0; i < count; ++i) {
      expected_reads.append(QStringLiteral("RD68%1").arg((first + i) % 256, 2, 16, QLatin1Char('0')).toUpper() + "01");
    }
    QCOMPARE(h.board_lines(), expected_reads);
    QCOMPARE(console->toPlainText(), header + "\n" + register_values(h, first, count));
    QVERIFY(console->textCursor().atEnd());
  }

  // Two of five registers answered one byte too long: a box for each, and the
  // other three values in address order; a write answered so still re-reads
  // the rate and the map.
  void a_malformed_reply_fails_its_register_and_the_operation_goes_on() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    veltrix::sim::Faults malformed;
    malformed.long_reads = {0x12, 0x14};
    h.board->set_faults(malformed);
    h.child<QLineEdit>("txtReadRegAddr")->setText(QStringLiteral("10"));
    h.child<QLineEdit>("txtReadRegLength")->setText(QStringLiteral("5"));
    h.click("btnRead");
    const QString read_error = QString::fromLatin1(veltrix::devices::kSensorReadError);
    QCOMPARE(h.prompts.error_texts(), (std::vector<QString>{read_error, read_error}));
    QCOMPARE(h.prompts.errors[0].detail, QStringLiteral("The board gave a malformed reply for register 12."));
    QCOMPARE(h.prompts.errors[1].detail, QStringLiteral("The board gave a malformed reply for register 14."));
    QCOMPARE(
        h.child<QPlainTextEdit>("txtDataLogging")->toPlainText(),
        QStringLiteral("Read Burst Addr:10 Length 5\n") + register_values(h, 0x10, 2) + register_values(h, 0x13, 1));

    h.prompts.errors.clear();
    const int smplrt_div = iKOR->lookup_address("SMPLRT_DIV");
    malformed.long_reads = {static_cast<std::uint8_t>(smplrt_div)};
    h.board->set_faults(malformed);
    h.board->clear_commands();
    h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("5A"));
    h.click("btnwrite_to_register");
    QCOMPARE(h.board->register_value(0x68, 0x13), 0x5A);
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{read_error});
    QVERIFY(h.prompts.errors[0].detail.startsWith(QStringLiteral("The board gave a malformed reply for register ")));
    QVERIFY(h.board_lines().size() > 20);  // the rate and the whole map were read again
    QVERIFY(h.child<QPlainTextEdit>("txtRegisterMap")->toPlainText().contains(QStringLiteral("|  01011010\t5a")));
  }

  void a_board_that_falls_silent_stops_each_operation_at_the_first_unanswered_register() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    auto* map = h.child<QPlainTextEdit>("txtRegisterMap");
    const QStringList before = map->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    veltrix::sim::Faults silent_after_three;
    silent_after_three.silent_after = 3;
    h.board->set_faults(silent_after_three);

    // The rows not read keep their values; one box names the register.
    h.click("btnRefresh");
    const QString read_error = QString::fromLatin1(veltrix::devices::kSensorReadError);
    const QString write_error = QString::fromLatin1(veltrix::devices::kSensorWriteError);
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{read_error});
    const RegisterRow& fourth = iKOR->get_register_list()[3];
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("The board stopped answering. The listing stops at register %1 (%2), which could not be "
                            "read.")
                 .arg(QString::fromLatin1(fourth.address), QString::fromLatin1(fourth.name)));
    const QStringList after = map->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.mid(3), before.mid(3));

    h.prompts.errors.clear();
    h.child<QLineEdit>("txtReadRegAddr")->setText(QStringLiteral("00"));
    h.child<QLineEdit>("txtReadRegLength")->setText(QStringLiteral("5"));
    h.board->clear_commands();
    h.click("btnRead");
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{read_error});
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("The board stopped answering. The read stops at register 00, which could not be read."));
    QCOMPARE(h.child<QPlainTextEdit>("txtDataLogging")->toPlainText(), QStringLiteral("Read Burst Addr:00 Length 5\n"));
    QCOMPARE(h.board_lines(), QStringList{QStringLiteral("RD680001")});

    // The failed write is the last exchange: nothing is read back after it.
    h.prompts.errors.clear();
    h.child<QLineEdit>("txtWriteRegRegister")->setText(QStringLiteral("13"));
    h.child<QLineEdit>("txtWriteRegData")->setText(QStringLiteral("5A"));
    h.board->clear_commands();
    h.click("btnwrite_to_register");
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{write_error});
    QCOMPARE(h.prompts.errors[0].detail, QStringLiteral("The board stopped answering. Register 13 was not written."));
    QCOMPARE(h.board_lines(), QStringList{QStringLiteral("WR68135A")});
    QCOMPARE(map->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(3), before.mid(3));
    QVERIFY(h.child<QLabel>("lblWaitRM")->isHidden());

    // A write answered, the map after it not: the wait label paints its own
    // ground over the map and stays until that read has ended.
    auto* wait = h.child<QLabel>("lblWaitRM");
    QVERIFY(wait->autoFillBackground());
    QCOMPARE(wait->palette().color(QPalette::Window).alpha(), 255);
    bool wait_shown_at_the_box = false;
    h.prompts.on_error = [&] { wait_shown_at_the_box = wait->isVisible(); };
    veltrix::sim::Faults silent_after_one;
    silent_after_one.silent_after = 1;
    h.board->set_faults(silent_after_one);
    h.prompts.errors.clear();
    h.click("btnwrite_to_register");
    QCOMPARE(h.prompts.error_texts(),
             std::vector<QString>{QStringLiteral("Register 13 was written, but reading it back failed.")});
    QCOMPARE(h.prompts.errors[0].detail, QStringLiteral("The board stopped answering."));
    QVERIFY(wait_shown_at_the_box);
    QVERIFY(wait->isHidden());
    h.prompts.on_error = {};

    // A load cut short says how far it came and asks nothing more.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("map.bin"));
    h.board->set_faults({});
    h.prompts.file_answers = {file};
    h.click("btnSave");
    // Each register written is read back: five rows take ten commands.
    silent_after_one.silent_after = 10;
    h.board->set_faults(silent_after_one);
    h.board->clear_commands();
    h.prompts.errors.clear();
    h.prompts.file_answers = {file};
    h.click("btnLoad");
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{write_error});
    const RegisterRow& sixth = iKOR->get_register_list()[5];
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("The board stopped answering. The load stops at register %1 (%2): 5 of %3 registers "
                            "written.")
                 .arg(QString::fromLatin1(sixth.address), QString::fromLatin1(sixth.name))
                 .arg(iKOR->get_register_list_size()));
    QCOMPARE(h.board_lines().size(), 11);
    QCOMPARE(sensor_writes(h).size(), 6);
  }

  void save_and_load_go_through_the_pickers_and_refuse_a_damaged_file() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("map.bin"));
    h.prompts.file_answers = {saved};
    h.click("btnSave");
    QCOMPARE(h.prompts.save_suffixes, std::vector<QString>{QStringLiteral("bin")});
    const QByteArray map = read_all(saved);
    QCOMPARE(map.count('\n'), iKOR->get_register_list_size());
    QVERIFY(h.prompts.errors.empty());

    // A value that moves no rate: written to the sensor, the pane keeps the old text.
    auto* pane = h.child<QPlainTextEdit>("txtRegisterMap");
    const QString before = pane->toPlainText();
    const QString edited = dir.filePath(QStringLiteral("edited.bin"));
    write_all(edited, with_value(map, 0x13, 0x5A));
    h.prompts.file_answers = {edited};
    h.click("btnLoad");
    QVERIFY(h.prompts.errors.empty());
    QCOMPARE(h.board->register_value(0x68, 0x13), 0x5A);
    QCOMPARE(pane->toPlainText(), before);

    // A divider for 200 Hz moves the rate selection, which re-reads the map.
    const int divider = iKOR->lookup_address("SMPLRT_DIV");
    const int faster = h.board->register_value(0x68, divider) == 19 ? 4 : 39;
    write_all(edited, with_value(map, divider, faster));
    h.prompts.file_answers = {edited};
    h.click("btnLoad");
    QVERIFY(h.prompts.errors.empty());
    QCOMPARE(h.window->CurrentSampleRate, 200);
    QVERIFY(h.child<QRadioButton>("rdSamplingRate200")->isChecked());
    QCOMPARE(qRound(h.board->sample_rate_hz()), 200);
    QVERIFY(pane->toPlainText() != before);

    // A damaged file is refused whole: nothing reaches the sensor.
    QByteArray cut = map;
    cut.chop(1);
    cut.truncate(cut.lastIndexOf('\n') + 1);
    write_all(edited, cut);
    h.board->clear_commands();
    h.prompts.file_answers = {edited};
    h.click("btnLoad");
    QCOMPARE(h.prompts.error_texts(),
             std::vector<QString>{QStringLiteral("The register-map file %1 does not match this sensor's register "
                                                 "table; nothing was written.")
                                      .arg(edited)});
    QCOMPARE(h.prompts.errors[0].caption, QStringLiteral("Veltrix Data Logger"));
    QVERIFY(sensor_writes(h).isEmpty());

    // Files that cannot be opened say why; a cancelled picker does nothing.
    h.prompts.errors.clear();
    const QString missing = dir.filePath(QStringLiteral("missing.bin"));
    const QString nowhere = dir.filePath(QStringLiteral("no-folder/map.bin"));
    h.prompts.file_answers = {missing, nowhere};
    h.click("btnLoad");
    h.click("btnSave");
    h.click("btnLoad");
    h.click("btnSave");
    QCOMPARE(
        h.prompts.error_texts(),
        (std::vector<QString>{
            QStringLiteral("Unable to read the register-map file %1 (No such file or directory); nothing was "
                           "written.")
                .arg(missing),
            QStringLiteral("Unable to write the register-map file %1 (No such file or directory).").arg(nowhere)}));
    QVERIFY(!QFile::exists(nowhere));
  }

  // The divider was written but its read-back came malformed: the box says
  // so in the CLI's words, and no rate is shown as chosen.
  void a_rate_change_cut_short_says_what_was_written_and_shows_no_rate() {
    WindowHarness h;
    QVERIFY(h.connect("kor42", "KOR 42"));
    veltrix::sim::Faults malformed;
    malformed.long_reads = {0x19};
    h.board->set_faults(malformed);
    h.prompts.errors.clear();
    h.click("rdSamplingRate200");
    QCOMPARE(h.prompts.error_texts(), std::vector<QString>{QString::fromLatin1(veltrix::devices::kSensorWriteError)});
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("The board gave a malformed reply. Register 19 (SMPLRT_DIV) was written but could not be "
                            "read back; the sampling rate is not known."));
    for (const char* name : {"rdSamplingRate20", "rdSamplingRate50", "rdSamplingRate100", "rdSamplingRate200"}) {
      QVERIFY2(!h.child<QRadioButton>(name)->isChecked(), name);
    }
  }

  void registers_that_do_not_hold_what_was_written_get_one_box_and_compare_marks_the_differing_rows() {
    WindowHarness h;
    veltrix::sim::SensorOptions sensor;
    sensor.ignored_writes = {0x6B, 0x20, 0x19};
    QVERIFY(h.connect("kor42", "KOR 42", sensor));
    const auto write = [&](const char* address, const char* value) {
      h.prompts.errors.clear();
      h.child<QLineEdit>("txtWriteRegRegister")->setText(QString::fromLatin1(address));
      h.child<QLineEdit>("txtWriteRegData")->setText(QString::fromLatin1(value));
      h.click("btnwrite_to_register");
    };
    write("6B", "41");
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
    QCOMPARE(h.prompts.errors[0].detail, QStringLiteral("Register 6B reads back 00 after writing 41"));
    write("75", "12");  // WHO_AM_I cannot hold it
    QVERIFY(h.prompts.errors.empty());
    write("6B", "80");  // the reset bit clears itself
    QVERIFY(h.prompts.errors.empty());

    // A load: one box for all of its registers.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("map.txt"));
    h.prompts.file_answers = {file};
    h.click("btnSave");
    QByteArray content = read_all(file);
    content.replace("6B :   00", "6B :   41").replace("20 :   00", "20 :   33").replace("21 :   00", "21 :   44");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(content);
    out.close();
    h.prompts.errors.clear();
    h.prompts.file_answers = {file};
    h.click("btnLoad");
    QCOMPARE(h.prompts.errors.size(), std::size_t{1});
    QCOMPARE(h.prompts.errors[0].detail,
             QStringLiteral("Register 20 reads back 00 after writing 33\nRegister 6B reads back 00 after writing 41"));

    // Compare marks the rows of the two registers that did not take the file.
    h.prompts.errors.clear();
    h.prompts.file_answers = {file};
    h.click("btnCompare");
    QVERIFY(h.prompts.errors.empty());
    QCOMPARE(h.prompts.informations.size(), std::size_t{1});
    QCOMPARE(h.prompts.informations[0].detail,
             QStringLiteral("20 | MOT_DUR            | 0x00 00000000 | 0x33 00110011\n"
                            "6B | PWR_MGMT_1         | 0x00 00000000 | 0x41 01000001"));
    QStringList marked;
    for (const QTextEdit::ExtraSelection& mark : h.child<QPlainTextEdit>("txtRegisterMap")->extraSelections()) {
      marked << mark.cursor.block().text().left(2);
    }
    QCOMPARE(marked, (QStringList{QStringLiteral("20"), QStringLiteral("6B")}));
    // As drawn, a marked row reads as well as any text should.
    auto* map = h.child<QPlainTextEdit>("txtRegisterMap");
    for (const QTextEdit::ExtraSelection& mark : map->extraSelections()) {
      map->setTextCursor(mark.cursor);
      map->ensureCursorVisible();
      const QRect row =
          QRect(0, map->cursorRect().top(), map->viewport()->width(), map->cursorRect().height()).adjusted(0, 2, 0, -2);
      const double ratio = veltrix::ui::test::drawn_contrast(map->viewport()->grab().toImage(), row);
      QVERIFY2(ratio >= 4.5,
               qPrintable(QStringLiteral("row %1: contrast %2").arg(mark.cursor.block().text().left(2)).arg(ratio)));
    }
    h.click("btnRefresh");
    QVERIFY(h.child<QPlainTextEdit>("txtRegisterMap")->extraSelections().isEmpty());

    // A rate change.
    h.prompts.errors.clear();
    h.click("rdSamplingRate100");
    QCOMPARE(h.prompts.error_texts(),
             std::vector<QString>{QStringLiteral("The sensor does not hold what was written.")});
    QCOMPARE(h.prompts.errors[0].detail, QStringLiteral("Register 19 reads back 00 after writing 09"));
  }

  void clear_empties_pane_and_buffer_and_read_output_lasts_until_the_next_refresh() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    auto* console = h.child<QPlainTextEdit>("txtDataLogging");
    veltrix::capture::console_buffer::append("first\r\n");
    h.window->tmDataUpdater_Tick();
    QCOMPARE(console->toPlainText(), QStringLiteral("first\n"));

    h.child<QLineEdit>("txtReadRegAddr")->setText(QStringLiteral("00"));
    h.child<QLineEdit>("txtReadRegLength")->setText(QStringLiteral("1"));
    h.click("btnRead");
    QVERIFY(console->toPlainText().startsWith(QStringLiteral("Read Burst Addr:00 Length 1")));
    h.window->tmDataUpdater_Tick();
    QCOMPARE(console->toPlainText(), QStringLiteral("first\n"));

    h.click("btnClear");
    QVERIFY(console->toPlainText().isEmpty());
    QVERIFY(veltrix::capture::console_buffer::snapshot().empty());
    veltrix::capture::console_buffer::append("second\r\n");
    h.window->tmDataUpdater_Tick();
    QCOMPARE(console->toPlainText(), QStringLiteral("second\n"));
    QVERIFY(console->textCursor().atEnd());
  }

  void refresh_during_a_capture_loses_no_sample_line() {
    WindowHarness h;
    QVERIFY(h.connect("kor73", "KOR 73"));
    h.click("rdSamplingRate20");
    h.click("btnStart");
    QVERIFY(h.child<QPushButton>("btnRefresh")->isEnabled());
    auto* pane = h.child<QPlainTextEdit>("txtRegisterMap");
    for (int i = 0; i < 4; ++i) {
      pane->clear();
      h.click("btnRefresh");
      QCOMPARE(pane->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), iKOR->get_register_list_size());
      QTest::qWait(60);
    }
    QTRY_VERIFY_WITH_TIMEOUT(veltrix::capture::console_buffer::snapshot().find("\r\n", 800) != std::string::npos,
                             20000);
    h.click("btnStop");
    veltrix::capture::control::wait();
    veltrix::ui::test::SampleRun run;
    const QString problem = veltrix::ui::test::check_sample_text(veltrix::capture::console_buffer::snapshot(),
                                                                 veltrix::devices::kAllComponents, &run);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(run.headers, 1);
    QVERIFY(run.samples >= 5);
    QVERIFY(h.prompts.errors.empty());
  }
};

QTEST_MAIN(WindowRegisterPanelTest)
#include "window_register_panel_test.moc"
