#include "equalizer.h"

#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/RegisterComp.h"
#include "app/graphics.h"

namespace velmar::gui {

namespace {

const QString kSection = QStringLiteral("Equalizer");

int ClampPosition(int position) { return std::clamp(position, kSliderTop, kSliderBottom); }

std::array<int, kEqualizerBands> FlatBands() {
    std::array<int, kEqualizerBands> bands;
    bands.fill(kSliderMiddle);
    return bands;
}

// The picture's own groove colours, for the sunken frames drawn around the sliders.
const QColor kShadow(10, 11, 14);
const QColor kHighlight(96, 102, 118);
const QColor kLabel(170, 176, 190);

// The knob's half width and height: it is 12 x 12, centred on the slider's column
// and on the row of its position.
constexpr int kKnobHalf = 6;

QFont SmallFont(const QFont& base, int pixels, bool bold) {
    QFont f(base);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void SunkenFrame(QPainter& p, const QRect& r) {
    p.setPen(kShadow);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(kHighlight);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void RaisedBox(QPainter& p, const QRect& r) {
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(84, 90, 106));
    fill.setColorAt(1, QColor(44, 48, 58));
    p.fillRect(r, fill);
    p.setPen(QColor(140, 146, 162));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(kShadow);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

// The panel picture, or a plain panel of its colour when the built-in pictures are missing.
QImage PanelPicture() {
    TGraphics::LibraryAvailable();  // registers the built-in pictures
    QImage panel = TGraphics::BuiltIn("ID_EQUALIZER");
    if (panel.isNull() || panel.width() != 320 || panel.height() != 140) {
        panel = QImage(320, 140, QImage::Format_RGB32);
        panel.fill(QColor(34, 37, 45));
    }
    return panel;
}

QPixmap KnobPicture() {
    QPixmap knob = TGraphics::Transparent(TGraphics::BuiltIn("ID_POSITION_BUTTON"));
    if (!knob.isNull()) return knob;
    knob = QPixmap(2 * kKnobHalf, 2 * kKnobHalf);
    knob.fill(Qt::transparent);
    QPainter p(&knob);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(kShadow);
    p.setBrush(QColor(200, 204, 214));
    p.drawEllipse(QRectF(0.5, 0.5, 2 * kKnobHalf - 1, 2 * kKnobHalf - 1));
    return knob;
}

// Keeps a submenu opening on the side its parent menu opened to. A menu that met the
// right edge of the screen opens leftwards; its own submenu, still finding room on
// the right, would open there, over the menu two levels up. It is moved beside its
// parent on the left instead, when the screen has the room.
class TCascadeSide : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show) return false;
        auto* menu = qobject_cast<QMenu*>(watched);
        auto* parent = menu ? qobject_cast<QMenu*>(menu->parentWidget()) : nullptr;
        auto* grandParent = parent ? qobject_cast<QMenu*>(parent->parentWidget()) : nullptr;
        if (!grandParent || !parent->isVisible() || !grandParent->isVisible()) return false;
        const bool parentWentLeft = parent->x() < grandParent->x();
        const QScreen* screen = menu->screen();
        const int left = parent->x() - menu->width();
        if (parentWentLeft && menu->x() > parent->x() && (!screen || left >= screen->availableGeometry().left()))
            menu->move(left, menu->y());
        return false;
    }
};

}  // namespace

int BandGain(int position) { return 317 - 5 * ClampPosition(position); }

int LevelPercent(int position) { return 100 - int(std::lround((ClampPosition(position) - kSliderTop) * 1.9607843137)); }

int FirstMpg123Band(int band) {
    band = std::clamp(band, 0, kEqualizerBands);
    return band <= 8 ? 3 * band : 24 + 4 * (band - 8);
}

double BandCentreHz(int band, int rate) {
    const double width = rate / 64.0;
    return (FirstMpg123Band(band) + FirstMpg123Band(band + 1)) / 2.0 * width;
}

QString FrequencyCaption(double hz) {
    if (hz < 9950) return QString::number(std::round(hz / 100) / 10, 'g', 2);
    return QString::number(std::lround(hz / 1000));
}

std::array<double, kMpg123Bands> Mpg123Factors(const TEqualizerSettings& settings) {
    std::array<double, kMpg123Bands> factors;
    factors.fill(1.0);
    if (!settings.On) return factors;
    for (int band = 0; band < kEqualizerBands; ++band) {
        const int position = ClampPosition(settings.Bands[size_t(band)]);
        if (std::abs(position - kSliderMiddle) <= 1) continue;
        const double dB = BandGain(position) / 127.0 * 12.0;
        const double factor = std::pow(10.0, dB / 20.0);
        for (int e = FirstMpg123Band(band); e < FirstMpg123Band(band + 1); ++e) factors[size_t(e)] = factor;
    }
    return factors;
}

const std::vector<std::pair<QString, std::array<int, kEqualizerBands>>>& EqualizerPresets() {
    // One step is about 0.47 dB; 50 is about +6 dB, 76 about -6 dB.
    static const std::vector<std::pair<QString, std::array<int, kEqualizerBands>>> presets = {
        {"Flat", FlatBands()},
        {"Rock", {47, 52, 59, 66, 69, 66, 59, 53, 49, 47}},
        {"Pop", {67, 61, 55, 51, 50, 53, 58, 63, 66, 67}},
        {"Classical", {63, 63, 63, 63, 63, 63, 70, 72, 72, 76}},
        {"Dance", {45, 49, 57, 63, 63, 67, 70, 70, 63, 63}},
        {"Bass", {43, 46, 51, 57, 62, 66, 68, 68, 68, 68}},
        {"Treble", {70, 70, 68, 64, 58, 52, 47, 44, 42, 42}},
    };
    return presets;
}

void SaveEqualizer(TRegisterComp& store, const TEqualizerSettings& settings) {
    store.WriteBool(kSection, "On", settings.On);
    store.WriteInteger(kSection, "Level", settings.Level);
    for (int k = 0; k < kEqualizerBands; ++k)
        store.WriteInteger(kSection, "Band" + QString::number(k + 1), settings.Bands[size_t(k)]);
}

TEqualizerSettings LoadEqualizer(const TRegisterComp& store) {
    TEqualizerSettings s;
    s.On = store.ReadBool(kSection, "On", false);
    s.Level = ClampPosition(store.ReadInteger(kSection, "Level", kSliderMiddle));
    for (int k = 0; k < kEqualizerBands; ++k)
        s.Bands[size_t(k)] = ClampPosition(store.ReadInteger(kSection, "Band" + QString::number(k + 1), kSliderMiddle));
    return s;
}

// ---------------------------------------------------------------------------------

TEqualizer::TEqualizer(TRegisterComp& store, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Store(store),
      Current(LoadEqualizer(store)) {
    setWindowTitle("Equalizer");
    setProperty("helpTopic", "Equalizer");
    setFixedSize(kWidth, kFullHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    BuildFace();
    Knob = KnobPicture();
    BuildMenu();
}

int TEqualizer::SliderX(int slider) { return slider <= 0 ? 30 : 79 + 18 * (slider - 1); }

void TEqualizer::SetSettings(const TEqualizerSettings& settings) {
    TEqualizerSettings s = settings;
    s.Level = ClampPosition(s.Level);
    for (int& b : s.Bands) b = ClampPosition(b);
    const bool differs = !(s == Current);
    Current = s;
    SaveEqualizer(Store, Current);
    update();
    if (differs) emit SettingsChanged(Current);
}

void TEqualizer::BuildMenu() {
    Menu = new QMenu(this);
    connect(Menu->addAction("Default"), &QAction::triggered, this, [this] { SetBands(FlatBands()); });
    QMenu* load = Menu->addMenu("&Load");
    QMenu* preset = load->addMenu("&Preset");
    auto* side = new TCascadeSide(Menu);
    for (QMenu* m : {load, preset}) m->installEventFilter(side);
    for (const auto& [name, bands] : EqualizerPresets())
        connect(preset->addAction(name), &QAction::triggered, this, [this, b = bands] { SetBands(b); });
}

// The parts that never change: the panel picture cut into a backdrop and two slider
// panels whose grooves and dB lines are scaled to the knobs' travel (picture rows
// 20..120 become window rows 38..89, its groove spacing of 28 the band spacing of 18),
// the title strip, the close box, the button boxes and the dB captions.
void TEqualizer::BuildFace() {
    const QImage panel = PanelPicture();
    Face = QPixmap(kWidth, kFullHeight);
    QPainter p(&Face);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(0, 0, kWidth, kFullHeight), panel, QRectF(2, 0, 16, 140));
    p.drawImage(QRectF(0, 0, 2, kFullHeight), panel, QRectF(0, 0, 2, 140));
    p.drawImage(QRectF(kWidth - 2, 0, 2, kFullHeight), panel, QRectF(318, 0, 2, 140));

    const double sx = 18.0 / 28.0, sy = (kSliderBottom - kSliderTop) / 100.0;
    // Picture columns 20..47 hold the first groove (at 34), 20..299 all ten.
    const auto grooves = [&](int slider, double pictureWidth) {
        const QRectF source(20, 8, pictureWidth, 124);
        const QRectF target(SliderX(slider) - 14 * sx, kSliderTop - 12 * sy, pictureWidth * sx, 124 * sy);
        p.drawImage(target, panel, source);
        SunkenFrame(p, target.toAlignedRect().adjusted(-1, 0, 0, 0));
    };
    grooves(0, 28);
    grooves(1, 280);

    p.setFont(SmallFont(font(), 8, false));
    p.setPen(kLabel);
    const int labelsRight = SliderX(1) - 13;
    const std::pair<int, const char*> captions[] = {{kSliderTop, "+12"}, {kSliderMiddle, "0"}, {kSliderBottom, "-12"}};
    for (const auto& [row, text] : captions)
        p.drawText(QRect(labelsRight - 26, row - 5, 26, 11), Qt::AlignRight | Qt::AlignVCenter, text);
    // Each band's centre frequency in kHz under its slider, on the row of the level's
    // percentage, the unit where the dB captions stand.
    for (int band = 0; band < kEqualizerBands; ++band)
        p.drawText(QRect(SliderX(band + 1) - 11, kSliderBottom + 8, 22, 12), Qt::AlignCenter,
                   FrequencyCaption(BandCentreHz(band)));
    p.drawText(QRect(labelsRight - 26, kSliderBottom + 8, 26, 12), Qt::AlignRight | Qt::AlignVCenter, "kHz");

    QLinearGradient title(0, 0, 0, kTitleHeight - 1);
    title.setColorAt(0, QColor(112, 120, 140));
    title.setColorAt(1, QColor(52, 57, 70));
    p.fillRect(QRect(0, 0, kWidth, kTitleHeight - 1), title);
    p.setPen(kShadow);
    p.drawLine(0, kTitleHeight - 1, kWidth - 1, kTitleHeight - 1);
    p.setFont(SmallFont(font(), 9, true));
    p.setPen(QColor(230, 234, 242));
    p.drawText(QRect(0, 0, kWidth, kTitleHeight - 1), Qt::AlignCenter, "Equalizer");

    const QRect box = CloseBox().adjusted(0, 2, -1, -2);
    RaisedBox(p, box);
    p.setPen(QColor(230, 234, 242));
    p.drawLine(box.left() + 1, box.top() + 2, box.right() - 1, box.bottom() - 2);
    p.drawLine(box.left() + 1, box.bottom() - 2, box.right() - 1, box.top() + 2);

    RaisedBox(p, OnOffButton());
    RaisedBox(p, PresetsButton());
    p.setFont(SmallFont(font(), 8, true));
    p.setPen(QColor(230, 234, 242));
    p.drawText(PresetsButton(), Qt::AlignCenter, "Presets");
    p.drawText(OnOffButton().adjusted(11, 0, 0, 0), Qt::AlignCenter, "ON");
}

// A lamp on the left of the button: lit green when on, dark when off.
void TEqualizer::DrawOnOff(QPainter& p) const {
    const QRect b = OnOffButton();
    const QPointF centre(b.left() + 6.5, b.center().y() + 0.5);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (Current.On) {
        QRadialGradient glow(centre, 4.5);
        glow.setColorAt(0, QColor(200, 255, 200));
        glow.setColorAt(0.6, QColor(60, 220, 60));
        glow.setColorAt(1, QColor(20, 120, 20));
        p.setBrush(glow);
    } else {
        p.setBrush(QColor(22, 48, 22));
    }
    p.setPen(kShadow);
    p.drawEllipse(centre, 3.5, 3.5);
    p.restore();
}

// The knobs are dimmed while the equalizer is off, when they cannot be moved.
void TEqualizer::DrawKnobs(QPainter& p) const {
    p.save();
    p.setOpacity(Current.On ? 1.0 : 0.45);
    for (int slider = 0; slider <= kEqualizerBands; ++slider) {
        const int row = slider == 0 ? Current.Level : Current.Bands[size_t(slider - 1)];
        p.drawPixmap(SliderX(slider) - kKnobHalf, row - kKnobHalf, Knob);
    }
    p.restore();
    p.setFont(SmallFont(font(), 8, false));
    p.setPen(kLabel);
    p.drawText(QRect(SliderX(0) - 16, kSliderBottom + 8, 32, 12), Qt::AlignCenter,
               QString::number(LevelPercent(Current.Level)) + "%");
}

void TEqualizer::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, Face);
    DrawOnOff(p);
    DrawKnobs(p);
}

int TEqualizer::SliderAt(QPoint pos) const {
    if (pos.y() < kSliderTop || pos.y() > kSliderBottom) return -1;
    for (int slider = 0; slider <= kEqualizerBands; ++slider)
        if (std::abs(pos.x() - SliderX(slider)) <= kKnobHalf) return slider;
    return -1;
}

int& TEqualizer::Position(int slider) { return slider == 0 ? Current.Level : Current.Bands[size_t(slider - 1)]; }

// The knob follows the pointer's row while that row is within its travel, and
// only while the equalizer is on.
void TEqualizer::MoveSlider(int slider, int row) {
    if (!Current.On || row < kSliderTop || row > kSliderBottom) return;
    int& position = Position(slider);
    if (position == row) return;
    position = row;
    Changed();
}

void TEqualizer::SetBands(const std::array<int, kEqualizerBands>& bands) {
    TEqualizerSettings s = Current;
    s.Bands = bands;
    SetSettings(s);
}

void TEqualizer::ResetAndClose() {
    Current.Level = kSliderMiddle;
    Current.Bands = FlatBands();
    Changed();
    hide();
    emit Closed();
}

void TEqualizer::ToggleRollUp() { setFixedSize(kWidth, RolledUp() ? kFullHeight : kRolledHeight); }

void TEqualizer::Changed() {
    SaveEqualizer(Store, Current);
    update();
    emit SettingsChanged(Current);
}

void TEqualizer::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    Grabbed = -1;
    Dragging = false;
    if (CloseBox().contains(pos)) {
        ResetAndClose();
    } else if (pos.y() < kTitleHeight) {
        Dragging = true;
        DragOffset = event->globalPosition().toPoint() - this->pos();
    } else if (OnOffButton().contains(pos)) {
        Current.On = !Current.On;
        Changed();
    } else if (PresetsButton().contains(pos)) {
        Menu->popup(mapToGlobal(PresetsButton().bottomLeft() + QPoint(0, 1)));
    } else {
        Grabbed = SliderAt(pos);
        if (Grabbed >= 0) MoveSlider(Grabbed, pos.y());
    }
}

void TEqualizer::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    if (Dragging) move(event->globalPosition().toPoint() - DragOffset);
    if (Grabbed >= 0) MoveSlider(Grabbed, event->position().toPoint().y());
}

void TEqualizer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    Grabbed = -1;
    Dragging = false;
}

// A double click on the title strip rolls the window up or down; elsewhere it
// counts as a second press.
void TEqualizer::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && pos.y() < kTitleHeight && !CloseBox().contains(pos))
        ToggleRollUp();
    else
        mousePressEvent(event);
}

}  // namespace velmar::gui
