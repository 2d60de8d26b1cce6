#include "tageditorform.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/changes.h"
#include "app/comboboxdb.h"
#include "app/dialogs.h"
#include "batch/filltags.h"
#include "file/mp3object.h"
#include "tageditor/bpmform.h"
#include "tageditor/contents.h"

namespace velmar::gui {

namespace {

const char* const kPrefs = "Preferences";

struct TOption {
    QCheckBox* TTagEditorForm::*Box;
    const char* Caption;
    const char* Setting;
    bool Default;
};
constexpr TOption kOptions[] = {
    {&TTagEditorForm::chkSaveEnabled, "Save &Enabled", "ID3_SaveEnabled", true},
    {&TTagEditorForm::chkAutoIncTrack, "Auto &Inc Track", "ID3_AutoIncTrack", true},
    {&TTagEditorForm::chkCaseConvert, "Case &Convert", "ID3_CaseConvert", true},
    {&TTagEditorForm::chkSaveV1, "Save ID3 v&1.1", "ID3_SaveID3v11", false},
    {&TTagEditorForm::chkAutoPlay, "&Autoplay Song", "ID3_AutoPlaySong", false},
};

// "N" or "N/M" as the number and total spins show them.
void ShowNumberPair(const std::string& text, QSpinBox* number, QSpinBox* total) {
    const QStringList parts = FromUtf8(text).split('/');
    number->setValue(parts.value(0).trimmed().toInt());
    if (total) total->setValue(parts.size() > 1 ? parts[1].trimmed().toInt() : 0);
}

}  // namespace

TTagEditorForm::TTagEditorForm(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window),
      Paths(paths),
      Store(store),
      Dialogs(dialogs),
      Sink(std::make_unique<velmar::TCollectingSink>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Tag Editor");
    setProperty("helpTopic", "Tag_Editor");
    CreateFrame();
    resize(860, 600);
    // Escape closes the window as its close button does, with the question about unsaved changes.
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

TTagEditorForm::~TTagEditorForm() = default;

void TTagEditorForm::CreateFrame() {
    Pages = new QTabWidget(this);
    Pages->addTab(CreateMainPage(), "&Main");
    Pages->addTab(CreateTextsPage(), "More &Texts");
    Pages->addTab(CreateLinksPage(), "&Web Links");
    Pages->addTab(CreateCommentsPage(), "C&omments");
    Pages->addTab(CreateLyricsPage(), "&Lyrics");
    Pages->addTab(CreatePicturesPage(), "&Pictures");
    Pages->addTab(CreatePeoplePage(), "&Ratings && People");
    Pages->addTab(CreateV1Page(), "ID3v&1 && Lyrics3");
    Pages->addTab(CreateContentsPage(), "Co&ntents");

    lblCounter = new QLabel(this);
    Progress = new QProgressBar(this);
    Progress->setTextVisible(false);
    Progress->setMaximumHeight(10);
    btnPrevious = new QPushButton("&Previous", this);
    btnNext = new QPushButton("&Next", this);
    btnAll = new QPushButton("&All", this);
    btnSave = new QPushButton("&Save", this);
    auto* options = new QGridLayout;
    int column = 0;
    for (const TOption& o : kOptions) {
        this->*o.Box = new QCheckBox(o.Caption, this);
        (this->*o.Box)->setChecked(Store.ReadBool(kPrefs, o.Setting, o.Default));
        options->addWidget(this->*o.Box, 0, column++);
    }
    chkAutoPlay->setVisible(false);  // shown when there is a player to play with
    chkSaveV2 = new QCheckBox("Save ID3 v&2.3.0", this);
    chkSaveLyrics3 = new QCheckBox("Save Lyrics &3", this);
    options->addWidget(chkSaveV2, 1, 0);
    options->addWidget(chkSaveLyrics3, 1, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(lblCounter);
    top->addWidget(Progress, 1);
    for (QPushButton* b : {btnPrevious, btnNext, btnAll, btnSave}) top->addWidget(b);
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    for (int k = 0; k < 3; ++k) {
        StatusPanels[k] = new QLabel(status);
        status->addWidget(StatusPanels[k], k == 1 ? 1 : 0);
    }
    StatusPanels[0]->setMinimumWidth(120);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 0);
    layout->addLayout(top);
    layout->addWidget(Pages, 1);
    layout->addLayout(options);
    layout->addWidget(status);

    connect(btnNext, &QPushButton::clicked, this, &TTagEditorForm::btnNextFileClick);
    connect(btnPrevious, &QPushButton::clicked, this, &TTagEditorForm::btnPreviousFileClick);
    connect(btnAll, &QPushButton::clicked, this, &TTagEditorForm::btnAllFilesClick);
    connect(btnSave, &QPushButton::clicked, this, &TTagEditorForm::actSaveMP3Execute);
    connect(btnLaunchBPM, &QPushButton::clicked, this, [this] {
        TBPMForm counter(this);
        // Only "Ok" hands the tempo over; Escape or closing the counter changes nothing.
        if (Dialogs.Exec(counter) == QDialog::Accepted && counter.Result > 0) spnTBPM->setValue(counter.Result);
    });
    for (QCheckBox* c : {chkSaveV2, chkSaveLyrics3, chkSaveV1})
        connect(c, &QCheckBox::toggled, this, [this] {
            if (!Filling) SetChanged(true);
        });
    // What the user chooses for ID3v1 becomes the choice for files without one.
    SaveV1Preference = chkSaveV1->isChecked();
    connect(chkSaveV1, &QCheckBox::toggled, this, [this](bool checked) {
        if (Filling) return;
        SaveV1Preference = checked;
        SaveV1Chosen = true;
    });
}

void TTagEditorForm::AddFile(const QString& fullFileName, int row) {
    Files << fullFileName;
    Rows.push_back(row);
}

void TTagEditorForm::Start() {
    chkAutoPlay->setVisible(bool(PlayFile));
    Index = 0;
    Progress->setRange(0, int(Files.size()));
    LoadCurrent();
    const bool last = Files.size() <= 1;
    btnNext->setText(last ? "Do&ne" : "&Next");
    btnAll->setEnabled(!last);
    btnPrevious->setEnabled(false);
    show();
}

void TTagEditorForm::SetChanged(bool changed) {
    Changed = changed;
    StatusPanels[0]->setText(changed ? "Changed" : "Unchanged");
}

void TTagEditorForm::ReadFile() {
    Sink->Messages.clear();
    File = std::make_unique<velmar::TMP3Object>(*Sink);
    if (!File->LoadForChange(ToPath(Files.value(Index))))
        Dialogs.Error(this, FromUtf8(Sink->Messages.empty() ? "The file cannot be read." : Sink->Messages.back()));
    Read = Shown = ReadEditorFields(*File);
    // The older tags' values show where the ID3v2 tag has none; a save writes them as shown.
    velmar::FillFromOlderTags(*File, Shown);
    Edited = Shown;
    Touched.clear();
}

void TTagEditorForm::LoadCurrent() {
    const TEditorFields previous = Edited;
    const bool first = File == nullptr;
    const QString name = Files.value(Index);
    ReadFile();
    Filling = true;
    chkSaveV2->setChecked(true);
    chkSaveLyrics3->setChecked(File->Lyrics3().Present);
    // A file's own ID3v1 tag is kept; for a file without one the user's choice stands.
    chkSaveV1->setChecked(File->ID3v1().Present || SaveV1Preference);
    Filling = false;
    SetChanged(false);
    if (!first) ApplyLocks(previous);
    ReadOnlyMode = File->AttributeLetters.find('R') != std::string::npos && !OverrideReadOnly(Store);
    btnSave->setEnabled(!ReadOnlyMode);
    chkSaveEnabled->setEnabled(!ReadOnlyMode);
    if (ReadOnlyMode) chkSaveEnabled->setChecked(false);
    for (QTreeWidget* list : {lvComments, lvUserTexts, lvUserUrls, lvLyrics, lvPictures, lvRatings, lvPeople})
        list->setEnabled(!ReadOnlyMode);
    setWindowTitle(QFileInfo(name).fileName() + (ReadOnlyMode ? " (Read Only)" : QString()));
    StatusPanels[1]->setText(QDir::toNativeSeparators(name));
    StatusPanels[2]->setText(File->ID3v2().Present && !File->ID3v2().Valid
                                 ? "The ID3v2 tag is not understood: it is kept unless you change its values"
                                 : QString());
    lblCounter->setText(QString("Editing File %1 of %2 File(s)").arg(Index + 1).arg(Files.size()));
    Progress->setValue(Index + 1);
    ShowFields();
    FillContents();
    if (chkAutoPlay->isChecked() && PlayFile) PlayFile(name);
}

void TTagEditorForm::ApplyLocks(const TEditorFields& previous) {
    bool carried = false;
    for (auto it = Locks.begin(); it != Locks.end(); ++it) {
        if (!it.value()->isChecked()) continue;
        const std::string key = it.key().toStdString();
        if (key == "COMM" || key == "Comment") {
            carried = carried || !previous.Comments.empty();
            Edited.Comments = previous.Comments;
        } else if (key == "TXXX") {
            carried = carried || !previous.UserTexts.empty();
            Edited.UserTexts = previous.UserTexts;
        } else if (key == "WXXX") {
            carried = carried || !previous.UserUrls.empty();
            Edited.UserUrls = previous.UserUrls;
        } else if (key == "USLT") {
            carried = carried || !previous.Lyrics.empty();
            Edited.Lyrics = previous.Lyrics;
        } else if (key == "POPM") {
            carried = carried || !previous.Ratings.empty();
            Edited.Ratings = previous.Ratings;
        } else if (key == "IPLS") {
            carried = carried || !previous.People.empty();
            Edited.People = previous.People;
        } else {
            // An empty field has no value to carry: the file keeps its own.
            const std::string value = previous.Frame(key);
            if (value.empty()) continue;
            carried = true;
            Edited.SetFrame(key, value);
            if (!Touched.contains(it.key())) Touched << it.key();
        }
    }
    if (carried && !(Edited == Shown)) SetChanged(true);
}

void TTagEditorForm::ShowFields() {
    Filling = true;
    for (auto it = TextBoxes.begin(); it != TextBoxes.end(); ++it) {
        it.value()->SetText(FromUtf8(Edited.Frame(it.key().toStdString())));
        it.value()->lineEdit()->setCursorPosition(0);  // the start of a long text in view
    }
    spnTYER->setValue(FromUtf8(Edited.Frame("TYER")).left(4).toInt());
    ShowNumberPair(Edited.Frame("TRCK"), spnTRCK, spnTRCKTotal);
    ShowNumberPair(Edited.Frame("TPOS"), spnTPOS, spnTPOSTotal);
    spnTBPM->setValue(FromUtf8(Edited.Frame("TBPM")).toInt());
    cmbTCON->setEditText(FromUtf8(Edited.Frame("TCON")));
    QString comment;
    for (const TLangTextItem& c : Edited.Comments)
        if (c.Description.empty()) {
            comment = FromUtf8(c.Text);
            break;
        }
    edtComment->setText(comment);
    const std::string* v1[5] = {&Edited.V1.Title, &Edited.V1.Artist, &Edited.V1.Album, &Edited.V1.Year,
                                &Edited.V1.Comment};
    for (int k = 0; k < 5; ++k) edtV1[k]->setText(FromUtf8(*v1[k]));
    spnV1Track->setValue(Edited.V1.Track);
    cmbV1Genre->setCurrentIndex(std::max(0, cmbV1Genre->findText(FromUtf8(Edited.V1.Genre), Qt::MatchFixedString)));
    const std::string* l3[5] = {&Edited.Lyrics3.Info, &Edited.Lyrics3.Author, &Edited.Lyrics3.Album,
                                &Edited.Lyrics3.Artist, &Edited.Lyrics3.Title};
    for (int k = 0; k < 5; ++k) edtL3[k]->setText(FromUtf8(*l3[k]));
    memLyrics3->setPlainText(FromUtf8(Edited.Lyrics3.Lyrics));
    QStringList images;
    for (const std::string& line : Edited.Lyrics3.Images) images << FromUtf8(line);
    memL3Images->setPlainText(images.join('\n'));
    chkPlayCounter->setChecked(Edited.PlayCounter.has_value());
    spnPlayCounter->setValue(
        int(std::min<uint64_t>(Edited.PlayCounter.value_or(0), uint64_t(spnPlayCounter->maximum()))));
    spnPlayCounter->setEnabled(Edited.PlayCounter.has_value());
    Filling = false;
    ShowLists();
}

void TTagEditorForm::FillContents() { FillContentsTree(*tvContents, *File); }

bool TTagEditorForm::actSaveMP3Execute() {
    if (ReadOnlyMode || !File) return false;
    // Nothing was changed: the file stays as it is, byte for byte.
    if (!Changed) return true;
    // Texts the user changed, capitalised when asked (never links), and every text kept in its history.
    Filling = true;
    if (chkCaseConvert->isChecked())
        for (const QString& id : Touched) {
            if (id.startsWith('W') || !TextBoxes.contains(id)) continue;
            const std::string text = velmar::CapitalizeWords(Edited.Frame(id.toStdString()));
            Edited.SetFrame(id.toStdString(), text);
            TextBoxes[id]->SetText(FromUtf8(text));
        }
    for (auto it = TextBoxes.begin(); it != TextBoxes.end(); ++it)
        it.value()->AddHistory(FromUtf8(Edited.Frame(it.key().toStdString())));
    Filling = false;
    velmar::ApplyEditorFields(Read, Shown, Edited, *File);
    // A new ID3v1 tag takes the ID3v2 values, and the ID3v1 fields the user filled in.
    if (chkSaveV1->isChecked()) velmar::FillNewID3v1(*File, Edited.V1);
    Sink->Messages.clear();
    bool saved = false;
    {
        TChangeScope change(Changes, "Tag Editor", "Edit tags", Dialogs, this, &SessionChange);
        saved = File->SaveFile(ToPath(Files.value(Index)), chkSaveV2->isChecked(), chkSaveLyrics3->isChecked(),
                               chkSaveV1->isChecked());
    }
    if (!saved) {
        Dialogs.Error(this, FromUtf8(Sink->Messages.empty() ? "The file could not be saved." : Sink->Messages.back()));
        return false;
    }
    if (RowSaved && size_t(Index) < Rows.size()) RowSaved(Rows[size_t(Index)]);
    // The file as now written is what the controls show and further edits compare
    // with: read again, so that a tag the save has just made is read like any other.
    ReadFile();
    SetChanged(false);
    ShowFields();
    FillContents();
    return true;
}

bool TTagEditorForm::SaveIfWanted() {
    if (Changed && chkSaveEnabled->isChecked() && btnSave->isEnabled()) return actSaveMP3Execute();
    return true;
}

void TTagEditorForm::Step(int step) {
    const int track = spnTRCK->value();
    Index += step;
    LoadCurrent();
    // Only a file without a track number of its own (in either tag) takes the one before's, stepped.
    const bool ownTrack = !Read.Frame("TRCK").empty() || Read.V1.Track != 0;
    if (chkAutoIncTrack->isChecked() && !ownTrack && track + step > 0) spnTRCK->setValue(track + step);
}

void TTagEditorForm::btnNextFileClick() {
    if (!SaveIfWanted()) return;
    if (Index + 1 >= Files.size()) {
        SetChanged(false);
        close();
        return;
    }
    Step(1);
    const bool last = Index + 1 >= Files.size();
    btnNext->setText(last ? "Do&ne" : "&Next");
    btnAll->setEnabled(!last);
    btnPrevious->setEnabled(true);
}

void TTagEditorForm::btnPreviousFileClick() {
    if (Index == 0 || !SaveIfWanted()) return;
    Step(-1);
    btnPrevious->setEnabled(Index > 0);
    btnNext->setText("&Next");
    btnAll->setEnabled(true);
}

void TTagEditorForm::btnAllFilesClick() {
    while (Index + 1 < Files.size()) {
        SetChanged(true);
        if (!actSaveMP3Execute()) return;
        Step(1);
    }
    SetChanged(true);
    actSaveMP3Execute();
    btnNext->setText("Do&ne");
    btnNext->setEnabled(true);
    btnAll->setEnabled(false);
    btnPrevious->setEnabled(Index > 0);
}

void TTagEditorForm::WriteHistories() {
    QStringList errors;
    for (TComboBoxDB* box : TextBoxes)
        if (QString error; !box->SaveHistory(error)) errors << error;
    if (!errors.isEmpty()) Dialogs.Error(this, "DB update exception: " + errors.join('\n'));
}

void TTagEditorForm::closeEvent(QCloseEvent* event) {
    if (Changed && chkSaveEnabled->isChecked() && btnSave->isEnabled()) {
        const TAnswer answer = Dialogs.AskYesNoCancel(
            this, "File: " + QFileInfo(Files.value(Index)).fileName() + " has been changed. Save Changes??");
        if (answer == TAnswer::Cancel || (answer == TAnswer::Yes && !actSaveMP3Execute())) {
            event->ignore();
            return;
        }
    }
    WriteHistories();
    for (const TOption& o : kOptions) {
        // "Save ID3 v1.1" follows each file's own tags: only a choice the user made is kept.
        if (o.Box == &TTagEditorForm::chkSaveV1) {
            if (SaveV1Chosen) Store.WriteBool(kPrefs, o.Setting, SaveV1Preference);
            continue;
        }
        Store.WriteBool(kPrefs, o.Setting, (this->*o.Box)->isChecked());
    }
    File.reset();
    event->accept();
    if (Closed) Closed();
}

}  // namespace velmar::gui
