#include "filename2tagwizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/changes.h"
#include "app/comboboxdb.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "batch/outputform.h"
#include "change/apply.h"
#include "tags/ID3v1obj.h"

namespace velmar::gui {

namespace {

const char* const kPrefs = "Preferences";
constexpr int kPageCount = 4;

QString FolderOf(const QString& file) { return QDir::cleanPath(QFileInfo(file).absolutePath()); }
// The name the mask splits: without folder and without the file's own extension.
QString NameOf(const QString& file) { return QFileInfo(file).completeBaseName(); }

}  // namespace

TFilename2TagWizardForm::TFilename2TagWizardForm(const TAppPaths& paths, TOutputForm& output, TRegisterComp& store,
                                                 TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), Paths(paths), Output(output), Store(store), Dialogs(dialogs) {
    setWindowTitle("Filename To Tag Wizard");
    setProperty("helpTopic", "Filename_To_Tag_Wizard");
    Pages = new QStackedWidget(this);
    Pages->addWidget(CreateWelcomePage());
    Pages->addWidget(CreateFilesPage());
    Pages->addWidget(CreateCommonPage());
    Pages->addWidget(CreateFormatsPage());
    CreateButtons();
    Connect();
    ConnectFormatButtons();
    resize(640, 520);
}

QWidget* TFilename2TagWizardForm::CreateWelcomePage() {
    auto* page = new QWidget(this);
    auto* text = new QLabel(
        "<h3>Filename To Tag Wizard</h3>"
        "<p>This wizard writes new tags into the selected files from their file names.</p>"
        "<p>Each file name is split by a format such as <b>%10 - %00 - %01</b> (track, artist, title) "
        "into artist, title, sub-title, remix, comment, album and track number. Values that are the same "
        "for all files (artist, album, genre, year, CD, copyright, encoder) are entered once.</p>"
        "<p><b>Save ID3v1</b> and <b>Save ID3v2</b> choose the tags the values go into; a tag not "
        "chosen stays as it is. <b>Generate Track numbers</b> numbers the files in the order of the next "
        "page. <b>Case Convert</b> writes the first letter of every word taken from a name in upper case.</p>"
        "<p>Only what a name or the shared values bring is written: every other value of a file stays. "
        "A file whose name does not fit its format is left as it is.</p>",
        page);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(text, 1);
    return page;
}

QWidget* TFilename2TagWizardForm::CreateFilesPage() {
    auto* page = new QWidget(this);
    edtFolder = new QLineEdit(page);
    edtFolder->setReadOnly(true);
    lstFiles = new QListWidget(page);
    btnUp = new QToolButton(page);
    btnDown = new QToolButton(page);
    btnUp->setArrowType(Qt::UpArrow);
    btnDown->setArrowType(Qt::DownArrow);
    btnUp->setToolTip("Move the selected file up");
    btnDown->setToolTip("Move the selected file down");
    auto* arrows = new QVBoxLayout;
    arrows->addWidget(btnUp);
    arrows->addWidget(btnDown);
    arrows->addStretch(1);
    auto* list = new QHBoxLayout;
    list->addWidget(lstFiles, 1);
    list->addLayout(arrows);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel("The files in the order of their track numbers, in the folder:", page));
    layout->addWidget(edtFolder);
    layout->addLayout(list, 1);
    return page;
}

QWidget* TFilename2TagWizardForm::CreateCommonPage() {
    auto* page = new QWidget(this);
    auto history = [this, page](const char* frame) {
        auto* box = new TComboBoxDB(page);
        box->setObjectName(QString("db") + frame);
        box->SetDBFile(Paths.WritableDataFolder + "DB/db" + frame + ".db");
        return box;
    };
    chkSameArtist = new QCheckBox("Same &Artist/Group", page);
    dbTPE1 = history("TPE1");
    dbTALB = history("TALB");
    dbTCOP = history("TCOP");
    dbTENC = history("TENC");
    dbTSSE = history("TSSE");
    cmbGenre = new QComboBox(page);
    QStringList genres;
    for (const std::string& name : velmar::GenreTable()) genres << FromUtf8(name);
    std::sort(genres.begin(), genres.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    cmbGenre->addItem(QString());
    cmbGenre->addItems(genres);
    chkIncludeYear = new QCheckBox("Include &Year", page);
    spnYear = new QSpinBox(page);
    spnYear->setRange(0, 9999);
    chkIncludeCD = new QCheckBox("Include &CD", page);
    spnCD = new QSpinBox(page);
    spnCDTotal = new QSpinBox(page);
    for (QSpinBox* s : {spnCD, spnCDTotal}) s->setRange(1, 99);
    auto* cd = new QHBoxLayout;
    cd->addWidget(spnCD);
    cd->addWidget(new QLabel("of", page));
    cd->addWidget(spnCDTotal);
    cd->addStretch(1);

    auto* intro =
        new QLabel("On this page you enter any information that is the same for all the files in the list.", page);
    intro->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow(chkSameArtist, dbTPE1);
    form->addRow("Al&bum", dbTALB);
    form->addRow("&Genre", cmbGenre);
    form->addRow("Co&pyright", dbTCOP);
    form->addRow("&Encoded by", dbTENC);
    form->addRow("Encoded &using", dbTSSE);
    form->addRow(chkIncludeYear, spnYear);
    form->addRow(chkIncludeCD, cd);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addStretch(1);
    return page;
}

QWidget* TFilename2TagWizardForm::CreatePreviewBox(QWidget* parent) {
    auto* box = new QGroupBox("Preview", parent);
    auto* form = new QFormLayout(box);
    form->setVerticalSpacing(2);
    const char* const captions[pfCount] = {
        "Artist:", "Title:", "Sub-Title:", "Remix:",      "Comment:",       "Album:",    "Genre:",
        "Track:",  "Year:",  "CD:",        "Encoded by:", "Encoded using:", "Copyright:"};
    for (int k = 0; k < pfCount; ++k) {
        Preview[k] = new QLabel(box);
        Preview[k]->setTextFormat(Qt::PlainText);
        Preview[k]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(captions[k], Preview[k]);
    }
    return box;
}

QWidget* TFilename2TagWizardForm::CreateFormatsPage() {
    auto* page = new QWidget(this);
    edtFileName = new QLineEdit(page);
    edtFileName->setReadOnly(true);
    btnBack = new QPushButton("&Back", page);
    btnForward = new QPushButton("&Forward", page);
    lblPreviewing = new QLabel(page);
    Position = new QProgressBar(page);
    Position->setTextVisible(false);
    Position->setMaximumHeight(8);
    lstFormats = new QListWidget(page);
    auto tool = [page](const QString& caption) {
        auto* b = new QToolButton(page);
        b->setText(caption);
        return b;
    };
    btnNewFormat = tool("New");
    btnEditFormat = tool("Edit");
    btnRenameFormat = tool("Rename");
    btnDeleteFormat = tool("Delete");
    btnTagHelp = new QPushButton("Tag Help", page);
    btnAssignAll = new QPushButton("Assign to &All", page);
    lstPlan = new QTreeWidget(page);
    lstPlan->setHeaderLabels({"File", "Format", "Fits"});
    lstPlan->setRootIsDecorated(false);
    lstPlan->setUniformRowHeights(true);
    lstPlan->header()->setStretchLastSection(false);
    lstPlan->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column : {1, 2}) lstPlan->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    lstPlan->setToolTip("Every file with the format its name is split by; a file that does not fit is left as it is");
    edtMask = new QLineEdit(page);
    edtMask->setMaxLength(int(velmar::kMaxMaskLength));
    edtMask->setAutoFillBackground(true);
    lblMaskPreview = new QLabel(page);
    lblMaskPreview->setTextFormat(Qt::PlainText);

    auto* stepping = new QHBoxLayout;
    stepping->addWidget(btnBack);
    stepping->addWidget(btnForward);
    stepping->addWidget(lblPreviewing, 1);
    auto* formatButtons = new QHBoxLayout;
    for (QToolButton* b : {btnNewFormat, btnEditFormat, btnRenameFormat, btnDeleteFormat}) formatButtons->addWidget(b);
    formatButtons->addStretch(1);
    auto* formats = new QVBoxLayout;
    formats->addWidget(new QLabel("Formats", page));
    formats->addWidget(lstFormats, 1);
    formats->addLayout(formatButtons);
    formats->addWidget(btnTagHelp);
    auto* body = new QHBoxLayout;
    body->addLayout(formats, 2);
    body->addWidget(CreatePreviewBox(page), 3);
    auto* mask = new QHBoxLayout;
    mask->addWidget(edtMask, 1);
    mask->addWidget(btnAssignAll);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(edtFileName);
    layout->addLayout(stepping);
    layout->addWidget(Position);
    layout->addLayout(body, 1);
    layout->addWidget(lstPlan, 1);
    layout->addWidget(new QLabel("Filename format", page));
    layout->addLayout(mask);
    layout->addWidget(lblMaskPreview);
    return page;
}

void TFilename2TagWizardForm::CreateButtons() {
    lblPage = new QLabel(this);
    QFont bold = lblPage->font();
    bold.setBold(true);
    lblPage->setFont(bold);
    chkSaveID3v1 = new QCheckBox("Save ID3v&1", this);
    chkSaveID3v2 = new QCheckBox("Save ID3v&2", this);
    chkGenerateTrack = new QCheckBox("Generate &Track numbers", this);
    chkGenerateTrack->setToolTip("Use this function only if the Track numbers doesn't exist in the filename's");
    chkCaseConvert = new QCheckBox("&Case Convert", this);
    btnPrevious = new QPushButton("< &Previous", this);
    btnNext = new QPushButton("&Next >", this);
    btnCancel = new QPushButton("&Cancel", this);
    btnHelp = new QPushButton("&Help!", this);
    btnNext->setDefault(true);

    auto* checks = new QHBoxLayout;
    for (QCheckBox* c : {chkSaveID3v1, chkSaveID3v2, chkGenerateTrack, chkCaseConvert}) checks->addWidget(c);
    checks->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnHelp);
    buttons->addStretch(1);
    for (QPushButton* b : {btnPrevious, btnNext, btnCancel}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPage);
    layout->addWidget(Pages, 1);
    layout->addLayout(checks);
    layout->addLayout(buttons);
}

void TFilename2TagWizardForm::Connect() {
    connect(btnNext, &QPushButton::clicked, this, [this] {
        if (Page() == kPageCount - 1)
            Finish();
        else
            GoToPage(Page() + 1);
    });
    connect(btnPrevious, &QPushButton::clicked, this, [this] { GoToPage(Page() - 1); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnHelp, &QPushButton::clicked, this, [this] {
        if (ShowHelp) ShowHelp("Filename_To_Tag_Wizard");
    });
    const std::pair<QCheckBox*, const char*> stored[] = {{chkCaseConvert, "Filename To Tag Case Convert"},
                                                         {chkSaveID3v1, "Filename To Tag SaveID3v1"},
                                                         {chkSaveID3v2, "Filename To Tag SaveID3v2"}};
    for (const auto& entry : stored)
        connect(entry.first, &QCheckBox::toggled, this, [this, name = entry.second](bool on) {
            Store.WriteBool(kPrefs, name, on);
            MatchCurrent();
        });
    connect(chkGenerateTrack, &QCheckBox::toggled, this, &TFilename2TagWizardForm::MatchCurrent);
    connect(chkSameArtist, &QCheckBox::toggled, dbTPE1, &QWidget::setEnabled);
    connect(chkIncludeYear, &QCheckBox::toggled, spnYear, &QWidget::setEnabled);
    connect(chkIncludeCD, &QCheckBox::toggled, spnCD, &QWidget::setEnabled);
    connect(chkIncludeCD, &QCheckBox::toggled, spnCDTotal, &QWidget::setEnabled);
    auto keepDiscInTotal = [this] {
        if (spnCD->value() > spnCDTotal->value()) spnCD->setValue(spnCDTotal->value());
    };
    connect(spnCD, &QSpinBox::valueChanged, this, keepDiscInTotal);
    connect(spnCDTotal, &QSpinBox::valueChanged, this, keepDiscInTotal);
    connect(btnUp, &QToolButton::clicked, this, [this] { MoveFile(-1); });
    connect(btnDown, &QToolButton::clicked, this, [this] { MoveFile(1); });
    connect(btnBack, &QPushButton::clicked, this, [this] { StepFile(-1); });
    connect(btnForward, &QPushButton::clicked, this, [this] { StepFile(1); });
    connect(edtMask, &QLineEdit::textChanged, this, &TFilename2TagWizardForm::MatchCurrent);
    connect(btnAssignAll, &QPushButton::clicked, this, [this] {
        Masks.fill(edtMask->text());
        ShowPlan();
    });
    connect(lstPlan, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { StepFile(lstPlan->indexOfTopLevelItem(item) + 1 - Current); });
    connect(lstFormats, &QListWidget::currentRowChanged, this, &TFilename2TagWizardForm::FormatChosen);
}

void TFilename2TagWizardForm::ConnectFormatButtons() {
    connect(btnTagHelp, &QPushButton::clicked, this, [this] { Output.ShowTagHelp(this); });
    connect(btnNewFormat, &QToolButton::clicked, this, [this] {
        if (!Output.NewFormat(this)) return;
        Output.Edit(this);
        FillFormats(false);
    });
    connect(btnEditFormat, &QToolButton::clicked, this, [this] {
        if (lstFormats->currentRow() < 0) return;  // no format is the mask of the file shown
        Output.StoreChoice(lstFormats->currentRow());
        Output.LoadFormat(lstFormats->currentItem()->text());
        Output.Edit(this);
        FillFormats(false);
    });
    connect(btnRenameFormat, &QToolButton::clicked, this, [this] {
        QListWidgetItem* item = lstFormats->currentItem();
        if (!item) return;
        const QString now = Output.RenameFormat(item->text(), this);
        if (now != item->text()) FillFormats(false);
    });
    connect(btnDeleteFormat, &QToolButton::clicked, this, [this] {
        if (lstFormats->currentItem() && Output.DeleteFormat(lstFormats->currentItem()->text(), this))
            FillFormats(false);
    });
}

void TFilename2TagWizardForm::SetWizardFolder(const QString& folder) {
    FileList.clear();
    Folder = QDir::cleanPath(folder);
}

bool TFilename2TagWizardForm::AddWizardFile(const QString& fullFileName) {
    if (FolderOf(fullFileName) != Folder) return false;
    FileList << fullFileName;
    return true;
}

void TFilename2TagWizardForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) Reset();
}

void TFilename2TagWizardForm::Reset() {
    edtFolder->setText(QDir::toNativeSeparators(Folder + "/"));
    lstFiles->clear();
    for (const QString& f : FileList) lstFiles->addItem(QFileInfo(f).fileName());
    Masks = QStringList(FileList.size() + 1, QString());
    Current = 1;
    Position->setRange(0, int(FileList.size()));
    chkCaseConvert->setChecked(Store.ReadBool(kPrefs, "Filename To Tag Case Convert", true));
    chkSaveID3v1->setChecked(Store.ReadBool(kPrefs, "Filename To Tag SaveID3v1", true));
    chkSaveID3v2->setChecked(Store.ReadBool(kPrefs, "Filename To Tag SaveID3v2", true));
    chkGenerateTrack->setChecked(false);
    chkSameArtist->setChecked(false);
    chkIncludeYear->setChecked(false);
    chkIncludeCD->setChecked(false);
    spnYear->setValue(1999);
    spnCD->setValue(1);
    spnCDTotal->setValue(1);
    for (QWidget* w : std::initializer_list<QWidget*>{dbTPE1, spnYear, spnCD, spnCDTotal}) w->setEnabled(false);
    for (QLabel* label : Preview) label->clear();
    btnHelp->setEnabled(bool(ShowHelp));
    Output.SelectMode(velmar::kModeFilenameToTag);
    FillFormats(true);
    StepFile(0);
    GoToPage(0);
}

int TFilename2TagWizardForm::Page() const { return Pages->currentIndex(); }

void TFilename2TagWizardForm::GoToPage(int page) {
    page = std::clamp(page, 0, kPageCount - 1);
    Pages->setCurrentIndex(page);
    lblPage->setText(QString("Page %1 Of %2").arg(page + 1).arg(kPageCount));
    btnPrevious->setEnabled(page > 0);
    btnNext->setEnabled(!FileList.isEmpty());
    btnNext->setText(page == kPageCount - 1 ? "&Finish" : "&Next >");
    if (page == kPageCount - 1) MatchCurrent();
}

void TFilename2TagWizardForm::FillFormats(bool assignToAll) {
    const QSignalBlocker block(lstFormats);
    lstFormats->clear();
    lstFormats->addItems(Output.FormatNames());
    FormatMasks.clear();
    for (int row = 0; row < lstFormats->count(); ++row)
        FormatMasks << (Output.LoadFormat(lstFormats->item(row)->text()) ? QString::fromStdString(Output.Format.User)
                                                                         : QString());
    const bool any = lstFormats->count() > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{btnEditFormat, btnRenameFormat, btnDeleteFormat})
        w->setEnabled(any);
    if (!any) return;
    const int stored = Output.StoredChoice();
    const int row = stored >= 0 && stored < lstFormats->count() ? stored : 0;
    lstFormats->setCurrentRow(row);
    if (Output.LoadFormat(lstFormats->item(row)->text())) edtMask->setText(QString::fromStdString(Output.Format.User));
    if (assignToAll) Masks.fill(edtMask->text());
}

void TFilename2TagWizardForm::FormatChosen(int row) {
    if (row < 0) return;
    Output.StoreChoice(row);
    if (Output.LoadFormat(lstFormats->item(row)->text())) edtMask->setText(QString::fromStdString(Output.Format.User));
}

void TFilename2TagWizardForm::MoveFile(int step) {
    const int row = lstFiles->currentRow();
    const int other = row + step;
    if (row < 0 || other < 0 || other >= FileList.size()) return;
    FileList.swapItemsAt(row, other);
    QListWidgetItem* item = lstFiles->takeItem(row);
    lstFiles->insertItem(other, item);
    lstFiles->setCurrentRow(other);
}

void TFilename2TagWizardForm::StepFile(int step) {
    const int n = int(FileList.size());
    if (Current >= 1 && Current < Masks.size()) Masks[Current] = edtMask->text();
    Current = step == 0 ? 1 : std::clamp(Current + step, 1, std::max(1, n));
    lblPreviewing->setText(QString("Previewing file %1 of %2").arg(Current).arg(n));
    btnForward->setEnabled(Current < n);
    btnBack->setEnabled(Current >= 2);
    Position->setValue(Current);
    edtFileName->setText(n > 0 ? QFileInfo(FileList[Current - 1]).fileName() : QString());
    const QSignalBlocker block(edtMask);
    if (Current < Masks.size()) edtMask->setText(Masks[Current]);
    MatchCurrent();
}

velmar::TCommonValues TFilename2TagWizardForm::Common() const {
    velmar::TCommonValues common;
    if (chkSameArtist->isChecked()) common.Artist = dbTPE1->Text().toStdString();
    common.Album = dbTALB->Text().toStdString();
    common.Genre = cmbGenre->currentText().toStdString();
    common.Copyright = dbTCOP->Text().toStdString();
    common.EncodedBy = dbTENC->Text().toStdString();
    common.EncodedUsing = dbTSSE->Text().toStdString();
    if (chkIncludeYear->isChecked()) common.Year = spnYear->value();
    if (chkIncludeCD->isChecked()) common.Disc = std::pair(spnCD->value(), spnCDTotal->value());
    return common;
}

velmar::TFillOptions TFilename2TagWizardForm::Options() const {
    return {chkCaseConvert->isChecked(), chkGenerateTrack->isChecked(), chkSaveID3v1->isChecked(),
            chkSaveID3v2->isChecked()};
}

velmar::TFillValues TFilename2TagWizardForm::ValuesFor(int position) const {
    const QString mask = position == Current ? edtMask->text() : Masks.value(position);
    return velmar::FillValuesFor(NameOf(FileList.value(position - 1)).toStdString(), mask.toStdString(), position,
                                 Common(), Options());
}

void TFilename2TagWizardForm::MatchCurrent() {
    lblMaskPreview->setText(Output.PreviewMask(edtMask->text()));
    if (FileList.isEmpty()) return;
    const velmar::TFillValues v = ValuesFor(Current);
    QPalette palette = edtMask->palette();
    palette.setColor(QPalette::Base, v.Matched ? QColor(144, 238, 144) : QColor(255, 140, 140));
    palette.setColor(QPalette::Text, Qt::black);
    edtMask->setPalette(palette);
    const std::string* texts[pfCount] = {&v.Artist,    &v.Title,        &v.SubTitle, &v.Remix, &v.Comment,
                                         &v.Album,     &v.Genre,        &v.Track,    &v.Year,  &v.CD,
                                         &v.EncodedBy, &v.EncodedUsing, &v.Copyright};
    for (int k = 0; k < pfCount; ++k) Preview[k]->setText(FromUtf8(*texts[k]));
    // The format list marks the format of the mask the file shown uses, or none.
    const QSignalBlocker block(lstFormats);
    const int format = int(FormatMasks.indexOf(edtMask->text()));
    lstFormats->setCurrentRow(format);
    if (format < 0) lstFormats->clearSelection();
    ShowPlan();
}

void TFilename2TagWizardForm::ShowPlan() {
    const int n = int(FileList.size());
    if (lstPlan->topLevelItemCount() != n) {
        lstPlan->clear();
        for (int i = 0; i < n; ++i) lstPlan->addTopLevelItem(new QTreeWidgetItem);
    }
    for (int position = 1; position <= n; ++position) {
        QTreeWidgetItem* item = lstPlan->topLevelItem(position - 1);
        const bool fits = ValuesFor(position).Matched;
        item->setText(0, QFileInfo(FileList[position - 1]).fileName());
        item->setText(1, position == Current ? edtMask->text() : Masks.value(position));
        item->setText(2, fits ? "yes" : "no: left as it is");
        item->setForeground(2, fits ? palette().text() : QBrush(QColor(192, 0, 0)));
    }
    if (Current >= 1 && Current <= n) lstPlan->setCurrentItem(lstPlan->topLevelItem(Current - 1));
}

void TFilename2TagWizardForm::Finish() {
    StepFile(0);
    const int n = int(FileList.size());
    std::vector<velmar::TFillValues> values;
    for (int position = 1; position <= n; ++position) values.push_back(ValuesFor(position));
    const auto unfit = std::count_if(values.begin(), values.end(), [](const auto& v) { return !v.Matched; });
    if (!Dialogs.AskYesNo(this, QString("%1 file(s) will be written, %2 left as they are (name does not fit its mask).")
                                    .arg(n - unfit)
                                    .arg(unfit)))
        return;
    const velmar::TCommonValues common = Common();
    const velmar::TFillOptions options = Options();
    TBatchErrors errors;
    velmar::TFileChange change{"Filename To Tag", "Fill tags from names", {}, {}};
    std::map<std::filesystem::path, size_t> position;  // each file's values
    for (int i = 0; i < n; ++i) {
        if (!values[size_t(i)].Matched) {
            errors.Add(FileList[i], "Left as it is: the name does not fit its mask.");
            continue;
        }
        position.emplace(ToPath(FileList[i]), size_t(i));
        change.Files.push_back(ToPath(FileList[i]));
    }
    change.Write = [&](const std::filesystem::path& file, velmar::TMessageSink& sink) {
        return velmar::WriteFillValues(file, values[position.at(file)], n, common, options, sink);
    };
    {
        TChangeScope recorded(Changes, "Filename To Tag", "Fill tags from names", Dialogs, this);
        TProgress progress(this, "Writing tags...", int(change.Files.size()));
        velmar::ApplyChange(change, {nullptr, nullptr, [&](size_t i, const velmar::TFileOutcome& outcome) {
                                         const QString file = FromPath(change.Files[i]);
                                         for (const std::string& m : outcome.Messages) errors.Add(file, FromUtf8(m));
                                         if (!outcome.Written && outcome.Messages.empty())
                                             errors.Add(file, "The tags could not be written.");
                                         return progress.Step(int(i + 1));
                                     }});
    }
    errors.Show(Dialogs, this);
    accept();
}

}  // namespace velmar::gui
