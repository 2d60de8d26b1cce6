#pragma once
// The volume and position bar of the main window's tool bar: 224 x 22 pixels, the
// volume slider in rows 1 to 9 and the position slider in rows 11 to 19, each with
// a marker that stands at x 0 to 216.
#include <QPixmap>
#include <QWidget>

namespace velmar::gui {

class TVolPosBar : public QWidget {
    Q_OBJECT
public:
    enum TSlider { None = 0, Volume = 1, Position = 2 };
    static constexpr int kRange = 216;

    explicit TVolPosBar(QWidget* parent = nullptr);
    void SetPictures(const QPixmap& groove, const QPixmap& marker);
    void SetVolumeMarker(int x);
    void SetPositionMarker(int x);  // ignored while the position is dragged
    int VolumeMarker() const { return Markers[0]; }
    int PositionMarker() const { return Markers[1]; }
    bool Dragging() const { return Dragged != None; }
    // While something plays, the sliders can be dragged.
    bool Playing = false;

signals:
    void VolumeDragged(int x);   // the volume follows the mouse
    void PositionChosen(int x);  // the position is taken when the button is released

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static TSlider SliderAt(int y);
    QPixmap Groove, Marker;
    int Markers[2] = {0, 0};
    TSlider Dragged = None;
    int LastX = 0;
};

}  // namespace velmar::gui
