#pragma once
// Where the browser windows go inside the main window's area: new windows and
// cascades step down and right from the top-left corner, starting again there when
// the next step would leave the area; tiles share the area but never shrink a window
// below a usable size (more windows make more rows or columns instead).
#include <QList>
#include <QRect>

namespace velmar::gui {

// The place of the window at `index` of a cascade of windows of `size`, one `step` apart.
QRect CascadeRect(int index, QSize size, const QRect& area, int step);
// A cascade of `count` windows: as large as the area allows while every title bar
// shows, but never smaller than two thirds of the area.
QList<QRect> CascadeRects(int count, const QRect& area, int step);
// `count` windows one above the other (Qt::Vertical) or side by side (Qt::Horizontal),
// in further columns or rows when a window would get smaller than `minimum`.
QList<QRect> TileRects(int count, const QRect& area, Qt::Orientation stacking, QSize minimum);

}  // namespace velmar::gui
