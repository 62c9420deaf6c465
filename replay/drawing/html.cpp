// The drawing as one self-contained HTML page: the SVG inline, the drawn
// values as JSON, and a little script for the crosshair readout, hiding
// panels and zooming to a range of bars. The script and the style are
// page.js and page.css beside this file, built into the program as text
// (cmake/embed_text.cmake), so the page needs no other file.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "replay/drawing/page_files.h"  // generated from page.js and page.css
#include "replay/drawing/svg.h"

namespace zt::replay {
namespace {

// A number as JSON: the shortest text that reads back as the same double;
// null for NaN and infinities.
void JsonNumber(std::string& out, double v) {
    if (!std::isfinite(v)) {
        out += "null";
        return;
    }
    char buf[32];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void JsonString(std::string& out, std::string_view s) {
    out += '"';
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') out.append({'\\', c});
        else if (c == '<') out += "\\u003c";  // never "</script>" inside the script element
        else if (u < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            out.append("\\u00").append({kHex[u >> 4], kHex[u & 15]});
        } else out += c;
    }
    out += '"';
}

// What the script needs: the geometry, the drawn bars and every drawn
// column with the bar it starts at (both relative to the first drawn bar).
std::string Json(const DrawingLayout& l, const DrawingData& data) {
    std::string j = "{\"width\":";
    JsonNumber(j, l.width);
    j += ",\"height\":";
    JsonNumber(j, l.height);
    j += ",\"plotLeft\":";
    JsonNumber(j, l.plotLeft);
    j += ",\"plotWidth\":";
    JsonNumber(j, l.plotWidth);
    j += ",\"step\":";
    JsonNumber(j, l.step);
    j += ",\"bars\":[";
    for (std::size_t b = l.first; b < l.first + l.shown; ++b) {
        const Bar& bar = data.bars[b];
        if (b > l.first) j += ',';
        j += '[' + std::to_string(bar.date) + ',' + std::to_string(bar.time);
        for (const double v : {bar.open, bar.high, bar.low, bar.close, bar.volume}) {
            j += ',';
            JsonNumber(j, v);
        }
        j += ']';
    }
    j += "],\"columns\":[";
    // The signal trails of the drawn bars, when the replay kept them.
    const bool trails = data.trails.size() == data.bars.size() && !data.trailColumns.empty();
    bool firstColumn = true;
    for (std::size_t p = 0; p < l.panels.size(); ++p) {
        std::vector<const PanelLine*> lines;
        for (const PanelLine& line : l.panels[p].lines) lines.push_back(&line);
        for (const PanelRow& row : l.panels[p].rows)
            for (const PanelLine& line : row.columns) lines.push_back(&line);
        for (const PanelLine* line : lines) {
            if (!firstColumn) j += ',';
            firstColumn = false;
            j += "{\"name\":";
            JsonString(j, data.columns[line->column].name);
            j += ",\"label\":";
            JsonString(j, line->label);
            j += ",\"colour\":";  // the line's, none for marks and codes
            JsonString(j, l.panels[p].rows.empty() ? line->colour.Text() : std::string());
            j += ",\"panel\":" + std::to_string(p) + ",\"from\":" + std::to_string(line->from - l.first) + ",\"values\":[";
            for (std::size_t b = l.first; b < l.first + l.shown; ++b) {
                if (b > l.first) j += ',';
                JsonNumber(j, data.Row(b)[line->column]);
            }
            j += ']';
            const auto at = std::find(data.trailColumns.begin(), data.trailColumns.end(), line->column);
            if (trails && at != data.trailColumns.end()) {
                // What the signal showed while each bar formed ("0+0").
                const auto t = static_cast<std::size_t>(at - data.trailColumns.begin());
                j += ",\"seen\":[";
                for (std::size_t b = l.first; b < l.first + l.shown; ++b) {
                    if (b > l.first) j += ',';
                    JsonString(j, data.trails[b][t]);
                }
                j += ']';
            }
            j += '}';
        }
    }
    j += "]}";
    return j;
}

}  // namespace

std::string DrawingHtml(const DrawingData& data, const DrawingOptions& options) {
    const DrawingLayout layout = LayOut(data, options);
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    out += svg::Escape(data.source);
    out += " \xC2\xB7 zarn-replay</title>\n<style>\n";
    out += embedded::kPageStyleText;
    out += "</style>\n</head>\n<body>\n<div id=\"toolbar\"><button id=\"zoom-out\" type=\"button\">All bars</button>"
           "<span id=\"range\"></span><span id=\"toggles\"><b>Panels:</b></span></div>\n<div id=\"chart-box\">\n";
    svg::Writer w(out);
    DrawLayout(w, layout, data);
    out += "</div>\n<div id=\"readout\"><table></table></div>\n<script type=\"application/json\" id=\"chart-data\">";
    out += Json(layout, data);
    out += "</script>\n<script>\n";
    out += embedded::kPageScriptText;
    out += "</script>\n</body>\n</html>\n";
    return out;
}

}  // namespace zt::replay
