#pragma once
// What the Analysis window remembers of units: for each model, the counts per
// unit and the unit's name of each component the operator gave a scale.
// Restored as an analysis of the model starts, remembered as the operator
// changes one. A damaged settings file keeps no scale; an entry of the wrong
// type, an unknown component, a count that is not a number above 0 or an
// empty unit is left out.
//
// Thread contract: window thread only.

#include <QString>

#include "analysis/analysis_report.h"

namespace veltrix::ui::plot {

// `model` as the sidecar names it; "" for a log of no known model.
veltrix::analysis::ComponentScales restore_analysis_scales(const QString& model);
void remember_analysis_scales(const QString& model, const veltrix::analysis::ComponentScales& scales);

}  // namespace veltrix::ui::plot
