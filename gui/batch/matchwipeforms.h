#pragma once
// The two small dialogs of the main window that act on a browser's files:
// TmatchtoTimeForm ("Match To Time") chooses, in list order, the files that fill a
// playing time; TWipeTagsForm ("Wipe Tags") asks which tags to remove.
#include <QDialog>
#include <QStringList>
#include <vector>

#include "batch/wipetags.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace velmar::gui {

class TDialogs;

class TmatchtoTimeForm : public QDialog {
    Q_OBJECT
public:
    explicit TmatchtoTimeForm(TDialogs& dialogs, QWidget* parent = nullptr);

    // The files of the list to work on, in list order.
    void SetMatchFiles(const QStringList& files) { Files = files; }
    int TargetSeconds() const;
    // "Ok": reads each file's length (messages shown once at the end) and chooses.
    void Match();

    // After "Ok": one flag per file, and the total play time of those chosen.
    std::vector<bool> Chosen;
    qint64 TotalSeconds = 0;

    QRadioButton* rb60;
    QRadioButton* rb90;
    QRadioButton* rb100;
    QCheckBox* chkUserDefined;
    QSpinBox* spnMinutes;
    QLabel* lblMinutes;
    QPushButton* btnOk;
    QPushButton* btnCancel;

private:
    void UserDefinedToggled(bool on);
    TDialogs& Dialogs;
    QStringList Files;
};

class TWipeTagsForm : public QDialog {
    Q_OBJECT
public:
    explicit TWipeTagsForm(QWidget* parent = nullptr);
    velmar::TWipeChoice Choice() const;

    QCheckBox* chkID3v2;
    QCheckBox* chkID3v1;
    QCheckBox* chkLyrics3;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

}  // namespace velmar::gui
