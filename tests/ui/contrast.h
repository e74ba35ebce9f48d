#pragma once
// How readable text is as drawn: the contrast ratio of two colours (1 to 21;
// 4.5 is the least for ordinary text), and of the text in a part of a
// widget's picture against its ground.

#include <QColor>
#include <QImage>
#include <QRect>

namespace veltrix::ui::test {

double contrast_ratio(const QColor& a, const QColor& b);
// The ground is the commonest colour in `area`; the text is its pixel of the
// most contrast to it (glyph edges are blended, their stems are not).
double drawn_contrast(const QImage& picture, const QRect& area);

}  // namespace veltrix::ui::test
