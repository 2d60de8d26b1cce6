#include "graphics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <exception>
#include <vector>

#include "RegisterComp.h"
#include "appcontext.h"
#include "views/pictures.h"

#ifdef VELMAR_HAVE_PICTURES
// Resources of a static library are registered by name.
static void InitPictureResources() { Q_INIT_RESOURCE(velmar); }
#else
static void InitPictureResources() {}
#endif

namespace velmar::gui {

namespace {

const char* const kColourNames[7] = {"DEFAULT", "RED", "GREEN", "BLUE", "CYAN", "VIOLET", "MAGENTA"};
const QString kDefaultSkin = QStringLiteral("<DEFAULT>");

bool WriteBuiltIn(const QString& id, const QString& file) {
    QFile source(":/gfx/" + id);
    if (!source.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = source.readAll();
    QFile target(file);
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return target.write(bytes) == bytes.size();
}

}  // namespace

TGraphics::TGraphics(const TAppPaths& paths, TRegisterComp& store) : Paths(paths), Store(store) {
    InitPictureResources();
}

bool TGraphics::LibraryAvailable() {
    InitPictureResources();
    return !BuiltIn("ID_BACKGROUND").isNull() && !BuiltIn("ID_BROWSER").isNull();
}

QImage TGraphics::BuiltIn(const QString& id) { return QImage(":/gfx/" + id); }

QString TGraphics::MainVariant(int k) const {
    return Paths.GfxFolder() + "MAIN_" + kColourNames[std::clamp(k, 0, 6)] + ".BMP";
}

QString TGraphics::BrowserVariant(int k) const {
    return Paths.GfxFolder() + "BROWSER_" + kColourNames[std::clamp(k, 0, 6)] + ".BMP";
}

QString TGraphics::AboutFont() const { return Paths.GfxFolder() + "FONT.BMP"; }
QString TGraphics::AboutWater() const { return Paths.GfxFolder() + "WATER.BMP"; }

QStringList TGraphics::PrepareFiles() {
    QStringList problems;
    QDir().mkpath(Paths.GfxFolder());
    const struct {
        const char* File;
        const char* Id;
        const char* Variant;
        const char* Palette;
    } sets[] = {{"background.bmp", "ID_BACKGROUND", "MAIN_", "CM"}, {"browser.bmp", "ID_BROWSER", "BROWSER_", "CB"}};
    for (const auto& set : sets) {
        QString base = Paths.GfxFolder() + set.File;
        if (!QFileInfo::exists(base) && QFileInfo::exists(Paths.DataFolder + "GFX/" + set.File))
            base = Paths.DataFolder + "GFX/" + set.File;
        if (!QFileInfo::exists(base) && !WriteBuiltIn(set.Id, base)) {
            problems << "Cannot write " + QDir::toNativeSeparators(base) + ".";
            continue;
        }
        std::vector<std::filesystem::path> palettes, variants;
        for (int k = 0; k < 7; ++k) {
            palettes.push_back(ToPath(Paths.ColourTableFolder() + set.Palette + QString::number(k) + ".ACT"));
            variants.push_back(ToPath(Paths.GfxFolder() + set.Variant + kColourNames[k] + ".BMP"));
        }
        try {
            BuildColourVariants(ToPath(base), palettes, variants);
        } catch (const std::exception& e) {
            problems << FromUtf8(e.what());
        }
    }
    if (!WriteBuiltIn("ID_ABOUT_FONT", AboutFont()) || !WriteBuiltIn("ID_ABOUT_WATER", AboutWater()))
        problems << "Cannot write the About pictures into " + QDir::toNativeSeparators(Paths.GfxFolder()) + ".";
    return problems;
}

QPixmap TGraphics::Transparent(const QImage& image) {
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFF00FF) line[x] = 0;
    }
    return QPixmap::fromImage(argb);
}

QList<QPixmap> TGraphics::CutBrowserIcons(const QImage& strip) {
    QList<QPixmap> icons;
    for (int k = 0; k < 7; ++k) {
        QImage cell(72, 40, QImage::Format_RGB32);
        cell.fill(QColor(255, 0, 255));
        QPainter painter(&cell);
        painter.drawImage(QPoint(20, 0), strip, QRect(32 * k, 0, 32, 40));
        painter.end();
        icons << Transparent(cell);
    }
    return icons;
}

QList<QPixmap> TGraphics::CutToolbarIcons(const QImage& strip) {
    QList<QPixmap> icons;
    for (int k = 0; k < 30; ++k) icons << Transparent(strip.copy(16 * k, 0, 16, 16));
    return icons;
}

QImage TGraphics::SkinOrBuiltIn(const QString& skinFile, const QString& id) const {
    const QString skin = Store.ReadString("Preferences", "Skin", kDefaultSkin);
    if (skin != kDefaultSkin) {
        const QImage image(Paths.SkinFolder(skin) + skinFile);
        if (!image.isNull()) return image;
    }
    return BuiltIn(id);
}

void TGraphics::LoadWindowGraphics() {
    // The skin's background where it has one, else the main colour scheme's variant,
    // so that the scheme chosen still shows under a skin without a background.
    const QString skin = Store.ReadString("Preferences", "Skin", kDefaultSkin);
    QImage back;
    if (skin != kDefaultSkin) back = QImage(Paths.SkinFolder(skin) + "BACK.BMP");
    if (back.isNull()) back = QImage(MainVariant(Store.ReadInteger("Preferences", "Default Background Color", 0)));
    if (back.isNull()) back = BuiltIn("ID_BACKGROUND");
    MainBackground = QPixmap::fromImage(back);
    ToolbarStrip = QPixmap::fromImage(SkinOrBuiltIn("TOOLBAR.BMP", "ID_TOOLBAR"));
    BrowserHot = CutBrowserIcons(SkinOrBuiltIn("bicons_hot.bmp", "ID_BROWSER_HICONS"));
    BrowserNormal = CutBrowserIcons(SkinOrBuiltIn("bicons_normal.bmp", "ID_BROWSER_NICONS"));
    ToolbarHot = CutToolbarIcons(SkinOrBuiltIn("toolbar_hot.bmp", "ID_TOOLBAR_HOT"));
    ToolbarNormal = CutToolbarIcons(SkinOrBuiltIn("toolbar_normal.bmp", "ID_TOOLBAR_NORMAL"));
}

QPixmap TGraphics::BrowserStrip() const {
    const QString skin = Store.ReadString("Preferences", "Skin", kDefaultSkin);
    QPixmap strip;
    if (skin != kDefaultSkin) strip.load(Paths.SkinFolder(skin) + "BROWSER.BMP");
    if (strip.isNull()) strip.load(BrowserVariant(Store.ReadInteger("Preferences", "Explorer Background Color", 0)));
    if (strip.isNull()) strip = QPixmap::fromImage(BuiltIn("ID_BROWSER"));
    return strip;
}

QIcon TGraphics::BrowserIcon(int k) const {
    QIcon icon;
    if (k >= 0 && k < BrowserNormal.size()) icon.addPixmap(BrowserNormal[k], QIcon::Normal);
    if (k >= 0 && k < BrowserHot.size()) icon.addPixmap(BrowserHot[k], QIcon::Active);
    return icon;
}

QIcon TGraphics::ToolbarIcon(int k) const {
    QIcon icon;
    if (k >= 0 && k < ToolbarNormal.size()) icon.addPixmap(ToolbarNormal[k], QIcon::Normal);
    if (k >= 0 && k < ToolbarHot.size()) icon.addPixmap(ToolbarHot[k], QIcon::Active);
    return icon;
}

}  // namespace velmar::gui
