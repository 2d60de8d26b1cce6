#include "matchwipeforms.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "app/progress.h"
#include "batch/matchtotime.h"
#include "file/filereader.h"

namespace velmar::gui {

TmatchtoTimeForm::TmatchtoTimeForm(TDialogs& dialogs, QWidget* parent) : QDialog(parent), Dialogs(dialogs) {
    setWindowTitle("Match To Time");
    setProperty("helpTopic", "Match_To_Time");
    auto* total = new QGroupBox("Total time", this);
    rb60 = new QRadioButton("60 Minutes", total);
    rb90 = new QRadioButton("90 Minutes", total);
    rb100 = new QRadioButton("100 Minutes", total);
    rb60->setChecked(true);
    auto* totalLayout = new QVBoxLayout(total);
    for (QRadioButton* rb : {rb60, rb90, rb100}) totalLayout->addWidget(rb);
    chkUserDefined = new QCheckBox("User defined time", this);
    spnMinutes = new QSpinBox(this);
    spnMinutes->setRange(1, std::numeric_limits<int>::max() / 60);
    spnMinutes->setValue(74);
    lblMinutes = new QLabel("minutes", this);
    btnOk = new QPushButton("Ok", this);
    btnCancel = new QPushButton("Cancel", this);
    btnOk->setDefault(true);

    auto* user = new QHBoxLayout;
    user->addWidget(chkUserDefined);
    user->addWidget(spnMinutes);
    user->addWidget(lblMinutes);
    user->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(total);
    layout->addLayout(user);
    layout->addLayout(buttons);
    UserDefinedToggled(false);

    connect(chkUserDefined, &QCheckBox::toggled, this, &TmatchtoTimeForm::UserDefinedToggled);
    connect(btnOk, &QPushButton::clicked, this, &TmatchtoTimeForm::Match);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TmatchtoTimeForm::UserDefinedToggled(bool on) {
    spnMinutes->setEnabled(on);
    lblMinutes->setEnabled(on);
    for (QRadioButton* rb : {rb60, rb90, rb100}) rb->setEnabled(!on);
}

int TmatchtoTimeForm::TargetSeconds() const {
    if (chkUserDefined->isChecked()) return spnMinutes->value() * 60;
    return rb100->isChecked() ? 6000 : rb90->isChecked() ? 5400 : 3600;
}

void TmatchtoTimeForm::Match() {
    std::vector<std::optional<int64_t>> lengths;
    TBatchErrors errors;
    {
        TProgress progress(this, "Reading play lengths...", int(Files.size()));
        std::vector<std::filesystem::path> files;
        files.reserve(size_t(Files.size()));
        for (const QString& file : Files) files.push_back(ToPath(file));
        velmar::ReadFilesInOrder<std::optional<int64_t>>(
            files,
            [](const std::filesystem::path& file, velmar::TCollectingSink& sink) {
                return velmar::PlaySecondsOf(file, sink);
            },
            [&](size_t i, velmar::TFileRead<std::optional<int64_t>>&& read) {
                lengths.push_back(read.Value);
                for (const std::string& m : read.Messages)
                    errors.Add(Files[qsizetype(i)], "MatchToTime::Error.  Message: " + FromUtf8(m));
                return progress.Step(int(lengths.size()));
            },
            [&] { return progress.Step(int(lengths.size())); });
    }
    lengths.resize(size_t(Files.size()));  // files not read after a cancel are not taken
    const velmar::TMatchToTime result = velmar::MatchToTime(lengths, TargetSeconds());
    Chosen = result.Chosen;
    TotalSeconds = result.TotalSeconds;
    errors.Show(Dialogs, this);
    accept();
}

TWipeTagsForm::TWipeTagsForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Wipe Tags");
    setProperty("helpTopic", "Wipe_Tags");
    auto* group = new QGroupBox(" Wipe Tags ", this);
    auto* intro = new QLabel("Select which Tag(s) you would like to remove from the selected file(s).", group);
    auto* note = new QLabel("If the specified tags doesn't exist, the file will remain unchanged", group);
    intro->setWordWrap(true);
    note->setWordWrap(true);
    chkID3v2 = new QCheckBox("ID3 v&2.3.0", group);
    chkID3v1 = new QCheckBox("ID3 v&1.1", group);
    chkLyrics3 = new QCheckBox("&Lyrics 3 v2.0", group);
    chkID3v2->setToolTip("Any ID3v2 tag the file has, whatever its version");
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(intro);
    for (QCheckBox* c : {chkID3v2, chkID3v1, chkLyrics3}) groupLayout->addWidget(c);
    groupLayout->addWidget(note);
    btnOk = new QPushButton("&Ok", this);
    btnCancel = new QPushButton("&Cancel", this);
    btnOk->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    for (QCheckBox* c : {chkID3v2, chkID3v1, chkLyrics3})
        connect(c, &QCheckBox::toggled, this, [this] { btnOk->setEnabled(Choice().Any()); });
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(440);
}

velmar::TWipeChoice TWipeTagsForm::Choice() const {
    return {chkID3v2->isChecked(), chkID3v1->isChecked(), chkLyrics3->isChecked()};
}

}  // namespace velmar::gui
