#pragma once
// The splash window shown while the program starts, and the About window.
#include <QDialog>
#include <QPixmap>
#include <QWidget>

namespace velmar::gui {

// Borderless, centred, on top: a 400 x 300 picture with a status line.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    TSplashForm();
    void SetStatus(const QString& text);  // shown at once
    QString StatusText() const { return Status; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap Picture, Lettering;
    QString Status;
};

// Borderless 400 x 300: the program's caption over the About pictures; any click closes it.
class TAboutForm : public QDialog {
    Q_OBJECT
public:
    TAboutForm(const QString& fontPicture, const QString& waterPicture, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap Font, Water;
};

// "Velmar v1.3 ": the caption of the main window and the About window.
QString ProductCaption();

}  // namespace velmar::gui
