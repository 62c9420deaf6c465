#include "replay/drawing/drawing.h"

#include <algorithm>

namespace zt::replay {

DrawingRecorder::DrawingRecorder(std::string source, std::vector<Column> columns, std::size_t lastBars) : keep_(lastBars) {
    data_.source = std::move(source);
    data_.columns = std::move(columns);
    if (keep_ > 0 && keep_ <= 100000) {
        data_.bars.reserve(keep_);
        data_.values.reserve(keep_ * data_.columns.size());
    }
}

void DrawingRecorder::Row(const Bar& bar, const double* values) {
    const std::size_t width = data_.columns.size();
    ++data_.totalBars;
    if (keep_ == 0 || data_.bars.size() < keep_) {
        data_.bars.push_back(bar);
        data_.values.insert(data_.values.end(), values, values + width);
        return;
    }
    data_.bars[next_] = bar;
    std::copy(values, values + width, data_.values.begin() + static_cast<std::ptrdiff_t>(next_ * width));
    next_ = (next_ + 1) % keep_;
}

DrawingData DrawingRecorder::Data() const {
    DrawingData d = data_;
    const std::size_t width = d.columns.size();
    std::rotate(d.bars.begin(), d.bars.begin() + static_cast<std::ptrdiff_t>(next_), d.bars.end());
    std::rotate(d.values.begin(), d.values.begin() + static_cast<std::ptrdiff_t>(next_ * width), d.values.end());
    return d;
}

}  // namespace zt::replay
