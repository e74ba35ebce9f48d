#include "ui/plot/channel_legend.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/plot/plot_style.h"

using veltrix::capture::PlotChannel;

namespace veltrix::ui::plot {

namespace {

QIcon swatch(const QColor& color) {
  QPixmap pixmap(16, 10);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 2.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(2, 5), QPointF(14, 5));
  return QIcon(pixmap);
}

}  // namespace

ChannelLegend::ChannelLegend(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);
  for (std::size_t g = 0; g < kPlotComponents.size(); ++g) {
    const PlotComponent& component = kPlotComponents[g];
    auto* group = new QWidget(this);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    auto* title = new QLabel(QString::fromLatin1(component.title), group);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    grid->addWidget(title, 0, 0, 1, 2);
    for (int axis = 0; axis < component.channels; ++axis) {
      const PlotChannel channel = plot_channel(component, axis);
      const auto c = static_cast<std::size_t>(channel);
      boxes_[c] = new QCheckBox(axis_name(component, axis), group);
      boxes_[c]->setIcon(swatch(channel_color(channel)));
      boxes_[c]->setChecked(true);
      boxes_[c]->setAccessibleName(
          QStringLiteral("%1 %2").arg(QString::fromLatin1(component.title), axis_name(component, axis)));
      boxes_[c]->setToolTip(tr("Show or hide this channel"));
      connect(boxes_[c], &QCheckBox::toggled, this, [this, channel](bool on) {
        if (on_toggled_) {
          on_toggled_(channel, on);
        }
      });
      values_[c] = new QLabel(QStringLiteral("–"), group);
      values_[c]->setObjectName(QStringLiteral("channelValue%1").arg(static_cast<int>(channel)));
      values_[c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      values_[c]->setMinimumWidth(values_[c]->fontMetrics().horizontalAdvance(QStringLiteral("-000000")));
      grid->addWidget(boxes_[c], axis + 1, 0);
      grid->addWidget(values_[c], axis + 1, 1);
    }
    groups_[g] = group;
    column->addWidget(group);
  }
  column->addStretch(1);
}

void ChannelLegend::set_components(int components) {
  for (std::size_t g = 0; g < kPlotComponents.size(); ++g) {
    groups_[g]->setVisible((components & kPlotComponents[g].component) != 0);
  }
}

bool ChannelLegend::shown(PlotChannel channel) const { return boxes_[static_cast<std::size_t>(channel)]->isChecked(); }

void ChannelLegend::set_shown(PlotChannel channel, bool shown) {
  boxes_[static_cast<std::size_t>(channel)]->setChecked(shown);
}

void ChannelLegend::set_value(PlotChannel channel, std::optional<float> value) {
  values_[static_cast<std::size_t>(channel)]->setText(value ? QString::number(*value, 'f', 0) : QStringLiteral("–"));
}

}  // namespace veltrix::ui::plot
