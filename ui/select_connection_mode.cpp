#include "ui/select_connection_mode.h"

#include <QPushButton>

#include "devices/ikor.h"

namespace VeltrixDataLoggerWFA_clr8xp {

namespace {

QPushButton* make_button(QWidget* parent, const char* name, const char* text, int x) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setGeometry(x, 12, 106, 49);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

SelectConnectionMode::SelectConnectionMode(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("SelectConnectionMode"));
  setWindowTitle(QStringLiteral("Select Connection Mode"));
  setFixedSize(241, 71);
  setModal(true);
  btnConnectI2C = make_button(this, "btnConnectI2C", "I2C", 12);
  btnConnectSPI = make_button(this, "btnConnectSPI", "SPI", 124);
  setTabOrder(btnConnectI2C, btnConnectSPI);
  connect(btnConnectI2C, &QPushButton::clicked, this, &SelectConnectionMode::btnConnectI2C_Click);
  connect(btnConnectSPI, &QPushButton::clicked, this, &SelectConnectionMode::btnConnectSPI_Click);
}

void SelectConnectionMode::btnConnectI2C_Click() {
  SELECTED_MODE = MODE_I2C;
  accept();
}

void SelectConnectionMode::btnConnectSPI_Click() {
  SELECTED_MODE = MODE_SPI;
  accept();
}

}  // namespace VeltrixDataLoggerWFA_clr8xp
