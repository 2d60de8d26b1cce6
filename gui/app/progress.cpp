#include "progress.h"

#include <QApplication>
#include <QProgressDialog>

#include "dialogs.h"

namespace velmar::gui {

TProgress::TProgress(QWidget* parent, const QString& label, int maximum, bool cancellable)
    : Maximum(maximum), Cancellable(cancellable) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    Dialog = new QProgressDialog(label, cancellable ? QStringLiteral("Cancel") : QString(), 0, maximum, parent);
    Dialog->setWindowTitle(ApplicationTitle());
    Dialog->setWindowModality(Qt::ApplicationModal);
    Dialog->setMinimumDuration(500);
    Dialog->setAutoClose(false);
    Dialog->setAutoReset(false);
    Dialog->setValue(0);
    Clock.start();
}

TProgress::~TProgress() {
    delete Dialog.data();
    QApplication::restoreOverrideCursor();
}

void TProgress::SetLabel(const QString& label) {
    if (Dialog) Dialog->setLabelText(label);
}

bool TProgress::Step(int done) {
    if (WasCancelled) return false;
    if (Clock.elapsed() - LastEvents < 40 && done < Maximum) return true;
    if (Dialog) {
        // setValue shows the window once the minimum duration has passed and lets events run.
        Dialog->setValue(std::min(done, Maximum));
        QApplication::processEvents();
        WasCancelled = Cancellable && Dialog->wasCanceled();
    }
    LastEvents = Clock.elapsed();
    return !WasCancelled;
}

}  // namespace velmar::gui
