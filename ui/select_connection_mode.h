#pragma once
// The small modal question "I2C or SPI?" for models wired either way.
//
// Thread contract: window thread only.

#include <QDialog>

class QPushButton;

namespace VeltrixDataLoggerWFA_clr8xp {

class SelectConnectionMode : public QDialog {
  Q_OBJECT

 public:
  explicit SelectConnectionMode(QWidget* owner = nullptr);

  // 0 until a button is pressed, then MODE_SPI (1) or MODE_I2C (2).
  int SELECTED_MODE = 0;

  void btnConnectI2C_Click();
  void btnConnectSPI_Click();

 private:
  QPushButton* btnConnectI2C;
  QPushButton* btnConnectSPI;
};

}  // namespace VeltrixDataLoggerWFA_clr8xp
