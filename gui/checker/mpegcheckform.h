#pragma once
// TMPEGCheckForm ("MPEG Stream Checker"): checks the frame chain of the files it
// was given and shows the report, which can be saved as a text file; the damaged
// files it found can be repaired, as one change that Edit > Undo takes back.
#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace velmar::gui {

class TChanges;
class TDialogs;
class TRegisterComp;

class TMPEGCheckForm : public QDialog {
    Q_OBJECT
public:
    // The store keeps the folder the report was last saved in.
    // Repairs are recorded in `changes` (none: not recorded).
    TMPEGCheckForm(TDialogs& dialogs, TRegisterComp& store, QWidget* parent, TChanges* changes = nullptr);

    void AddFile(const QString& fileName) { Files << fileName; }
    const QStringList& FileList() const { return Files; }
    QStringList ReportLines() const;

    QListWidget* lbMPEGSync;
    QPushButton* btnStart;
    QPushButton* btnRepair;  // enabled when the last run found damaged files
    QPushButton* Button2;  // "&Save"
    QPushButton* btnOk;

public slots:
    void btnStartClick();
    void Button2Click();
    void btnRepairClick();

    const QStringList& DamagedFiles() const { return Damaged; }

private:
    TDialogs& Dialogs;
    TRegisterComp& Store;
    TChanges* Changes;
    QStringList Files;
    QStringList Damaged;  // found by the last run
};

}  // namespace velmar::gui
