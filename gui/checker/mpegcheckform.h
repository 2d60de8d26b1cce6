#pragma once
// TMPEGCheckForm ("MPEG Stream Checker"): checks the frame chain of the files it
// was given and shows the report, which can be saved as a text file.
#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace velmar::gui {

class TDialogs;
class TRegisterComp;

class TMPEGCheckForm : public QDialog {
    Q_OBJECT
public:
    // The store keeps the folder the report was last saved in.
    TMPEGCheckForm(TDialogs& dialogs, TRegisterComp& store, QWidget* parent);

    void AddFile(const QString& fileName) { Files << fileName; }
    const QStringList& FileList() const { return Files; }
    QStringList ReportLines() const;

    QListWidget* lbMPEGSync;
    QPushButton* btnStart;
    QPushButton* Button2;  // "&Save"
    QPushButton* btnOk;

public slots:
    void btnStartClick();
    void Button2Click();

private:
    TDialogs& Dialogs;
    TRegisterComp& Store;
    QStringList Files;
};

}  // namespace velmar::gui
