#include "tageditor/bpmform.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace velmar::gui {

TBPMForm::TBPMForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("BPM Counter");
    setProperty("helpTopic", "BPM_Counter");
    Elapsed.start();
    Clock = [this] { return Elapsed.elapsed(); };

    bpmEdit = new QLineEdit(this);
    bpmEdit->setReadOnly(true);
    timeLabel = new QLabel("00:00", this);
    beatsLabel = new QLabel("0", this);
    beat = new QPushButton("&Beat", this);
    Stop = new QPushButton("&Stop", this);
    ClearBtn = new QPushButton("&Clear", this);
    OkBtn = new QPushButton("&Ok", this);
    // Enter taps as well, wherever the focus is.
    for (QPushButton* button : {Stop, ClearBtn, OkBtn}) button->setAutoDefault(false);
    beat->setDefault(true);
    Stop->setEnabled(false);

    auto* values = new QGridLayout;
    values->addWidget(new QLabel("BPM:", this), 0, 0);
    values->addWidget(bpmEdit, 0, 1, 1, 3);
    values->addWidget(new QLabel("Time:", this), 1, 0);
    values->addWidget(timeLabel, 1, 1);
    values->addWidget(new QLabel("Beats:", this), 1, 2, Qt::AlignRight);
    values->addWidget(beatsLabel, 1, 3);
    values->setColumnStretch(1, 1);
    values->setColumnStretch(3, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {beat, Stop, ClearBtn, OkBtn}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(values);
    layout->addStretch();
    layout->addLayout(buttons);
    beat->setFocus();
    resize(260, 140);

    Timer = new QTimer(this);
    Timer->setInterval(50);
    connect(Timer, &QTimer::timeout, this, &TBPMForm::timerTick);
    connect(beat, &QPushButton::clicked, this, &TBPMForm::beatClick);
    connect(Stop, &QPushButton::clicked, this, &TBPMForm::stopClick);
    connect(ClearBtn, &QPushButton::clicked, this, &TBPMForm::ClearBtnClick);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TBPMForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    // Each showing measures anew; what the display still shows is only cleared by "Clear".
    Result = 0;
    BeatCount = 0;
}

void TBPMForm::beatClick() {
    if (!Stop->isEnabled()) {
        Timer->start();
        Stop->setEnabled(true);
        ClearBtn->setEnabled(false);
        BeatCount = 1;
        StartTime = Clock();
        CurrentTime = StartTime;  // no tick yet: a tap now measures nothing
        return;
    }
    const qint64 elapsed = CurrentTime - StartTime;
    if (elapsed <= 0) return;
    // BeatCount intervals in `elapsed` ms: the average tempo since the first tap.
    const double bpm = 60.0 / (double(elapsed) / 1000.0) * BeatCount;
    bpmEdit->setText(QString::number(bpm, 'f', 2));
    Result = int(std::lround(bpm));
    ++BeatCount;
}

void TBPMForm::stopClick() {
    Stop->setEnabled(false);
    Timer->stop();
    ClearBtn->setEnabled(true);
    // Focus would otherwise stay on the disabled button.
    beat->setFocus();
}

void TBPMForm::ClearBtnClick() {
    BeatCount = 0;
    bpmEdit->clear();
    timeLabel->setText("00:00");
    beatsLabel->setText("0");
}

void TBPMForm::timerTick() {
    CurrentTime = Clock();
    const qint64 seconds = std::max<qint64>(CurrentTime - StartTime, 0) / 1000;
    timeLabel->setText(QString("%1:%2").arg(seconds / 60, 2, 10, QChar('0')).arg(seconds % 60, 2, 10, QChar('0')));
    beatsLabel->setText(QString::number(BeatCount));
}

}  // namespace velmar::gui
