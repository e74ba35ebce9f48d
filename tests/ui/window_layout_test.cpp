// The window before any connection: initial state, no change events while
// it is built, geometry, resize anchoring, minimum size, tab order, fonts and
// icon buttons; the connection-mode dialog; the console pane's update rule.

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "capture/capture_settings.h"
#include "tests/ui/contrast.h"
#include "tests/ui/window_fixture.h"
#include "ui/application_setup.h"
#include "ui/console_update.h"
#include "ui/select_connection_mode.h"

using veltrix::ui::ConsoleUpdate;
using veltrix::ui::test::WindowHarness;

class WindowLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { veltrix::ui::prepare_application(*qApp); }

  void starts_with_every_button_disabled_and_nothing_selected() {
    WindowHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Veltrix Universal Data Logger V1.0"));
    // The Live Plot also reviews saved logs, so it needs no sensor.
    for (QPushButton* button : h.window->findChildren<QPushButton*>()) {
      QVERIFY2(!button->isEnabled() || button->objectName() == QStringLiteral("btnLivePlot"),
               qPrintable(button->objectName()));
    }
    for (QRadioButton* rate : h.window->findChildren<QRadioButton*>()) {
      QVERIFY2(!rate->isEnabled() && !rate->isChecked(), qPrintable(rate->objectName()));
      // Disabled, but a label the operator can read (3:1, as for large text).
      QStyleOptionButton option;
      option.initFrom(rate);
      option.text = rate->text();
      const QRect text = rate->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, rate);
      const double ratio = veltrix::ui::test::drawn_contrast(rate->grab().toImage(), text);
      QVERIFY2(ratio >= 3, qPrintable(QStringLiteral("%1: contrast %2").arg(rate->objectName()).arg(ratio)));
    }
    auto* devices = h.child<QComboBox>("cmbDevices");
    QVERIFY(devices->isEnabled());
    QCOMPARE(devices->currentIndex(), -1);
    QCOMPARE(devices->count(), 17);
    QCOMPARE(devices->itemText(0), QStringLiteral("HEP 11"));
    QCOMPARE(devices->itemText(16), QStringLiteral("KOR 73"));
    QVERIFY(h.child<QCheckBox>("chkEnableDisplay")->isChecked());
    QVERIFY(!h.child<QCheckBox>("chkEnableDisplay")->isEnabled());
    QVERIFY(!h.child<QCheckBox>("chkEnableFileLog")->isChecked());
    for (const char* name : {"chkGyro", "chkAccel", "chkCompass", "chkTemp"}) {
      QVERIFY(h.child<QCheckBox>(name)->isEnabled());
      QVERIFY(!h.child<QCheckBox>(name)->isChecked());
    }
    QVERIFY(h.child<QLabel>("lblWaitRM")->isHidden());
    QVERIFY(h.prompts.errors.empty());

    // Without a device the handlers that need one say so and do nothing.
    h.window->btnRefresh_Click();
    h.window->btnStart_Click();
    QCOMPARE(
        h.prompts.error_texts(),
        (std::vector<QString>{QStringLiteral("Sensor is not connected. Please make sure the sensor is connected."),
                              QStringLiteral("Sensor is not connected. Please make sure the sensor is connected.")}));
    QCOMPARE(h.prompts.errors[0].caption, QStringLiteral("Veltrix Data Logger"));
    QCOMPARE(veltrix::capture::settings::BackgroundThreadRunningStatus.load(), 0);
  }

  void building_the_window_runs_no_handler() {
    veltrix::ui::test::reset_process_state();
    // Values no handler would leave: a handler run while building shows up.
    veltrix::capture::settings::EnableLogToConsole = false;
    veltrix::capture::settings::chkGyroStatus = true;
    veltrix::ui::test::ScriptedPrompts prompts;
    VeltrixDataLoggerWFA_clr8xp::MainUIForm2 window(prompts);
    QVERIFY(!veltrix::capture::settings::EnableLogToConsole.load());
    QVERIFY(veltrix::capture::settings::chkGyroStatus.load());
    QVERIFY(!window.findChild<QTimer*>(QStringLiteral("tmDataUpdater"))->isActive());
    QVERIFY(prompts.errors.empty());
    veltrix::ui::test::reset_process_state();
  }

  void controls_sit_where_designed_and_follow_their_anchors() {
    WindowHarness h;
    h.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
    QCOMPARE(h.window->size(), QSize(872, 578));
    QCOMPARE(h.child<QWidget>("btnLoad")->geometry(), QRect(16, 12, 57, 48));
    QCOMPARE(h.child<QWidget>("btnRefresh")->geometry().right(), 213);
    QCOMPARE(h.child<QWidget>("panel2")->geometry(), QRect(12, 66, 218, 499));
    QCOMPARE(h.child<QWidget>("pnlSamplingRate")->size(), QSize(206, 81));
    QCOMPARE(h.child<QWidget>("btnStart")->geometry(), QRect(45, 435, 116, 38));
    QCOMPARE(h.child<QWidget>("btnStop")->geometry(), QRect(45, 435, 116, 38));
    QCOMPARE(h.child<QWidget>("txtRegisterMap")->geometry(), QRect(236, 76, 624, 177));
    QCOMPARE(h.child<QWidget>("txtDataLogging")->geometry(), QRect(236, 288, 624, 208));
    QCOMPARE(h.child<QWidget>("lblWaitRM")->pos(), QPoint(375, 215));
    QCOMPARE(h.child<QWidget>("label8")->pos(), QPoint(236 + 114, 46));
    QCOMPARE(h.child<QWidget>("label10")->pos(), QPoint(236 + 477, 41));
    QCOMPARE(h.child<QWidget>("chkEnableDisplay")->pos(), QPoint(236, 503));
    // btnStart lies in front of btnStop.
    auto* panel = h.child<QWidget>("panel2");
    QCOMPARE(panel->childAt(QPoint(100, 450)), h.child<QWidget>("btnStart"));

    const QRect folder = h.child<QWidget>("txtSelectedFolder")->geometry();
    QCOMPARE(folder.right(), 859);
    h.window->resize(1000, 700);
    QCOMPARE(h.child<QWidget>("txtDataLogging")->geometry(), QRect(236, 288, 752, 330));
    QCOMPARE(h.child<QWidget>("txtRegisterMap")->geometry(), QRect(236, 76, 752, 177));
    QCOMPARE(h.child<QWidget>("panel2")->geometry(), QRect(12, 66, 218, 621));
    QCOMPARE(h.child<QWidget>("chkEnableDisplay")->pos(), QPoint(236, 625));
    QCOMPARE(h.child<QWidget>("txtSelectedFolder")->geometry(), folder.translated(0, 122).adjusted(0, 0, 128, 0));
    QCOMPARE(h.child<QWidget>("label5")->pos(), QPoint(236, 12));
    QCOMPARE(h.child<QWidget>("lblWaitRM")->pos(), QPoint(375, 215));
    QCOMPARE(h.child<QWidget>("btnStart")->geometry(), QRect(45, 435, 116, 38));

    h.window->resize(600, 400);
    QCOMPARE(h.window->size(), QSize(872, 578));
    QCOMPARE(h.child<QWidget>("txtDataLogging")->geometry(), QRect(236, 288, 624, 208));
  }

  void tab_order_follows_each_containers_indices() {
    WindowHarness h;
    QStringList chain;
    QWidget* const start = h.child<QWidget>("txtRegisterMap");
    QWidget* w = start;
    do {
      if (!w->objectName().isEmpty() && (w->focusPolicy() & Qt::TabFocus) != 0 && w->window() == h.window.get() &&
          !chain.contains(w->objectName())) {
        chain.append(w->objectName());
      }
      w = w->nextInFocusChain();
    } while (w != start);
    const QStringList expected = {"txtRegisterMap",
                                  "btnSave",
                                  "btnLoad",
                                  "btnCompare",
                                  "txtSelectedFolder",
                                  "btnSelectFolder",
                                  "txtDataLogging",
                                  "btnRefresh",
                                  "btnClear",
                                  "btnLivePlot",
                                  "chkEnableDisplay",
                                  "chkEnableFileLog",
                                  "chkFastCapture",
                                  "chkContinueAfterReconnect",
                                  "rdSamplingRate100",
                                  "rdSamplingRate200",
                                  "rdCustomSampleRate",
                                  "rdSamplingRate20",
                                  "rdSamplingRate50",
                                  "btnwrite_to_register",
                                  "chkGyro",
                                  "txtWriteRegRegister",
                                  "chkAccel",
                                  "txtWriteRegData",
                                  "chkCompass",
                                  "chkTemp",
                                  "cmbDevices",
                                  "btnStop",
                                  "btnStart",
                                  "btnRead",
                                  "txtReadRegAddr",
                                  "txtReadRegLength"};
    QCOMPARE(chain, expected);
  }

  void fonts_and_icon_buttons_are_the_designed_ones() {
    WindowHarness h;
    QCOMPARE(QFontInfo(h.child<QLabel>("label5")->font()).family(), QStringLiteral("Carlito"));
    QCOMPARE(QFontInfo(h.child<QLabel>("label6")->font()).family(), QStringLiteral("Carlito"));
    QVERIFY(QFontInfo(h.child<QPlainTextEdit>("txtRegisterMap")->font()).fixedPitch());
    QCOMPARE(QFontInfo(h.child<QLabel>("lblWaitRM")->font()).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(h.child<QLabel>("label1")->font()).family(), QStringLiteral("Liberation Sans"));
    // The wait label is sized to its text, about as wide as designed.
    QVERIFY(qAbs(h.child<QLabel>("lblWaitRM")->width() - 318) <= 16);
    // "\r\n" in a header is one line break, never a stray glyph.
    auto* header = h.child<QLabel>("label7");
    QLabel plain(QString(header->text()).remove(QLatin1Char('\r')));
    plain.setFont(header->font());
    QCOMPARE(header->size(), plain.sizeHint());

    const struct {
      const char* name;
      const char* tip;
    } icons[] = {{"btnLoad", "Load register map…"},    {"btnSave", "Save register map…"},
                 {"btnCompare", "Compare with file…"}, {"btnRefresh", "Refresh"},
                 {"btnClear", "Clear console"},        {"btnSelectFolder", "Choose log folder…"}};
    for (const auto& icon : icons) {
      auto* button = h.child<QPushButton>(icon.name);
      // The tooltip may add the button's shortcut.
      QVERIFY(button->toolTip().startsWith(QString::fromUtf8(icon.tip)));
      QCOMPARE(button->accessibleName(), QString::fromUtf8(icon.tip));
      QVERIFY(button->text().isEmpty());
      // Drawn from vector artwork: sharp at twice the size.
      const QPixmap sharp = button->icon().pixmap(button->iconSize(), 2.0);
      QCOMPARE(sharp.size(), button->iconSize() * 2);
      QImage blank(sharp.size(), QImage::Format_ARGB32_Premultiplied);
      blank.fill(Qt::transparent);
      QVERIFY2(sharp.toImage().convertToFormat(blank.format()) != blank, icon.name);
    }
  }

  void connection_mode_dialog_gives_the_chosen_bus_or_none() {
    const struct {
      const char* button;
      int mode;
    } cases[] = {{"btnConnectI2C", MODE_I2C}, {"btnConnectSPI", MODE_SPI}, {nullptr, 0}};
    for (const auto& c : cases) {
      VeltrixDataLoggerWFA_clr8xp::SelectConnectionMode dialog;
      QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Connection Mode"));
      QCOMPARE(dialog.size(), QSize(241, 71));
      QVERIFY(!(dialog.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
      auto* i2c = dialog.findChild<QPushButton*>(QStringLiteral("btnConnectI2C"));
      auto* spi = dialog.findChild<QPushButton*>(QStringLiteral("btnConnectSPI"));
      QCOMPARE(i2c->geometry(), QRect(12, 12, 106, 49));
      QCOMPARE(spi->geometry(), QRect(124, 12, 106, 49));
      QCOMPARE(i2c->text(), QStringLiteral("I2C"));
      QCOMPARE(spi->text(), QStringLiteral("SPI"));
      QCOMPARE(dialog.SELECTED_MODE, 0);
      QTimer::singleShot(0, &dialog, [&] {
        QVERIFY(dialog.isModal() && dialog.isVisible());
        if (c.button != nullptr) {
          QTest::mouseClick(dialog.findChild<QPushButton*>(QString::fromLatin1(c.button)), Qt::LeftButton);
        } else {
          dialog.close();
        }
      });
      dialog.exec();
      QCOMPARE(dialog.SELECTED_MODE, c.mode);
      QVERIFY(dialog.isHidden());
    }
  }

  void console_update_appends_only_while_the_buffer_grows() {
    using Kind = ConsoleUpdate::Kind;
    const struct {
      std::optional<std::string_view> shown;
      std::string_view snapshot;
      Kind kind;
      std::string_view text;
    } cases[] = {
        {std::nullopt, "a\r\n", Kind::kReplace, "a\r\n"},              // the pane holds other text
        {"a\r\n", "a\r\n", Kind::kNone, ""},                           // nothing new
        {"a\r\n", "a\r\nb\r\n", Kind::kAppend, "b\r\n"},               // grown
        {"", "a\r\n", Kind::kAppend, "a\r\n"},                         // after Clear
        {"a\r\nb\r\n", "c\r\n", Kind::kReplace, "c\r\n"},              // restarted, shorter
        {"a\r\nb\r\n", "x\r\nb\r\nc", Kind::kReplace, "x\r\nb\r\nc"},  // restarted and longer
        {"a\r\nb\r\n", "", Kind::kReplace, ""},                        // cleared elsewhere
        {"a\r", "a\r\nb", Kind::kReplace, "a\r\nb"},                   // a CR LF pair split between updates
        {"a\r", "a\rb", Kind::kAppend, "b"},
    };
    for (const auto& c : cases) {
      const ConsoleUpdate update = veltrix::ui::console_update(c.shown, c.snapshot);
      QCOMPARE(static_cast<int>(update.kind), static_cast<int>(c.kind));
      QCOMPARE(update.text, c.text);
    }
  }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
