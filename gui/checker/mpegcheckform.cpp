#include "mpegcheckform.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/changes.h"
#include "app/dialogs.h"
#include "app/progress.h"
#include "batch/makelist.h"
#include "change/apply.h"
#include "file/mpegchecker.h"
#include "file/mpegrepair.h"

namespace velmar::gui {

TMPEGCheckForm::TMPEGCheckForm(TDialogs& dialogs, TRegisterComp& store, QWidget* parent, TChanges* changes)
    : QDialog(parent), Dialogs(dialogs), Store(store), Changes(changes) {
    setWindowTitle("MPEG Stream Checker");
    setProperty("helpTopic", "MPEG_Stream_Checker");
    lbMPEGSync = new QListWidget(this);
    lbMPEGSync->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lbMPEGSync->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnStart = new QPushButton("&Start", this);
    Button2 = new QPushButton("&Save", this);
    btnOk = new QPushButton("&Ok", this);
    btnRepair = new QPushButton("&Repair", this);
    btnRepair->setEnabled(false);
    btnStart->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(Button2);
    buttons->addWidget(btnRepair);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMPEGSync, 1);
    layout->addLayout(buttons);
    lbMPEGSync->setTextElideMode(Qt::ElideNone);
    resize(760, 440);
    connect(btnStart, &QPushButton::clicked, this, &TMPEGCheckForm::btnStartClick);
    connect(Button2, &QPushButton::clicked, this, &TMPEGCheckForm::Button2Click);
    connect(btnRepair, &QPushButton::clicked, this, &TMPEGCheckForm::btnRepairClick);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

QStringList TMPEGCheckForm::ReportLines() const {
    QStringList lines;
    for (int i = 0; i < lbMPEGSync->count(); ++i) lines << lbMPEGSync->item(i)->text();
    return lines;
}

void TMPEGCheckForm::btnStartClick() {
    TProgress progress(this, "Checking file(s)...", int(Files.size()));
    TMPEGChecker checker;
    size_t checked = 0;
    Damaged.clear();
    for (const QString& file : Files) {
        const TCheckResult result = checker.CheckFile(ToPath(file));
        if (result.ProblemCount > 0) Damaged << file;
        QStringList lines;
        for (const std::string& line : result.Lines) lines << FromUtf8(line);
        lbMPEGSync->addItems(lines);
        ++checked;
        if (!progress.Step(int(checked))) break;
    }
    lbMPEGSync->addItem(FromUtf8(CheckedFilesLine(checked)));
    lbMPEGSync->scrollToBottom();
    btnRepair->setEnabled(!Damaged.isEmpty());
}

void TMPEGCheckForm::btnRepairClick() {
    if (Damaged.isEmpty()) return;
    if (!Dialogs.AskYesNo(this, QString("Repair the damaged streams of %1 file(s)?\r"
                                        "Edit > Undo puts the removed bytes back.")
                                    .arg(Damaged.size())))
        return;
    std::vector<std::filesystem::path> files;
    for (const QString& f : Damaged) files.push_back(ToPath(f));
    QStringList lines{"Repair:"}, failed;
    {
        TProgress progress(this, "Repairing file(s)...", int(files.size()));
        TChangeScope recorded(Changes, "MPEG Stream Checker", "Repair streams", Dialogs, this);
        TFileChange change{"MPEG Stream Checker", "Repair streams", files,
                           [&](const std::filesystem::path& file, velmar::TMessageSink& sink) {
                               const TRepairOutcome outcome = RepairFile(file, false, sink);
                               const QString line =
                                   FromPath(file) + ": " + FromUtf8(RepairSummary(outcome, false));
                               lines << line;
                               if (outcome.Failed) failed << line;
                               return outcome.Written;
                           }};
        change.TagsOnly = false;
        TApplyOptions options;
        options.OnFile = [&](size_t i, const TFileOutcome& outcome) {
            for (const std::string& m : outcome.Messages) failed << FromPath(files[i]) + ": " + FromUtf8(m);
            return progress.Step(int(i + 1));
        };
        ApplyChange(change, options);
    }
    lbMPEGSync->clear();
    lbMPEGSync->addItems(lines);
    lbMPEGSync->addItem("");
    if (!failed.isEmpty()) Dialogs.AskOverList(this, "These files could not be repaired:", failed, "");
    btnStartClick();  // the files are checked again
}

void TMPEGCheckForm::Button2Click() {
    // The dialog opens where the last report was saved, at first in the user's home folder.
    const QString folder = Store.ReadString("Preferences", "MPEG Log Directory", QDir::homePath());
    const QString name = Dialogs.SaveFile(this, "Save MPEG log", folder,
                                          "Logfile (*.log)|*.log|Textfile (*.txt)|*.txt|All Files (*.*)|*.*", "log");
    if (name.isEmpty()) return;
    Store.WriteString("Preferences", "MPEG Log Directory", QFileInfo(name).absolutePath());
    // Written beside the chosen file and renamed over it, so that a link planted at
    // its name is replaced, never written through, and a failure leaves an old log whole.
    std::string text;
    for (const QString& line : ReportLines()) text += line.toStdString() + '\n';
    if (const std::string problem = ReplaceFileContents(ToPath(name), text); !problem.empty())
        Dialogs.Error(this, QString("Cannot write \"%1\": %2").arg(name, FromUtf8(problem)));
}

}  // namespace velmar::gui
