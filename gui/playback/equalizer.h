#pragma once
// The ten-band equalizer: its settings as plain values (slider positions, the
// arithmetic that turns them into the decoder's 32 band factors, presets, the
// stored copy in the settings store) and the small borderless window that edits
// them. The window only produces settings; whoever owns the player passes them on.
#include <QMetaType>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <utility>
#include <vector>

class QMenu;
class QPainter;

namespace velmar::gui {

class TRegisterComp;

// Slider positions are window rows of the knob: 38 at the top (+12 dB, full
// level), 89 at the bottom (-12 dB, silence); 63 is the middle.
inline constexpr int kSliderTop = 38;
inline constexpr int kSliderBottom = 89;
inline constexpr int kSliderMiddle = 63;
inline constexpr int kEqualizerBands = 10;
inline constexpr int kMpg123Bands = 32;

struct TEqualizerSettings {
    bool On = false;
    int Level = kSliderMiddle;  // the output volume slider, see LevelPercent
    std::array<int, kEqualizerBands> Bands{kSliderMiddle, kSliderMiddle, kSliderMiddle, kSliderMiddle, kSliderMiddle,
                                           kSliderMiddle, kSliderMiddle, kSliderMiddle, kSliderMiddle, kSliderMiddle};
    bool operator==(const TEqualizerSettings&) const = default;
};

// 127 at the top, 2 at the middle, -128 at the bottom. Both count a position
// beyond the travel as the nearer end.
int BandGain(int position);
// 100 at the top, 0 at the bottom.
int LevelPercent(int position);
// The first of the decoder bands that equalizer band `band` covers; band 10 gives 32.
// Bands 0..7 cover three decoder bands each (0-2, 3-5, ..., 21-23), bands 8 and 9
// four each (24-27, 28-31): the decoder bands are equally wide in frequency, so the
// top two bands take the extra ones where hearing is least sensitive.
int FirstMpg123Band(int band);
// The centre frequency of equalizer band `band` in Hz for a stream of `rate` Hz: the
// middle of the decoder bands it covers, each rate / 64 wide.
double BandCentreHz(int band, int rate = 44100);
// A band's caption, in kHz: "0.3", "3.1" below 10 kHz (one decimal), "16" above.
QString FrequencyCaption(double hz);
// The linear factor of each decoder band: all 1.0 when off. A gain g is g / 127 x
// 12 dB; positions 62..64 count as exactly 0 dB so that a knob near the middle is
// flat rather than 0.2 dB loud. The level is not in here.
std::array<double, kMpg123Bands> Mpg123Factors(const TEqualizerSettings& settings);

// Named band shapes, "Flat" first.
const std::vector<std::pair<QString, std::array<int, kEqualizerBands>>>& EqualizerPresets();

// Section "Equalizer": "On", "Level", "Band1".."Band10"; positions out of range are
// clamped when loaded.
void SaveEqualizer(TRegisterComp& store, const TEqualizerSettings& settings);
TEqualizerSettings LoadEqualizer(const TRegisterComp& store);

// A 275 x 116 borderless tool window that stays on top: a title strip to drag
// (a double click rolls it up to the strip), a close box that resets every slider
// and hides the window, an on/off button, a presets menu, the level slider and the
// ten band sliders, each captioned with its centre frequency (in kHz, at 44.1 kHz). Every
// change is stored and announced.
class TEqualizer : public QWidget {
    Q_OBJECT
public:
    explicit TEqualizer(TRegisterComp& store, QWidget* parent = nullptr);

    TEqualizerSettings Settings() const { return Current; }
    // Takes `settings` with positions clamped, stores them and, when they differ
    // from the current ones, emits SettingsChanged.
    void SetSettings(const TEqualizerSettings& settings);
    bool RolledUp() const { return height() < kFullHeight; }
    QMenu* PresetsMenu() const { return Menu; }

    // The window's areas, in its own coordinates.
    static constexpr int kWidth = 275;
    static constexpr int kFullHeight = 116;
    static constexpr int kRolledHeight = 14;
    static constexpr int kTitleHeight = 15;  // rows 0..14
    static QRect CloseBox() { return {266, 1, 7, 13}; }
    static QRect OnOffButton() { return {14, 18, 26, 13}; }
    static QRect PresetsButton() { return {217, 18, 44, 13}; }
    // The knob's column: slider 0 is the level, 1..10 the bands.
    static int SliderX(int slider);

signals:
    void SettingsChanged(const TEqualizerSettings& settings);
    void Closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void BuildMenu();
    void BuildFace();
    void DrawOnOff(QPainter& p) const;
    void DrawKnobs(QPainter& p) const;
    int SliderAt(QPoint pos) const;  // the slider taken by a press there, or -1
    int& Position(int slider);
    void MoveSlider(int slider, int row);
    void SetBands(const std::array<int, kEqualizerBands>& bands);
    void ResetAndClose();
    void ToggleRollUp();
    void Changed();  // stores, repaints and announces

    TRegisterComp& Store;
    TEqualizerSettings Current;
    QMenu* Menu = nullptr;
    QPixmap Face, Knob;
    int Grabbed = -1;       // the slider held by the mouse
    bool Dragging = false;  // the title strip held by the mouse
    QPoint DragOffset;      // pointer minus window position while dragging
};

}  // namespace velmar::gui

Q_DECLARE_METATYPE(velmar::gui::TEqualizerSettings)
