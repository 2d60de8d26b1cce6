#pragma once
// TBPMForm ("BPM Counter"): the user taps "Beat" along with a song and the dialog
// shows the average tempo since the first tap. The tag editor shows it with exec()
// and then takes Result for its BPM field.
#include <QDialog>
#include <QElapsedTimer>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTimer;

namespace velmar::gui {

class TBPMForm : public QDialog {
    Q_OBJECT
public:
    explicit TBPMForm(QWidget* parent = nullptr);

    // "Beat": the first tap starts a measurement; each later one shows the tempo so far.
    void beatClick();
    // "Stop": ends the measurement; the tempo shown stays.
    void stopClick();
    // "Clear": empties the display for a new measurement.
    void ClearBtnClick();
    // Every Timer tick: takes the time that taps are measured by and shows the elapsed time and beats.
    void timerTick();

    // The tempo shown last, rounded; 0 until a second tap of the showing.
    int Result = 0;
    // Taps so far in this measurement, which is also the number of intervals the next tap closes.
    int BeatCount = 0;
    // Milliseconds of a monotonic clock (never the time of day); tests put a fake clock here.
    std::function<qint64()> Clock;

    QLineEdit* bpmEdit;
    QLabel* timeLabel;
    QLabel* beatsLabel;
    QPushButton* beat;
    QPushButton* Stop;
    QPushButton* ClearBtn;
    QPushButton* OkBtn;
    QTimer* Timer;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QElapsedTimer Elapsed;
    qint64 StartTime = 0;
    // The clock at the latest timer tick: taps are timed to within one tick.
    qint64 CurrentTime = 0;
};

}  // namespace velmar::gui
