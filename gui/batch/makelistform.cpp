#include "makelistform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "batch/outputform.h"
#include "batch/rename.h"

namespace velmar::gui {

namespace {

std::vector<std::string> Lines(const QPlainTextEdit* edit) {
    std::vector<std::string> lines;
    if (edit->toPlainText().isEmpty()) return lines;
    for (const QString& line : edit->toPlainText().split('\n')) lines.push_back(line.toStdString());
    return lines;
}

void Show(QPlainTextEdit* edit, const std::vector<std::string>& lines) {
    QStringList text;
    for (const std::string& line : lines) text << FromUtf8(line);
    edit->setPlainText(text.join('\n'));
}

// Gathers the messages of making a report, to be shown once.
class TGatherSink : public velmar::TMessageSink {
public:
    void Error(const std::string& text) override { Errors.Add(QString(), FromUtf8(text)); }
    TBatchErrors Errors;
};

}  // namespace

TMakeListForm::TMakeListForm(const TAppPaths& paths, TOutputForm& output, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), Paths(paths), Output(output), Dialogs(dialogs) {
    setWindowTitle("Make List");
    setProperty("helpTopic", "Make_List");
    CreateControls();
    ConnectLists();
    ConnectFormats();
    resize(820, 520);
}

QWidget* TMakeListForm::CreateListsBox() {
    auto* box = new QGroupBox("Predefined lists", this);
    lstLists = new QListWidget(box);
    btnAddList = new QPushButton("Add", box);
    btnRenameList = new QPushButton("Rename", box);
    btnDeleteList = new QPushButton("Delete", box);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnAddList, btnRenameList, btnDeleteList}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(lstLists, 1);
    layout->addLayout(buttons);
    return box;
}

QWidget* TMakeListForm::CreateFormatsBox() {
    auto* box = new QGroupBox("Output format", this);
    lstFormats = new QListWidget(box);
    btnNewFormat = new QPushButton("New", box);
    btnEditFormat = new QPushButton("Edit", box);
    btnDeleteFormat = new QPushButton("Delete", box);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {btnNewFormat, btnEditFormat, btnDeleteFormat}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(lstFormats, 1);
    layout->addLayout(buttons);
    return box;
}

void TMakeListForm::CreateControls() {
    Pages = new QTabWidget(this);
    memTop = new QPlainTextEdit(Pages);
    memMain = new QPlainTextEdit(Pages);
    memEnd = new QPlainTextEdit(Pages);
    Pages->addTab(memTop, "List Top");
    Pages->addTab(memMain, "Main List");
    Pages->addTab(memEnd, "List End");
    for (QPlainTextEdit* edit : {memTop, memMain, memEnd}) edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    btnSave = new QPushButton("&Save", this);
    btnFont = new QPushButton("&Font", this);
    btnTagHelp = new QPushButton("&Tag Help", this);
    edtFileName = new QLineEdit(this);
    btnBrowse = new QToolButton(this);
    btnBrowse->setText("...");
    btnBrowse->setToolTip("Choose the file to write");
    btnMakeList = new QPushButton("&Make List", this);
    btnExit = new QPushButton("E&xit", this);
    btnMakeList->setDefault(true);

    auto* left = new QVBoxLayout;
    left->addWidget(CreateListsBox(), 1);
    left->addWidget(CreateFormatsBox(), 1);
    auto* templateButtons = new QHBoxLayout;
    for (QPushButton* b : {btnSave, btnFont, btnTagHelp}) templateButtons->addWidget(b);
    templateButtons->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(Pages, 1);
    right->addLayout(templateButtons);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addLayout(right, 3);
    auto* target = new QHBoxLayout;
    target->addWidget(new QLabel("Filename", this));
    target->addWidget(edtFileName, 1);
    target->addWidget(btnBrowse);
    target->addWidget(btnMakeList);
    target->addWidget(btnExit);
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    StatusPanels[0] = new QLabel("0 file(s)", status);
    StatusPanels[1] = new QLabel(status);
    StatusPanels[0]->setMinimumWidth(90);
    status->addWidget(StatusPanels[0]);
    status->addWidget(StatusPanels[1], 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(body, 1);
    layout->addLayout(target);
    layout->addWidget(status);
}

void TMakeListForm::ConnectLists() {
    connect(lstLists, &QListWidget::currentRowChanged, this, [this] {
        AskToSave();
        LoadSelectedList();
        FollowListExtension();
    });
    for (QPlainTextEdit* edit : {memTop, memMain, memEnd})
        connect(edit, &QPlainTextEdit::textChanged, this, [this] { Modified = true; });
    connect(btnAddList, &QPushButton::clicked, this, &TMakeListForm::AddList);
    connect(btnRenameList, &QPushButton::clicked, this, &TMakeListForm::RenameList);
    connect(btnDeleteList, &QPushButton::clicked, this, &TMakeListForm::DeleteList);
    connect(btnSave, &QPushButton::clicked, this, &TMakeListForm::SaveList);
    connect(btnFont, &QPushButton::clicked, this, [this] {
        QFont font = memMain->font();
        if (!Dialogs.Font(this, font)) return;
        for (QPlainTextEdit* edit : {memTop, memMain, memEnd}) edit->setFont(font);
    });
    connect(btnTagHelp, &QPushButton::clicked, this, [this] { Output.ShowTagHelp(this); });
    connect(btnBrowse, &QToolButton::clicked, this, &TMakeListForm::Browse);
    connect(btnMakeList, &QPushButton::clicked, this, &TMakeListForm::MakeList);
    connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);
}

void TMakeListForm::ConnectFormats() {
    connect(lstFormats, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) Output.StoreChoice(row);
    });
    connect(btnNewFormat, &QPushButton::clicked, this, [this] {
        Output.SelectMode(velmar::kModeMakeList);
        if (!Output.NewFormat(this)) return;
        Output.Edit(this);
        FillFormats();
    });
    connect(btnEditFormat, &QPushButton::clicked, this, [this] {
        Output.SelectMode(velmar::kModeMakeList);
        Output.StoreChoice(lstFormats->currentRow());
        Output.Edit(this);
        FillFormats();
    });
    connect(btnDeleteFormat, &QPushButton::clicked, this, [this] {
        Output.SelectMode(velmar::kModeMakeList);
        if (lstFormats->currentItem() && Output.DeleteFormat(lstFormats->currentItem()->text(), this)) FillFormats();
    });
}

void TMakeListForm::BeginList() { Files.clear(); }

void TMakeListForm::AddListFile(const QString& fullFileName) { Files << fullFileName; }

QString TMakeListForm::SelectedList() const {
    return lstLists->currentItem() ? lstLists->currentItem()->text() : QString();
}

void TMakeListForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    Folder = Paths.WritableDataFolder + "Lists/";
    if (!QFileInfo(Folder).isDir()) {
        if (!QDir().mkpath(Folder)) Dialogs.Error(this, "Unable to create a directory!");
        // A DATA folder of the user's own starts with the lists shipped with the program.
        const QString shipped = Paths.DataFolder + "Lists/";
        if (shipped != Folder)
            for (const QString& list : QDir(shipped).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QDir().mkpath(Folder + list);
                for (const QString& name : QDir(shipped + list).entryList(QDir::Files))
                    QFile::copy(shipped + list + "/" + name, Folder + list + "/" + name);
            }
    }
    Output.SelectMode(velmar::kModeMakeList);
    if (edtFileName->text().isEmpty()) edtFileName->setText(QDir::toNativeSeparators(QDir::homePath() + "/list.html"));
    FillLists(QString());
    FollowListExtension();
    FillFormats();
    StatusPanels[0]->setText(QString("%1 file(s)").arg(Files.size()));
}

void TMakeListForm::FillLists(const QString& select) {
    const QSignalBlocker block(lstLists);
    lstLists->clear();
    for (const std::string& name : velmar::ListNames(ToPath(Folder))) lstLists->addItem(FromUtf8(name));
    const QList<QListWidgetItem*> found = lstLists->findItems(select, Qt::MatchExactly);
    lstLists->setCurrentRow(lstLists->count() == 0 ? -1 : found.isEmpty() ? 0 : lstLists->row(found.first()));
    LoadSelectedList();
}

void TMakeListForm::FillFormats() {
    const QSignalBlocker block(lstFormats);
    lstFormats->clear();
    lstFormats->addItems(Output.FormatNames());
    const int stored = Output.StoredChoice();
    lstFormats->setCurrentRow(lstFormats->count() == 0 ? -1 : stored >= 0 && stored < lstFormats->count() ? stored : 0);
    btnEditFormat->setEnabled(lstFormats->count() > 0);
    btnDeleteFormat->setEnabled(lstFormats->count() > 0);
}

void TMakeListForm::LoadSelectedList() {
    ShownList = SelectedList();
    const bool any = !ShownList.isEmpty();
    const velmar::TListTemplates list =
        any ? velmar::LoadList(ToPath(Folder), ShownList.toStdString()) : velmar::TListTemplates{};
    Show(memTop, list.Top);
    Show(memMain, list.Main);
    Show(memEnd, list.End);
    for (QWidget* w : std::initializer_list<QWidget*>{btnSave, btnDeleteList, btnRenameList, Pages}) w->setEnabled(any);
    btnMakeList->setEnabled(any && !Files.isEmpty());
    Modified = false;
}

void TMakeListForm::FollowListExtension() {
    // The report's kind goes by its extension: a name made for another list takes this one's.
    const velmar::TListTemplates shown{Lines(memTop), {}, {}};
    const std::string extension = velmar::ListExtension(ShownList.toStdString(), shown);
    edtFileName->setText(FromUtf8(velmar::WithListExtension(edtFileName->text().toStdString(), extension)));
}

void TMakeListForm::SaveList() {
    if (ShownList.isEmpty()) return;
    TBoxSink sink(Dialogs, this);
    if (velmar::SaveList(ToPath(Folder), ShownList.toStdString(), {Lines(memTop), Lines(memMain), Lines(memEnd)}, sink))
        Modified = false;
}

void TMakeListForm::AskToSave() {
    if (Modified && !ShownList.isEmpty() && Dialogs.AskYesNo(this, "Save changes made to " + ShownList + "?"))
        SaveList();
    Modified = false;
}

void TMakeListForm::AddList() {
    AskToSave();
    const auto name = Dialogs.Input(this, "New List", "Enter name of the new list", QString());
    if (!name || name->isEmpty()) return;
    if (!velmar::IsFormatName(name->toStdString())) {
        Dialogs.Error(this, "\"" + *name + "\" cannot name a list: it holds a path separator or begins with \".\".");
        return;
    }
    if (QFileInfo::exists(Folder + *name)) {
        Dialogs.Error(this, "Listname already exists!");
        return;
    }
    if (!QDir().mkdir(Folder + *name)) {
        Dialogs.Error(this, "Unable to create directory!");
        return;
    }
    FillLists(*name);
    if (lstFormats->count() > 0) lstFormats->setCurrentRow(0);
    edtFileName->setText(QDir::toNativeSeparators(QDir::homePath() + "/list.txt"));
}

void TMakeListForm::RenameList() {
    const QString old = SelectedList();
    if (old.isEmpty()) return;
    const auto name = Dialogs.Input(this, "Rename", "Enter new name of the new list", old);
    if (!name || *name == old) return;
    // Never over another list.
    if (!velmar::IsFormatName(name->toStdString()) ||
        !velmar::MoveWithoutReplacing(ToPath(Folder + old), ToPath(Folder + *name)).empty()) {
        Dialogs.Error(this, "Error renaming directory!");
        return;
    }
    ShownList = *name;
    const QSignalBlocker block(lstLists);
    lstLists->currentItem()->setText(*name);
}

void TMakeListForm::DeleteList() {
    const QString name = SelectedList();
    if (name.isEmpty() || !Dialogs.AskYesNo(this, "Delete " + name + "?")) return;
    QDir folder(Folder + name);
    for (const char* file : {"top.txt", "end.txt", "main.txt"}) folder.remove(file);
    if (!QDir(Folder).rmdir(name))
        Dialogs.Error(this, "Cannot remove the directory: " + QDir::toNativeSeparators(folder.path()));
    Modified = false;
    const QSignalBlocker block(lstLists);
    delete lstLists->currentItem();
    LoadSelectedList();
}

void TMakeListForm::Browse() {
    const QString file = Dialogs.SaveFile(
        this, "Save List As", QFileInfo(QDir::fromNativeSeparators(edtFileName->text())).absolutePath(),
        "HTML File (*.html, *.htm)|*.htm;*.html|Text File (*.txt)|*.txt|All Files (*.*)|*.*", "html");
    if (!file.isEmpty()) edtFileName->setText(QDir::toNativeSeparators(file));
}

void TMakeListForm::MakeList() {
    if (ShownList.isEmpty() || Files.isEmpty()) return;
    const QString target = QDir::fromNativeSeparators(edtFileName->text().trimmed());
    if (target.isEmpty()) {
        Dialogs.Error(this, "Please enter the name of the file to write.");
        return;
    }
    velmar::TTags format;
    if (QListWidgetItem* item = lstFormats->currentItem()) {
        Output.SetExpansionMode(velmar::kModeMakeList);
        if (Output.LoadFormat(item->text())) format = Output.Format;
    }
    std::vector<std::filesystem::path> files;
    for (const QString& f : Files) files.push_back(ToPath(f));
    TGatherSink sink;
    bool written = false;
    {
        TProgress progress(this, "Making the list...", int(files.size()));
        written = velmar::MakeList({Lines(memTop), Lines(memMain), Lines(memEnd)}, files, format, ToPath(target), sink,
                                   [&progress](size_t done) { return progress.Step(int(done)); });
    }
    sink.Errors.Show(Dialogs, this);
    StatusPanels[1]->setText(written ? "List written to " + QDir::toNativeSeparators(target) : QString());
}

void TMakeListForm::done(int result) {
    AskToSave();
    QDialog::done(result);
}

}  // namespace velmar::gui
