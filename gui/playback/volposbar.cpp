#include "volposbar.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace velmar::gui {

TVolPosBar::TVolPosBar(QWidget* parent) : QWidget(parent) {
    setFixedSize(224, 22);
    setToolTip("Volume (upper) and position (lower)");
}

void TVolPosBar::SetPictures(const QPixmap& groove, const QPixmap& marker) {
    Groove = groove.scaled(224, 9);
    Marker = marker.scaled(8, 10, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    update();
}

void TVolPosBar::SetVolumeMarker(int x) {
    Markers[0] = std::clamp(x, 0, kRange);
    update();
}

void TVolPosBar::SetPositionMarker(int x) {
    if (Dragged == Position) return;
    Markers[1] = std::clamp(x, 0, kRange);
    update();
}

TVolPosBar::TSlider TVolPosBar::SliderAt(int y) {
    if (y >= 1 && y <= 9) return Volume;
    if (y >= 11 && y <= 19) return Position;
    return None;
}

void TVolPosBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (const int top : {1, 11}) {
        if (Groove.isNull())
            painter.fillRect(0, top + 3, 224, 3, palette().dark());
        else
            painter.drawPixmap(0, top, Groove);
    }
    for (int k = 0; k < 2; ++k) {
        const QRect place(Markers[k], k == 0 ? 0 : 10, 8, 10);
        if (Marker.isNull())
            painter.fillRect(place, palette().button());
        else
            painter.drawPixmap(place.topLeft(), Marker);
    }
}

void TVolPosBar::mousePressEvent(QMouseEvent* event) {
    Dragged = SliderAt(int(event->position().y()));
    LastX = int(event->position().x());
    // The volume jumps to the place clicked at once; the position is taken on release.
    if (Dragged != Volume || !Playing) return;
    const int x = std::clamp(LastX, 1, kRange);
    Markers[0] = x;
    update();
    emit VolumeDragged(x);
}

void TVolPosBar::mouseMoveEvent(QMouseEvent* event) {
    const int x = int(event->position().x());
    if (Dragged == None || !Playing || x < 1 || x > kRange) return;
    LastX = x;
    if (SliderAt(int(event->position().y())) != Dragged) return;
    Markers[Dragged - 1] = x;
    update();
    if (Dragged == Volume) emit VolumeDragged(x);
}

void TVolPosBar::mouseReleaseEvent(QMouseEvent* event) {
    const TSlider dragged = Dragged;
    Dragged = None;
    if (dragged != Position || !Playing) return;
    // Outside the slider's rows, the last place seen over the bar counts.
    const int x =
        SliderAt(int(event->position().y())) == Position ? std::clamp(int(event->position().x()), 1, kRange) : LastX;
    Markers[1] = std::clamp(x, 0, kRange);
    update();
    emit PositionChosen(x);
}

}  // namespace velmar::gui
