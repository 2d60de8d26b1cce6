// The equalizer: slider positions turned into gains, levels and the decoder's 32
// band factors, the presets, the stored copy, and the window driven by the mouse.
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <cmath>

#include "guitest.h"
#include "playback/equalizer.h"

using namespace velmar::gui;
using namespace velmar::gui::test;

namespace {

using TBands = std::array<int, kEqualizerBands>;

TEqualizerSettings On(const TBands& bands = {63, 63, 63, 63, 63, 63, 63, 63, 63, 63}) {
    TEqualizerSettings s;
    s.On = true;
    s.Bands = bands;
    return s;
}

// The decoder bands whose factor is not exactly 1.
std::vector<int> Changed(const TEqualizerSettings& s) {
    const auto factors = Mpg123Factors(s);
    std::vector<int> out;
    for (int e = 0; e < kMpg123Bands; ++e)
        if (factors[size_t(e)] != 1.0) out.push_back(e);
    return out;
}

QMenu* Submenu(const QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions())
        if (a->text() == text) return a->menu();
    return nullptr;
}

// A shown window over a settings file of its own workspace; slider 0 is the level.
struct TWindow {
    TWindow() : Store(Ws.Config() + "Velmar.ini"), Eq(Store), Spy(&Eq, &TEqualizer::SettingsChanged) {
        Eq.show();
        if (!QTest::qWaitForWindowExposed(&Eq)) qFatal("the equalizer was not shown");
    }
    void Press(QPoint at) { QTest::mousePress(&Eq, Qt::LeftButton, Qt::NoModifier, at); }
    void Move(QPoint at) { QTest::mouseMove(&Eq, at); }
    void Release(QPoint at) { QTest::mouseRelease(&Eq, Qt::LeftButton, Qt::NoModifier, at); }
    void Click(QPoint at) { QTest::mouseClick(&Eq, Qt::LeftButton, Qt::NoModifier, at); }
    TEqualizerSettings Announced() const { return Spy.last().at(0).value<TEqualizerSettings>(); }
    static QPoint At(int slider, int row) { return {TEqualizer::SliderX(slider), row}; }

    TWorkspace Ws;
    TRegisterComp Store;
    TEqualizer Eq;
    QSignalSpy Spy;
};

}  // namespace

class EqualizerTest : public QObject {
    Q_OBJECT

private slots:
    void gainLevelAndFactorsFollowThePositions() {
        QCOMPARE(BandGain(38), 127);
        QCOMPARE(BandGain(63), 2);
        QCOMPARE(BandGain(89), -128);
        QCOMPARE(LevelPercent(38), 100);
        QCOMPARE(LevelPercent(89), 0);
        TEqualizerSettings off = On({38, 89, 38, 89, 38, 89, 38, 89, 38, 89});
        off.On = false;
        QVERIFY(Changed(off).empty());
        // Near the middle is flat, and the level is no band factor.
        TEqualizerSettings middle = On({62, 64, 63, 62, 64, 63, 62, 64, 63, 62});
        middle.Level = 38;
        QVERIFY(Changed(middle).empty());
        QCOMPARE(Changed(On({61, 63, 63, 63, 63, 63, 63, 63, 63, 65})), std::vector<int>({0, 1, 2, 28, 29, 30, 31}));
        QVERIFY(std::abs(Mpg123Factors(On({38, 89, 63, 63, 63, 63, 63, 63, 63, 63}))[2] - std::pow(10.0, 0.6)) < 1e-9);
    }

    void eachBandSetsExactlyItsOwnDecoderBandsInOrder() {
        std::vector<int> covered;
        for (int band = 0; band < kEqualizerBands; ++band) {
            TBands bands = On().Bands;
            bands[size_t(band)] = 89;
            const std::vector<int> entries = Changed(On(bands));
            QVERIFY(entries.size() == 3 || entries.size() == 4);
            QCOMPARE(entries.front(), FirstMpg123Band(band));
            const double cut = Mpg123Factors(On(bands))[size_t(entries.back())];
            QVERIFY(std::abs(cut - std::pow(10.0, -128 / 127.0 * 12 / 20)) < 1e-9);
            covered.insert(covered.end(), entries.begin(), entries.end());
        }
        std::vector<int> all(kMpg123Bands);
        for (int e = 0; e < kMpg123Bands; ++e) all[size_t(e)] = e;
        QCOMPARE(covered, all);  // lower bands first, every decoder band once
        QCOMPARE(FirstMpg123Band(8), 24);
    }

    void presetsAndStoredSettingsStayWithinTheTravel() {
        QStringList names;
        for (const auto& [name, bands] : EqualizerPresets()) {
            names << name;
            for (int p : bands) QVERIFY2(p >= 38 && p <= 89, qPrintable(name));
        }
        for (const char* name : {"Flat", "Rock", "Pop", "Classical", "Dance", "Bass", "Treble"})
            QCOMPARE(names.count(name), 1);
        QCOMPARE(EqualizerPresets().front().second, On().Bands);

        TWorkspace ws;
        TRegisterComp store(ws.Config() + "Velmar.ini");
        QCOMPARE(LoadEqualizer(store), TEqualizerSettings());
        TEqualizerSettings s = On({38, 40, 50, 60, 63, 70, 80, 85, 88, 89});
        s.Level = 44;
        SaveEqualizer(store, s);
        QCOMPARE(LoadEqualizer(store), s);
        store.WriteInteger("Equalizer", "Level", 200);
        store.WriteInteger("Equalizer", "Band1", -3);
        store.WriteString("Equalizer", "Band2", "loud");
        s.Level = 89;
        s.Bands[0] = 38;
        s.Bands[1] = 63;
        QCOMPARE(LoadEqualizer(store), s);
    }

    void slidersMoveOnlyWhenOnHeldAndWithinTheirTravel() {
        TWindow w;
        QCOMPARE(w.Eq.size(), QSize(275, 116));
        w.Press(TWindow::At(3, 50));  // off: nothing moves
        w.Move(TWindow::At(3, 80));
        w.Release(TWindow::At(3, 80));
        QCOMPARE(w.Spy.size(), 0);
        w.Click(TEqualizer::OnOffButton().center());
        QVERIFY(w.Eq.Settings().On);
        QCOMPARE(w.Announced(), w.Eq.Settings());

        w.Press(TWindow::At(3, 50));
        QCOMPARE(w.Eq.Settings().Bands[2], 50);
        w.Move(TWindow::At(4, 70));  // the held knob follows the row, even over its neighbour
        w.Move(TWindow::At(3, 100));
        w.Move(TWindow::At(3, 20));
        w.Release(TWindow::At(3, 20));
        w.Move(TWindow::At(3, 45));
        TEqualizerSettings expected = On();
        expected.Bands[2] = 70;
        QCOMPARE(w.Eq.Settings(), expected);
        QCOMPARE(w.Spy.size(), 3);
        QCOMPARE(w.Announced(), expected);
        QCOMPARE(LoadEqualizer(w.Store), expected);

        w.Click(TWindow::At(0, 38));
        w.Click(TWindow::At(10, 89));
        expected.Level = 38;
        expected.Bands[9] = 89;
        // Presses on the title, beyond the travel, between sliders or on the panel take no
        // slider, not even the one just clicked.
        for (const QPoint at : {QPoint(100, 7), TWindow::At(5, 37), TWindow::At(5, 90),
                                TWindow::At(5, 50) + QPoint(9, 0), QPoint(150, 105)}) {
            w.Press(at);
            w.Move({at.x(), 70});
            w.Release({at.x(), 70});
        }
        QCOMPARE(w.Eq.Settings(), expected);
        QCOMPARE(TEqualizer(w.Store).Settings(), expected);
    }

    void presetsMenuSetsTheBands() {
        TWindow w;
        w.Click(TEqualizer::PresetsButton().center());
        QMenu* menu = w.Eq.PresetsMenu();
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        QMenu* presets = Submenu(Submenu(menu, "&Load"), "&Preset");
        QVERIFY(presets);
        QCOMPARE(presets->actions().size(), int(EqualizerPresets().size()));
        presets->actions().at(1)->trigger();
        QCOMPARE(w.Eq.Settings().Bands, EqualizerPresets()[1].second);
        QCOMPARE(w.Announced(), w.Eq.Settings());
        QCOMPARE(LoadEqualizer(w.Store), w.Eq.Settings());
        menu->actions().front()->trigger();  // "Default"
        QCOMPARE(w.Eq.Settings(), TEqualizerSettings());
    }

    void bandsAreCaptionedWithTheCentresOfTheirDecoderBands() {
        // At 44.1 kHz each decoder band is 689 Hz wide; bands 0..7 take three, 8 and 9 four.
        const char* const captions[kEqualizerBands] = {"1", "3.1", "5.2", "7.2", "9.3", "11", "13", "16", "18", "21"};
        for (int band = 0; band < kEqualizerBands; ++band)
            QCOMPARE(FrequencyCaption(BandCentreHz(band)), QString(captions[band]));
        QCOMPARE(BandCentreHz(0, 48000), 1125.0);  // the width follows the rate
        QCOMPARE(FrequencyCaption(344.5), QString("0.3"));
    }

    void aPresetSubmenuOpensBesideItsParentNotOverTheMenuAbove() {
        // In the middle of the screen the submenus open to the right; at its right edge
        // the second level opens to the left, and the third follows it there.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (const int x : {screen.left() + 20, screen.right() - TEqualizer::kWidth}) {
            TWindow w;
            w.Eq.move(x, screen.top() + 40);
            w.Eq.show();
            QMenu* menu = w.Eq.PresetsMenu();
            menu->popup(w.Eq.mapToGlobal(TEqualizer::PresetsButton().bottomLeft()));
            QTRY_VERIFY(menu->isVisible());
            QMenu* load = Submenu(menu, "&Load");
            QMenu* presets = Submenu(load, "&Preset");
            menu->setActiveAction(load->menuAction());
            QTest::keyClick(menu, Qt::Key_Right);
            QTRY_VERIFY(load->isVisible());
            load->setActiveAction(presets->menuAction());
            QTest::keyClick(load, Qt::Key_Right);
            QTRY_VERIFY(presets->isVisible());
            const QByteArray where = QByteArray::number(x);
            // A submenu may overlap the frame of the menu it opens beside by a pixel or two.
            const QRect third = presets->geometry().adjusted(4, 0, -4, 0);
            QVERIFY2(!third.intersects(menu->geometry()), where);
            QVERIFY2(!third.intersects(load->geometry()), where);
            QVERIFY2(screen.contains(presets->geometry()), where);
            menu->close();
        }
    }

    void closeBoxResetsAndHidesAndTheTitleRollsUp() {
        TWindow w;
        TEqualizerSettings s = On({40, 50, 60, 70, 80, 89, 38, 45, 55, 65});
        s.Level = 41;
        w.Eq.SetSettings(s);
        const QPoint start = w.Eq.pos();
        w.Press({100, 7});
        w.Move({130, 27});
        w.Release({130, 27});
        QTRY_COMPARE(w.Eq.pos(), start + QPoint(30, 20));
        QTest::mouseDClick(&w.Eq, Qt::LeftButton, Qt::NoModifier, {100, 7});
        QCOMPARE(w.Eq.height(), 14);
        QTest::mouseDClick(&w.Eq, Qt::LeftButton, Qt::NoModifier, {100, 7});
        QCOMPARE(w.Eq.height(), 116);
        QCOMPARE(w.Eq.Settings(), s);

        QSignalSpy closed(&w.Eq, &TEqualizer::Closed);
        w.Click(TEqualizer::CloseBox().center());
        QVERIFY(!w.Eq.isVisible());
        QCOMPARE(closed.size(), 1);
        QCOMPARE(w.Announced(), On());
        QCOMPARE(LoadEqualizer(w.Store), On());
    }
};

QTEST_MAIN(EqualizerTest)
#include "equalizer_test.moc"
