#pragma once
// Long work on the user-interface thread: the hourglass cursor, a progress window
// that appears when the work takes longer than half a second and can cancel it,
// and pending events handled a few times a second so the program stays responsive.
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QProgressDialog;
class QWidget;

namespace velmar::gui {

class TProgress {
public:
    // Without `cancellable`, the window has no Cancel: the work, once begun, is done whole.
    TProgress(QWidget* parent, const QString& label, int maximum, bool cancellable = true);
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    // Reports `done` steps; false once the user cancelled.
    bool Step(int done);
    // True at most every 40 ms: the moment to hand results to the window before Step.
    bool Due() const { return Clock.elapsed() - LastEvents >= 40; }
    bool Cancelled() const { return WasCancelled; }
    void SetLabel(const QString& label);

private:
    QPointer<QProgressDialog> Dialog;
    QElapsedTimer Clock;
    qint64 LastEvents = 0;
    int Maximum;
    bool WasCancelled = false;
    bool Cancellable = true;
};

}  // namespace velmar::gui
