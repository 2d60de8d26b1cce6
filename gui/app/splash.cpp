#include "splash.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "base/version.h"
#include "graphics.h"

namespace velmar::gui {

namespace {

void DrawBackdrop(QPainter& painter, const QRect& area, const QPixmap& water) {
    if (!water.isNull()) {
        painter.drawPixmap(area, water);
    } else {
        QLinearGradient gradient(area.topLeft(), area.bottomLeft());
        gradient.setColorAt(0, QColor(24, 48, 96));
        gradient.setColorAt(1, QColor(8, 16, 40));
        painter.fillRect(area, gradient);
    }
}

void DrawTitle(QPainter& painter, const QRect& area, const QString& caption) {
    QFont font = painter.font();
    font.setPixelSize(38);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 0, 140));
    painter.drawText(area.translated(2, 2), Qt::AlignCenter, caption);
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, caption);
}

}  // namespace

QString ProductCaption() {
    return QString("%1 v%2.%3 %4").arg("Velmar").arg(kVersionMajor).arg(kVersionMinor).arg(QString());
}

TSplashForm::TSplashForm()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      Status("Status: Initializing...") {
    setFixedSize(400, 300);
    Picture = QPixmap::fromImage(TGraphics::BuiltIn("ID_ABOUT_WATER"));
    Lettering = TGraphics::Transparent(TGraphics::BuiltIn("ID_ABOUT_FONT"));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TSplashForm::SetStatus(const QString& text) {
    Status = text;
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawBackdrop(painter, rect(), Picture);
    if (!Lettering.isNull())
        painter.drawPixmap(0, 0, Lettering);
    else
        DrawTitle(painter, rect().adjusted(0, -40, 0, -40), ProductCaption().trimmed());
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(false);
    painter.setFont(font);
    painter.fillRect(QRect(0, height() - 28, width(), 28), QColor(0, 0, 0, 110));
    painter.setPen(Qt::white);
    painter.drawText(QRect(10, height() - 28, width() - 20, 28), Qt::AlignVCenter | Qt::AlignLeft, Status);
    painter.setPen(QColor(255, 255, 255, 90));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TAboutForm::TAboutForm(const QString& fontPicture, const QString& waterPicture, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    setWindowTitle(ProductCaption());
    setFixedSize(400, 300);
    Font = TGraphics::Transparent(QImage(fontPicture));
    Water.load(waterPicture);
}

void TAboutForm::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawBackdrop(painter, rect(), Water);
    if (!Font.isNull())
        painter.drawPixmap(0, 0, Font);
    else
        DrawTitle(painter, rect().adjusted(0, -30, 0, -30), ProductCaption().trimmed());
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(false);
    painter.setFont(font);
    painter.setPen(QColor(230, 236, 245));
    painter.drawText(QRect(0, height() - 44, width(), 20), Qt::AlignCenter,
                     ProductCaption().trimmed() + "  -  Orvane Design");
    painter.setPen(QColor(255, 255, 255, 90));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TAboutForm::mousePressEvent(QMouseEvent*) { accept(); }

}  // namespace velmar::gui
