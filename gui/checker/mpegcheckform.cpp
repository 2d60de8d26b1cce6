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
#include "app/dialogs.h"
#include "app/progress.h"
#include "batch/makelist.h"
#include "file/mpegchecker.h"

namespace velmar::gui {

TMPEGCheckForm::TMPEGCheckForm(TDialogs& dialogs, TRegisterComp& store, QWidget* parent)
    : QDialog(parent), Dialogs(dialogs), Store(store) {
    setWindowTitle("MPEG Stream Checker");
    setProperty("helpTopic", "MPEG_Stream_Checker");
    lbMPEGSync = new QListWidget(this);
    lbMPEGSync->setUniformItemSizes(true);
    lbMPEGSync->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lbMPEGSync->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btnStart = new QPushButton("&Start", this);
    Button2 = new QPushButton("&Save", this);
    btnOk = new QPushButton("&Ok", this);
    btnStart->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart);
    buttons->addWidget(Button2);
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbMPEGSync, 1);
    layout->addLayout(buttons);
    lbMPEGSync->setTextElideMode(Qt::ElideNone);
    resize(760, 440);
    connect(btnStart, &QPushButton::clicked, this, &TMPEGCheckForm::btnStartClick);
    connect(Button2, &QPushButton::clicked, this, &TMPEGCheckForm::Button2Click);
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
    for (const QString& file : Files) {
        const TCheckResult result = checker.CheckFile(ToPath(file));
        QStringList lines;
        for (const std::string& line : result.Lines) lines << FromUtf8(line);
        lbMPEGSync->addItems(lines);
        ++checked;
        if (!progress.Step(int(checked))) break;
    }
    lbMPEGSync->addItem(FromUtf8(CheckedFilesLine(checked)));
    lbMPEGSync->scrollToBottom();
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
