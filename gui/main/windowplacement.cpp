#include "windowplacement.h"

#include <algorithm>

namespace velmar::gui {

QRect CascadeRect(int index, QSize size, const QRect& area, int step) {
    size = size.boundedTo(area.size());
    step = std::max(step, 1);
    const int places = 1 + std::min((area.width() - size.width()) / step, (area.height() - size.height()) / step);
    const int offset = (index % std::max(places, 1)) * step;
    return QRect(area.topLeft() + QPoint(offset, offset), size);
}

QList<QRect> CascadeRects(int count, const QRect& area, int step) {
    const int spread = std::max(count - 1, 0) * step;
    const QSize size(std::max(area.width() - spread, area.width() * 2 / 3),
                     std::max(area.height() - spread, area.height() * 2 / 3));
    QList<QRect> out;
    for (int i = 0; i < count; ++i) out << CascadeRect(i, size, area, step);
    return out;
}

QList<QRect> TileRects(int count, const QRect& area, Qt::Orientation stacking, QSize minimum) {
    QList<QRect> out;
    if (count <= 0) return out;
    const bool stacked = stacking == Qt::Vertical;
    // Lines run along the stacking direction: as many windows per line as fit at the minimum.
    const int length = stacked ? area.height() : area.width();
    const int least = std::max(stacked ? minimum.height() : minimum.width(), 1);
    const int perLine = std::clamp(length / least, 1, count);
    const int lines = (count + perLine - 1) / perLine;
    for (int i = 0; i < count; ++i) {
        const int line = i / perLine, place = i % perLine;
        const int inLine = std::min(perLine, count - line * perLine);
        const int along = length / inLine, across = (stacked ? area.width() : area.height()) / lines;
        out << (stacked ? QRect(area.x() + line * across, area.y() + place * along, across, along)
                        : QRect(area.x() + place * along, area.y() + line * across, along, across));
    }
    return out;
}

}  // namespace velmar::gui
