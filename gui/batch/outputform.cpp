#include "outputform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "batch/rename.h"
#include "batch/taghelpform.h"

namespace velmar::gui {

namespace {

const char* const kPrefs = "Preferences";

QString TokenText(int n) { return QString("%%1").arg(n, 2, 10, QChar('0')); }

// A sink that shows each message at once, over the editor while it is shown.
class TFormSink : public velmar::TMessageSink {
public:
    TFormSink(TDialogs& dialogs, QWidget& form) : Dialogs(dialogs), Form(form) {}
    void Error(const std::string& text) override {
        Dialogs.Error(Form.isVisible() ? &Form : Form.parentWidget(), FromUtf8(text));
    }

private:
    TDialogs& Dialogs;
    QWidget& Form;
};

}  // namespace

TOutputForm::TOutputForm(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), Paths(paths), Store(store), Dialogs(dialogs) {
    BoxSink = std::make_unique<TFormSink>(Dialogs, *this);
    setProperty("helpTopic", "Output_Formats");
    CreateControls();
}

TOutputForm::~TOutputForm() = default;

velmar::TMessageSink& TOutputForm::Messages() { return *BoxSink; }

void TOutputForm::CreateControls() {
    auto* formats = new QGroupBox("Output formats", this);
    lstOutputs = new QListWidget(formats);
    auto tool = [formats](const QString& caption, const QString& tip) {
        auto* b = new QToolButton(formats);
        b->setText(caption);
        b->setToolTip(tip);
        return b;
    };
    btnNew = tool("New", "Create a new output format");
    btnRename = tool("Rename", "Rename the selected output format");
    btnDelete = tool("Delete", "Delete the selected output format");
    auto* formatButtons = new QHBoxLayout;
    for (QToolButton* b : {btnNew, btnRename, btnDelete}) formatButtons->addWidget(b);
    formatButtons->addStretch(1);
    auto* formatsLayout = new QVBoxLayout(formats);
    formatsLayout->addWidget(lstOutputs, 1);
    formatsLayout->addLayout(formatButtons);

    lblUser = new QLabel("User defined output", this);
    edtUser = new QLineEdit(this);
    edtUser->setMaxLength(int(velmar::kMaxMaskLength) + 1);  // one more, so that saving can say why
    lblUser->setBuddy(edtUser);
    lstTags = new QListWidget(this);
    for (const char* name : velmar::TokenTagNames()) lstTags->addItem(QString::fromUtf8(name));
    lstTags->setCurrentRow(0);
    edtPrefix = new QLineEdit(this);
    edtSuffix = new QLineEdit(this);
    btnAdd = new QPushButton("&Add", this);
    btnSave = new QPushButton("&Save", this);
    btnTagHelp = new QPushButton("&Tag Help", this);
    btnExit = new QPushButton("E&xit", this);
    btnAdd->setToolTip("Append the selected tag to the end of the format");

    auto* affixes = new QVBoxLayout;
    affixes->addWidget(new QLabel("Prefix", this));
    affixes->addWidget(edtPrefix);
    affixes->addWidget(new QLabel("Suffix", this));
    affixes->addWidget(edtSuffix);
    affixes->addStretch(1);
    auto* tags = new QHBoxLayout;
    tags->addWidget(lstTags, 1);
    tags->addLayout(affixes, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(lblUser);
    right->addWidget(edtUser);
    right->addWidget(new QLabel("Tag", this));
    right->addLayout(tags, 1);
    auto* body = new QHBoxLayout;
    body->addWidget(formats, 2);
    body->addLayout(right, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnTagHelp);
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnExit);

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    lblPreview = new QLabel(StatusBar);
    StatusBar->addWidget(lblPreview, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar);
    layout->setContentsMargins(8, 8, 8, 0);
    resize(560, 360);
    ConnectControls();
}

void TOutputForm::ConnectControls() {
    connect(lstOutputs, &QListWidget::currentRowChanged, this, &TOutputForm::FormatChosen);
    connect(lstTags, &QListWidget::currentRowChanged, this, &TOutputForm::ShowSelectedTag);
    connect(edtUser, &QLineEdit::textEdited, this, [this](const QString& text) {
        Format.User = text.toStdString();
        Modified = true;
        UpdatePreview();
    });
    for (QLineEdit* edit : {edtPrefix, edtSuffix})
        connect(edit, &QLineEdit::textEdited, this, [this, edit](const QString& text) {
            const int tag = lstTags->currentRow();
            if (tag < 0) return;
            auto& entry = Format.PreSuffix[size_t(tag)];
            (edit == edtPrefix ? entry.Prefix : entry.Suffix) = text.toStdString();
            Modified = true;
            UpdatePreview();
        });
    connect(btnAdd, &QPushButton::clicked, this, [this] {
        edtUser->setText(edtUser->text() + TokenText(std::max(0, lstTags->currentRow())));
        Format.User = edtUser->text().toStdString();
        Modified = true;
        UpdatePreview();
    });
    connect(btnSave, &QPushButton::clicked, this, &TOutputForm::Save);
    connect(btnTagHelp, &QPushButton::clicked, this, [this] { ShowTagHelp(this); });
    connect(btnExit, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnNew, &QToolButton::clicked, this, [this] {
        if (NewFormat(this)) RefreshControls();
    });
    connect(btnRename, &QToolButton::clicked, this, [this] {
        if (FormatName.isEmpty()) return;
        const QString old = FormatName;
        if (const QString now = RenameFormat(old, this); now != old) FillList(now);
    });
    connect(btnDelete, &QToolButton::clicked, this, [this] {
        if (!FormatName.isEmpty() && DeleteFormat(FormatName, this)) FillList(QString());
    });
}

bool TOutputForm::SelectMode(const QString& mode) {
    Mode = mode;
    if (mode.isEmpty()) {
        Dialogs.Error(parentWidget(), "Program error, no form selected!");
        return false;
    }
    FormatFolder = Paths.WritableDataFolder + "Outputs/" + mode + "/";
    if (!QFileInfo(FormatFolder).isDir()) {
        if (!QDir().mkpath(FormatFolder)) {
            Dialogs.Error(parentWidget(), "Unable to create the directory: " + QDir::toNativeSeparators(FormatFolder));
            if (isVisible()) reject();
            return false;
        }
        // A DATA folder of the user's own starts with the formats shipped with the program.
        const QString shipped = Paths.DataFolder + "Outputs/" + mode + "/";
        if (shipped != FormatFolder)
            for (const QString& name : QDir(shipped).entryList(QDir::Files))
                QFile::copy(shipped + name, FormatFolder + name);
    }
    setWindowTitle("Output Editor - " + mode);
    const bool fill = mode == velmar::kModeFilenameToTag;
    lblUser->setText(mode == velmar::kModeMakeList ? "Replace empty field with"
                     : fill                        ? "Filename format"
                                                   : "Rename format");
    edtPrefix->setEnabled(!fill);
    edtSuffix->setEnabled(!fill);
    FillList(QString());
    Modified = false;
    return true;
}

QStringList TOutputForm::FormatNames() const {
    QStringList names;
    for (const std::string& name : velmar::ListFormats(ToPath(FormatFolder))) names << FromUtf8(name);
    return names;
}

int TOutputForm::StoredChoice() const { return Store.ReadInteger(kPrefs, Mode + " Output", 0); }

void TOutputForm::StoreChoice(int index) { Store.WriteInteger(kPrefs, Mode + " Output", index); }

bool TOutputForm::LoadFormat(const QString& name) {
    Format.Clear();
    FormatName.clear();
    const auto loaded = velmar::LoadFormat(ToPath(FormatFolder), name.toStdString(), Messages());
    if (!loaded) return false;
    Format = *loaded;
    FormatName = name;
    return true;
}

bool TOutputForm::SaveFormat(const QString& name) {
    if (!QFileInfo(FormatFolder).isDir() && !QDir().mkpath(FormatFolder))
        Dialogs.Error(isVisible() ? this : parentWidget(),
                      "OutputForm: Unable to create the directory: " + QDir::toNativeSeparators(FormatFolder));
    return velmar::SaveFormat(ToPath(FormatFolder), name.toStdString(), Format, Messages());
}

bool TOutputForm::NewFormat(QWidget* parent) {
    const auto answer = Dialogs.Input(parent, "New List", "Enter name of the new output format", QString());
    if (!answer || answer->isEmpty()) return false;
    const QString& name = *answer;
    if (!velmar::IsFormatName(name.toStdString())) {
        Dialogs.Error(parent,
                      "\"" + name + "\" cannot name an output format: it holds a path separator or begins with \".\".");
        return false;
    }
    if (QFileInfo::exists(FormatFolder + name)) return false;
    Format.Clear();
    if (!SaveFormat(name)) return false;
    FillList(name);
    StoreChoice(int(FormatNames().indexOf(name)));
    return true;
}

bool TOutputForm::DeleteFormat(const QString& name, QWidget* parent) {
    if (!Dialogs.AskYesNo(parent, "Delete the Output \"" + name + "\"?")) return false;
    QFile file(FormatFolder + name);
    if (!file.remove()) {
        Dialogs.Error(parent,
                      "Cannot delete \"" + QDir::toNativeSeparators(file.fileName()) + "\": " + file.errorString());
        return false;
    }
    if (name == FormatName) {
        Format.Clear();
        FormatName.clear();
        Modified = false;
    }
    return true;
}

QString TOutputForm::RenameFormat(const QString& oldName, QWidget* parent) {
    const auto answer = Dialogs.Input(parent, "Rename Output", "Enter new name of the new list", oldName);
    if (!answer || *answer == oldName) return oldName;
    // Never over another format.
    if (!velmar::IsFormatName(answer->toStdString()) ||
        !velmar::MoveWithoutReplacing(ToPath(FormatFolder + oldName), ToPath(FormatFolder + *answer)).empty()) {
        Dialogs.Error(parent, "Error renaming Output Format!");
        return oldName;
    }
    if (FormatName == oldName) FormatName = *answer;
    return *answer;
}

int TOutputForm::Edit(QWidget* caller) {
    const int stored = StoredChoice();
    FillList(QString());
    if (stored > 0 && stored < lstOutputs->count()) {
        Filling = true;
        lstOutputs->setCurrentRow(stored);
        Filling = false;
        LoadFormat(lstOutputs->item(stored)->text());
        RefreshControls();
    }
    Modified = false;
    if (caller) move(caller->window()->frameGeometry().topLeft() + QPoint(24, 24));
    return Dialogs.Exec(*this);
}

void TOutputForm::FillList(const QString& select) {
    Filling = true;
    lstOutputs->clear();
    const QStringList names = FormatNames();
    lstOutputs->addItems(names);
    const int row = names.isEmpty() ? -1 : std::max(0, int(names.indexOf(select)));
    lstOutputs->setCurrentRow(row);
    Filling = false;
    Format.Clear();
    FormatName.clear();
    if (row >= 0) LoadFormat(names[row]);
    RefreshControls();
}

void TOutputForm::FormatChosen(int row) {
    if (Filling || row < 0) return;
    if (Modified && !FormatName.isEmpty()) {
        if (Dialogs.AskYesNo(this, "Save config " + FormatName + "?"))
            Save();
        else
            Modified = false;
    }
    LoadFormat(lstOutputs->item(row)->text());
    StoreChoice(row);
    RefreshControls();
}

void TOutputForm::RefreshControls() {
    const bool any = lstOutputs->count() > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{edtUser, lstOutputs, lstTags, btnAdd, btnSave, btnTagHelp,
                                                      btnDelete, btnRename})
        w->setEnabled(any);
    const bool fill = Mode == velmar::kModeFilenameToTag;
    edtPrefix->setEnabled(any && !fill);
    edtSuffix->setEnabled(any && !fill);
    edtUser->setText(any ? FromUtf8(Format.User) : QString());
    ShowSelectedTag();
}

void TOutputForm::ShowSelectedTag() {
    const int tag = lstTags->currentRow();
    edtPrefix->setText(tag >= 0 ? FromUtf8(Format.PreSuffix[size_t(tag)].Prefix) : QString());
    edtSuffix->setText(tag >= 0 ? FromUtf8(Format.PreSuffix[size_t(tag)].Suffix) : QString());
    UpdatePreview();
}

void TOutputForm::UpdatePreview() { lblPreview->setText(PreviewMask(edtUser->text())); }

QString TOutputForm::PreviewMask(const QString& mask) const {
    return FromUtf8(velmar::ExpandMask(mask.toStdString(), velmar::SampleValues(), Format, Mode.toStdString()));
}

bool TOutputForm::MatchFileName(const QString& name, const QString& mask) {
    velmar::TMatchResult result = velmar::MatchFileName(name.toStdString(), mask.toStdString());
    ParsedFields = std::move(result.Fields);
    return result.Success;
}

void TOutputForm::Save() {
    if (FormatName.isEmpty()) return;
    if (SaveFormat(FormatName)) Modified = false;
}

void TOutputForm::done(int result) {
    if (Modified && !FormatName.isEmpty() && Dialogs.AskYesNo(this, "Save config before exiting?")) Save();
    Modified = false;
    QDialog::done(result);
}

TTagHelpForm& TOutputForm::TagHelp() {
    if (!HelpForm) HelpForm = new TTagHelpForm(parentWidget() ? parentWidget() : this);
    return *HelpForm;
}

void TOutputForm::ShowTagHelp(QWidget* caller) { TagHelp().ShowBeside(caller); }

}  // namespace velmar::gui
