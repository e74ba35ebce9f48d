#pragma once
// A left-to-right layout that wraps to a new row when the next widget does
// not fit, each widget at its size hint with a margin around it. Hidden
// widgets take no room, so the rest close up.
//
// Thread contract: window thread only.

#include <QLayout>
#include <QList>

namespace veltrix::ui {

class FlowLayout final : public QLayout {
 public:
  FlowLayout(QWidget* parent, int item_margin);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override { return static_cast<int>(items_.size()); }
  QLayoutItem* itemAt(int index) const override { return items_.value(index); }
  QLayoutItem* takeAt(int index) override;
  QSize sizeHint() const override { return minimumSize(); }
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

 private:
  QList<QLayoutItem*> items_;
  int item_margin_;
};

}  // namespace veltrix::ui
