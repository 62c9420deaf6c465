// A layout drawn as SVG: the SVG file writes it alone, the HTML page around
// its own script and style.
#pragma once

#include "replay/drawing/layout.h"
#include "replay/drawing/svg_writer.h"

namespace zt::replay {

// The layout drawn as an <svg> element (without the XML declaration): one
// <g class="panel"> per panel, its plot contents inside a clipped
// <g class="zoom"> that the HTML page's zoom transforms.
void DrawLayout(svg::Writer& out, const DrawingLayout& layout, const DrawingData& data);

}  // namespace zt::replay
