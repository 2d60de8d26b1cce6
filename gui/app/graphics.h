#pragma once
// The window pictures: the built-in pictures compiled into the program (the
// graphics library), the colour variants built at every start from the two base
// pictures and fourteen palettes, and the pictures of a chosen skin.
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QString>

#include "appcontext.h"

namespace velmar::gui {

class TRegisterComp;

class TGraphics {
public:
    TGraphics(const TAppPaths& paths, TRegisterComp& store);

    // True when the built-in pictures are there to be loaded.
    static bool LibraryAvailable();
    // Writes the base pictures when missing, builds the seven main and seven browser
    // colour variants and writes the About-window pictures. Returns the messages of
    // what failed (empty when all went well); the program goes on with what it has.
    QStringList PrepareFiles();
    // Loads the main background, tool-bar strip and button images: from the skin
    // folder where "Skin" names one and the file exists, else the built-in ones.
    void LoadWindowGraphics();

    QString MainVariant(int k) const;     // "GFX/MAIN_DEFAULT.BMP" ... "GFX/MAIN_MAGENTA.BMP"
    QString BrowserVariant(int k) const;  // "GFX/BROWSER_DEFAULT.BMP" ...
    QString AboutFont() const;            // "GFX/FONT.BMP"
    QString AboutWater() const;           // "GFX/WATER.BMP"
    // The picture behind a browser window's button strip: the skin's "BROWSER.BMP",
    // else the browser colour variant "Explorer Background Color".
    QPixmap BrowserStrip() const;

    QPixmap MainBackground;
    QPixmap ToolbarStrip;
    QList<QPixmap> BrowserHot, BrowserNormal;  // 7 images of 72 x 40
    QList<QPixmap> ToolbarHot, ToolbarNormal;  // 30 images of 16 x 16
    QIcon BrowserIcon(int k) const;
    QIcon ToolbarIcon(int k) const;

    static QImage BuiltIn(const QString& id);  // ":/gfx/" + id
    // Magenta (255, 0, 255) becomes transparent.
    static QPixmap Transparent(const QImage& image);
    static QList<QPixmap> CutBrowserIcons(const QImage& strip);
    static QList<QPixmap> CutToolbarIcons(const QImage& strip);

    // A picture of the chosen skin when it has the file, else the built-in one.
    QImage SkinOrBuiltIn(const QString& skinFile, const QString& id) const;

private:
    const TAppPaths Paths;
    TRegisterComp& Store;
};

}  // namespace velmar::gui
