#include "renameform.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/appcontext.h"
#include "app/changes.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "batch/outputform.h"

namespace velmar::gui {

TRenameForm::TRenameForm(TOutputForm& output, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), Output(output), Dialogs(dialogs) {
    setWindowTitle("Rename files");
    setProperty("helpTopic", "Rename_Files");
    auto* group = new QGroupBox("Predefined output format", this);
    lstFormats = new QListWidget(group);
    btnNew = new QPushButton("New", group);
    btnEdit = new QPushButton("Edit", group);
    btnDelete = new QPushButton("Delete", group);
    auto* formatButtons = new QHBoxLayout;
    for (QPushButton* b : {btnNew, btnEdit, btnDelete}) formatButtons->addWidget(b);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(lstFormats, 1);
    groupLayout->addLayout(formatButtons);

    lvNames = new QTreeWidget(this);
    lvNames->setHeaderLabels({"File", "New name", "Problem"});
    lvNames->setRootIsDecorated(false);
    lvNames->setUniformRowHeights(true);
    lvNames->setSelectionMode(QAbstractItemView::NoSelection);
    lvNames->header()->setStretchLastSection(true);

    QHBoxLayout* buttons = BottomRow();

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    StatusPanels[0] = new QLabel("0 file(s)", StatusBar);
    StatusPanels[1] = new QLabel(StatusBar);
    StatusPanels[0]->setMinimumWidth(90);
    StatusBar->addWidget(StatusPanels[0]);
    StatusBar->addWidget(StatusPanels[1], 1);

    auto* body = new QHBoxLayout;
    body->addWidget(group, 1);
    body->addWidget(lvNames, 5);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);
    resize(1000, 420);

    connect(lstFormats, &QListWidget::currentRowChanged, this, &TRenameForm::FormatChosen);
    connect(btnNew, &QPushButton::clicked, this, [this] {
        if (!Output.NewFormat(this)) return;
        Output.Edit(this);
        Refill();
    });
    connect(btnEdit, &QPushButton::clicked, this, [this] {
        Output.StoreChoice(lstFormats->currentRow());
        Output.Edit(this);
        Refill();
    });
    connect(btnDelete, &QPushButton::clicked, this, [this] {
        if (lstFormats->currentItem() && Output.DeleteFormat(lstFormats->currentItem()->text(), this)) Refill();
    });
    // The names follow the target folder as it is typed, once typing pauses.
    auto* typing = new QTimer(this);
    typing->setSingleShot(true);
    typing->setInterval(300);
    connect(typing, &QTimer::timeout, this, &TRenameForm::UpdateNames);
    connect(edtTarget, &QLineEdit::textChanged, typing, qOverload<>(&QTimer::start));
    connect(btnBrowse, &QToolButton::clicked, this, &TRenameForm::Browse);
    connect(chkMakeFolders, &QCheckBox::toggled, this, &TRenameForm::UpdateNames);
    connect(btnRename, &QPushButton::clicked, this, &TRenameForm::RenameFiles);
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);
}

QHBoxLayout* TRenameForm::BottomRow() {
    auto* targetLabel = new QLabel("&Target folder:", this);
    edtTarget = new QLineEdit(this);
    edtTarget->setPlaceholderText("each file's own folder");
    edtTarget->setClearButtonEnabled(true);
    targetLabel->setBuddy(edtTarget);
    btnBrowse = new QToolButton(this);
    btnBrowse->setText("...");
    btnBrowse->setToolTip("Choose the folder to put the renamed files in");
    chkMakeFolders = new QCheckBox("Make folders", this);
    chkMakeFolders->setChecked(true);
    chkMakeFolders->setToolTip("Make the folders the new names need (a \"/\" in the format, or the target folder)");

    btnRename = new QPushButton("Rename", this);
    btnExit = new QPushButton("E&xit", this);
    btnRename->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(targetLabel);
    buttons->addWidget(edtTarget, 1);
    buttons->addWidget(btnBrowse);
    buttons->addSpacing(12);
    buttons->addWidget(chkMakeFolders);
    buttons->addSpacing(24);
    buttons->addWidget(btnRename);
    buttons->addWidget(btnExit);
    return buttons;
}

void TRenameForm::BeginRename() {
    Renamed.clear();
    FileNames.clear();
    RowIndexes.clear();
    Values.clear();
    Plans.clear();
}

void TRenameForm::AddRenameFile(const QString& fullFileName) { FileNames << fullFileName; }

void TRenameForm::PrepareIndexes() { RowIndexes.reserve(size_t(FileNames.size())); }

void TRenameForm::AddIndex(int row) { RowIndexes.push_back(row); }

void TRenameForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    Output.SelectMode(velmar::kModeRename);
    ReadValues();
    Refill();
    StatusPanels[0]->setText(QString("%1 file(s)").arg(FileNames.size()));
}

void TRenameForm::ReadValues() {
    // Each file is read once; the names follow every change of format from these values.
    Values.clear();
    ReadErrors = TBatchErrors();
    TProgress progress(this, "Reading file(s)...", int(FileNames.size()));
    std::vector<std::filesystem::path> files;
    files.reserve(size_t(FileNames.size()));
    for (const QString& name : FileNames) files.push_back(ToPath(name));
    int read = 0;
    Values = velmar::ReadTokenValues(
        files,
        [&](size_t i, const std::vector<std::string>& messages) {
            for (const std::string& m : messages) ReadErrors.Add(FileNames[qsizetype(i)], FromUtf8(m));
            read = int(i) + 1;
            return progress.Step(read);
        },
        [&] { return progress.Step(read); });
}

void TRenameForm::Refill() {
    const QSignalBlocker block(lstFormats);
    lstFormats->clear();
    lstFormats->addItems(Output.FormatNames());
    const int stored = Output.StoredChoice();
    lstFormats->setCurrentRow(lstFormats->count() == 0 ? -1 : stored >= 0 && stored < lstFormats->count() ? stored : 0);
    FormatChosen();
}

void TRenameForm::FormatChosen() {
    const bool any = lstFormats->currentItem() != nullptr;
    for (QWidget* w : std::initializer_list<QWidget*>{btnRename, btnEdit, btnDelete, lstFormats}) w->setEnabled(any);
    if (!any || !Output.LoadFormat(lstFormats->currentItem()->text())) Output.Format.Clear();
    UpdateNames();
}

void TRenameForm::Browse() {
    const QString folder =
        Dialogs.Folder(this, "Choose the folder to put the renamed files in", edtTarget->text().trimmed());
    if (folder.isEmpty()) return;
    edtTarget->setText(QDir::toNativeSeparators(folder));
    UpdateNames();
}

QString TRenameForm::TargetFolder() const {
    // A folder typed without its full path is taken in the home folder, as "~" is.
    QString target = edtTarget->text().trimmed();
    if (target.isEmpty()) return {};
    if (target == "~" || target.startsWith("~/")) target = QDir::homePath() + target.mid(1);
    return QDir::cleanPath(QDir::home().absoluteFilePath(target));
}

QString TRenameForm::ShownName(const velmar::TRenamePlan& plan) const {
    // Relative to the folder the names are placed in: the target, or the file's own.
    return FromPath(plan.To.lexically_relative(TargetFolder().isEmpty() ? plan.From.parent_path() : plan.Base));
}

void TRenameForm::UpdateNames() {
    std::vector<std::filesystem::path> files;
    for (const QString& f : FileNames) files.push_back(ToPath(f));
    const bool any = lstFormats->currentItem() != nullptr;
    Plans = any ? velmar::PlanRenames(files, Values, Output.Format.User, Output.Format, chkMakeFolders->isChecked(),
                                      ToPath(TargetFolder()))
                : std::vector<velmar::TRenamePlan>{};
    lvNames->clear();
    QList<QTreeWidgetItem*> items;
    for (const velmar::TRenamePlan& plan : Plans) {
        auto* item = new QTreeWidgetItem({FromPath(plan.From.filename()), ShownName(plan), FromUtf8(plan.Problem)});
        item->setToolTip(0, FromPath(plan.From));
        if (!plan.Problem.empty())
            for (int c = 0; c < 3; ++c) {
                item->setForeground(c, QColor(192, 0, 0));
                item->setToolTip(c, FromUtf8(plan.Problem));
            }
        items << item;
    }
    lvNames->addTopLevelItems(items);
    // Both names in view where they fit; the reason why a name cannot be used after them.
    const int room = lvNames->viewport()->width();
    for (const auto& [column, share] : {std::pair(0, 30), std::pair(1, 50)}) {
        lvNames->resizeColumnToContents(column);
        lvNames->setColumnWidth(column, std::min(lvNames->columnWidth(column), room * share / 100));
    }
    StatusPanels[1]->setText(Plans.empty() ? QString() : ShownName(Plans.front()));
}

void TRenameForm::RenameFiles() {
    // The folders may have changed since the names were shown: what is asked is what happens.
    UpdateNames();
    if (Plans.empty()) return;
    QStringList problems;
    int moving = 0;
    for (const velmar::TRenamePlan& plan : Plans) {
        if (!plan.Problem.empty())
            problems << FromPath(plan.From) + ": " + FromUtf8(plan.Problem);
        else if (!plan.Unchanged())
            ++moving;
    }
    if (!problems.isEmpty()) {
        if (moving == 0) {
            Dialogs.AskOverList(this, QString("None of the %1 file(s) can be renamed:").arg(problems.size()), problems,
                                QString());
            return;
        }
        const QString question =
            QString("%1 file(s) cannot be renamed and stay as they are. Rename the other %2 file(s)?")
                .arg(problems.size())
                .arg(moving);
        if (!Dialogs.AskOverList(this, question, problems, "Rename the others")) return;
    }
    TBatchErrors errors = ReadErrors;
    {
        TChangeScope change(Changes, "Rename files", "Rename", Dialogs, this);
        TProgress progress(this, "Renaming file(s)...", moving);
        int done = 0;
        const std::vector<velmar::TRenameResult> results =
            velmar::CarryOutRenames(Plans, [&](size_t, const velmar::TRenameResult&) { return progress.Step(++done); });
        for (size_t i = 0; i < Plans.size(); ++i) {
            const velmar::TRenamePlan& plan = Plans[i];
            const velmar::TRenameResult& result = results[i];
            // A file is shown under the name it has now (a temporary one when it had to be left there).
            if (result.Now != plan.From && i < RowIndexes.size()) Renamed.append({RowIndexes[i], FromPath(result.Now)});
            if (plan.Problem.empty() && !result.Problem.empty())
                errors.Add(FromPath(plan.From),
                           "Unable to rename file to \"" + ShownName(plan) + "\": " + FromUtf8(result.Problem));
        }
    }
    errors.Show(Dialogs, this);
    accept();
}

void TRenameForm::done(int result) {
    if (lstFormats->currentRow() >= 0) Output.StoreChoice(lstFormats->currentRow());
    QDialog::done(result);
}

}  // namespace velmar::gui
