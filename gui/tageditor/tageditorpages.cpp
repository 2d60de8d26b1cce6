// The pages of the tag editor: their controls, and how each control's edits reach
// the edited fields.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <limits>

#include "app/appcontext.h"
#include "app/comboboxdb.h"
#include "tageditorform.h"
#include "tags/ID3v1obj.h"

namespace velmar::gui {

namespace {

QStringList SortedGenres() {
    QStringList genres;
    for (const std::string& name : velmar::GenreTable()) genres << FromUtf8(name);
    genres.sort(Qt::CaseInsensitive);
    genres.prepend(QString());
    return genres;
}

QSpinBox* Spin(QWidget* parent, int maximum, int width = 70) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, maximum);
    spin->setSpecialValueText(" ");  // 0 shows as empty: no value
    spin->setFixedWidth(width);
    return spin;
}

}  // namespace

TComboBoxDB* TTagEditorForm::TextBox(const QString& id, QWidget* parent) {
    auto* box = new TComboBoxDB(parent);
    box->setObjectName("db" + id);
    box->SetDBFile(Paths.WritableDataFolder + "DB/db" + id + ".db");
    box->setMinimumWidth(160);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    TextBoxes.insert(id, box);
    connect(box, &QComboBox::editTextChanged, this, [this, id](const QString& text) {
        if (Filling) return;
        Edited.SetFrame(id.toStdString(), text.toStdString());
        if (!Touched.contains(id)) Touched << id;
        SetChanged(true);
    });
    return box;
}

QCheckBox* TTagEditorForm::Lock(const QString& key, QWidget* parent, const QString& caption) {
    auto* lock = new QCheckBox(caption, parent);
    lock->setToolTip("Lock: keep this value for the next files");
    Locks.insert(key, lock);
    return lock;
}

QTreeWidget* TTagEditorForm::ListView(const QStringList& headers, QWidget* parent) {
    auto* list = new QTreeWidget(parent);
    list->setHeaderLabels(headers);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->header()->setStretchLastSection(true);
    return list;
}

QWidget* TTagEditorForm::ListButtons(QWidget* parent, QTreeWidget* list, const QString& key, std::function<void()> add,
                                     std::function<void()> edit, std::function<void()> remove) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    const std::tuple<const char*, const char*, std::function<void()>> buttons[] = {
        {"Add...", "btnAdd", add}, {"Edit...", "btnEdit", edit}, {"Delete", "btnDelete", remove}};
    for (const auto& [caption, name, run] : buttons) {
        auto* b = new QPushButton(caption, box);
        b->setObjectName(name + key);
        connect(b, &QPushButton::clicked, this, run);
        layout->addWidget(b);
    }
    layout->addStretch(1);
    connect(list, &QTreeWidget::itemDoubleClicked, this, edit);
    return box;
}

QWidget* TTagEditorForm::CreateMainPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    auto* lockHeader = new QLabel("Lock", page);
    lockHeader->setToolTip("A locked value is kept for the next files");
    grid->addWidget(lockHeader, 0, 2, Qt::AlignHCenter);
    int row = 1;
    auto add = [&](const QString& caption, QWidget* field, const QString& lock) {
        grid->addWidget(new QLabel(caption, page), row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(Lock(lock, page), row++, 2, Qt::AlignHCenter);
    };
    for (const char* id : {"TIT2", "TPE1", "TALB"}) add(FromUtf8(FrameCaption(id)), TextBox(id, page), id);
    spnTYER = Spin(page, 9999);
    cmbTCON = new QComboBox(page);
    cmbTCON->setEditable(true);
    cmbTCON->addItems(SortedGenres());
    cmbTCON->setInsertPolicy(QComboBox::NoInsert);
    cmbTCON->setMinimumWidth(220);
    spnTRCK = Spin(page, 9999);
    spnTRCKTotal = Spin(page, 9999);
    spnTPOS = Spin(page, 999);
    spnTPOSTotal = Spin(page, 999);
    auto line = [page](std::initializer_list<QWidget*> widgets) {
        auto* box = new QWidget(page);
        auto* layout = new QHBoxLayout(box);
        layout->setContentsMargins(0, 0, 0, 0);
        for (QWidget* w : widgets) layout->addWidget(w);
        layout->addStretch(1);
        return box;
    };
    add("Year", line({spnTYER}), "TYER");
    add("Genre", line({cmbTCON}), "TCON");
    add("Track", line({spnTRCK, new QLabel("of", page), spnTRCKTotal}), "TRCK");
    add("Disc", line({spnTPOS, new QLabel("of", page), spnTPOSTotal}), "TPOS");
    edtComment = new QLineEdit(page);
    add("Comment", edtComment, "Comment");
    spnTBPM = Spin(page, 999);
    btnLaunchBPM = new QPushButton("&Launch BPM Counter", page);
    add("BPM", line({spnTBPM, btnLaunchBPM}), "TBPM");
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(row, 1);
    ConnectMain();
    return page;
}

void TTagEditorForm::ConnectMain() {
    auto number = [this](const char* id, QSpinBox* value, QSpinBox* total) {
        auto changed = [this, id, value, total] {
            if (Filling) return;
            QString text;
            if (value->value() > 0)
                text = total && total->value() > 0 ? QString("%1/%2").arg(value->value()).arg(total->value())
                                                   : QString::number(value->value());
            Edited.SetFrame(id, text.toStdString());
            if (!Touched.contains(id)) Touched << id;
            SetChanged(true);
        };
        connect(value, &QSpinBox::valueChanged, this, changed);
        if (total) connect(total, &QSpinBox::valueChanged, this, changed);
    };
    number("TYER", spnTYER, nullptr);
    number("TRCK", spnTRCK, spnTRCKTotal);
    number("TPOS", spnTPOS, spnTPOSTotal);
    number("TBPM", spnTBPM, nullptr);
    connect(cmbTCON, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (Filling) return;
        Edited.SetFrame("TCON", text.toStdString());
        SetChanged(true);
    });
    connect(edtComment, &QLineEdit::textEdited, this, [this](const QString& text) {
        // The comment of the main page is the plain one: the first without a description.
        auto& comments = Edited.Comments;
        const auto plain = std::find_if(comments.begin(), comments.end(),
                                        [](const TLangTextItem& c) { return c.Description.empty(); });
        if (plain == comments.end() && !text.isEmpty())
            comments.push_back({"eng", "", text.toStdString()});
        else if (plain != comments.end() && text.isEmpty())
            comments.erase(plain);
        else if (plain != comments.end())
            plain->Text = text.toStdString();
        if (!Touched.contains("COMM")) Touched << "COMM";
        ListChanged();
    });
}

QWidget* TTagEditorForm::CreateTextsPage() {
    auto* scroll = new QScrollArea(this);
    auto* page = new QWidget(scroll);
    auto* grid = new QGridLayout(page);
    const auto& ids = EditableTextFrameIDs();
    const int half = int(ids.size() + 1) / 2;
    for (int column : {2, 5}) grid->addWidget(new QLabel("Lock", page), 0, column, Qt::AlignHCenter);
    for (int i = 0; i < int(ids.size()); ++i) {
        const QString id = FromUtf8(ids[size_t(i)]);
        const int row = 1 + i % half, column = (i / half) * 3;
        auto* label = new QLabel(FromUtf8(FrameCaption(ids[size_t(i)])), page);
        label->setToolTip(id);
        grid->addWidget(label, row, column);
        grid->addWidget(TextBox(id, page), row, column + 1);
        grid->addWidget(Lock(id, page), row, column + 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    return scroll;
}

QWidget* TTagEditorForm::CreateLinksPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Lock", page), 0, 2, Qt::AlignHCenter);
    int row = 1;
    for (const std::string& id : EditableUrlFrameIDs()) {
        grid->addWidget(new QLabel(FromUtf8(FrameCaption(id)), page), row, 0);
        grid->addWidget(TextBox(FromUtf8(id), page), row, 1);
        grid->addWidget(Lock(FromUtf8(id), page), row++, 2);
    }
    grid->setColumnStretch(1, 1);
    lvUserUrls = ListView({"Description", "URL"}, page);
    auto* user = new QGroupBox("User defined links", page);
    auto* userLayout = new QVBoxLayout(user);
    userLayout->addWidget(lvUserUrls, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ListButtons(
        user, lvUserUrls, "WXXX",
        [this] { EditDescValue(Edited.UserUrls, lvUserUrls, true, "User Defined URL", "WXXX"); },
        [this] { EditDescValue(Edited.UserUrls, lvUserUrls, false, "User Defined URL", "WXXX"); },
        [this] { RemoveSelected(Edited.UserUrls, lvUserUrls); }));
    buttons->addWidget(Lock("WXXX", user, "Lock"));
    userLayout->addLayout(buttons);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addWidget(user, 1);
    return page;
}

QWidget* TTagEditorForm::CreateCommentsPage() {
    auto* page = new QWidget(this);
    auto group = [this, page](const QString& title, QTreeWidget* list, QWidget* buttons, const QString& lock) {
        auto* box = new QGroupBox(title, page);
        list->setParent(box);
        buttons->setParent(box);
        auto* row = new QHBoxLayout;
        row->addWidget(buttons, 1);
        row->addWidget(Lock(lock, box, "Lock"));
        auto* layout = new QVBoxLayout(box);
        layout->addWidget(list, 1);
        layout->addLayout(row);
        return box;
    };
    lvComments = ListView({"Language", "Description", "Comment"}, page);
    lvUserTexts = ListView({"Description", "Value"}, page);
    auto* comments = ListButtons(
        page, lvComments, "COMM", [this] { EditLangText(Edited.Comments, lvComments, true, "Comment", "COMM"); },
        [this] { EditLangText(Edited.Comments, lvComments, false, "Comment", "COMM"); },
        [this] { RemoveSelected(Edited.Comments, lvComments); });
    auto* texts = ListButtons(
        page, lvUserTexts, "TXXX",
        [this] { EditDescValue(Edited.UserTexts, lvUserTexts, true, "User Defined Text", "TXXX"); },
        [this] { EditDescValue(Edited.UserTexts, lvUserTexts, false, "User Defined Text", "TXXX"); },
        [this] { RemoveSelected(Edited.UserTexts, lvUserTexts); });
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group("Comments", lvComments, comments, "COMM"), 1);
    layout->addWidget(group("User defined texts", lvUserTexts, texts, "TXXX"), 1);
    return page;
}

QWidget* TTagEditorForm::CreateLyricsPage() {
    auto* page = new QWidget(this);
    lvLyrics = ListView({"Language", "Description"}, page);
    memLyricsText = new QPlainTextEdit(page);
    memLyricsText->setReadOnly(true);
    auto* v2 = new QGroupBox("ID3v2 lyrics", page);
    auto* v2Layout = new QGridLayout(v2);
    v2Layout->addWidget(lvLyrics, 0, 0);
    v2Layout->addWidget(memLyricsText, 0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(
        ListButtons(
            v2, lvLyrics, "USLT", [this] { EditLangText(Edited.Lyrics, lvLyrics, true, "Lyrics", "USLT"); },
            [this] { EditLangText(Edited.Lyrics, lvLyrics, false, "Lyrics", "USLT"); },
            [this] { RemoveSelected(Edited.Lyrics, lvLyrics); }),
        1);
    buttons->addWidget(Lock("USLT", v2, "Lock"));
    v2Layout->addLayout(buttons, 1, 0, 1, 2);
    v2Layout->setColumnStretch(1, 2);
    connect(lvLyrics, &QTreeWidget::currentItemChanged, this, [this] {
        const int i = lvLyrics->indexOfTopLevelItem(lvLyrics->currentItem());
        memLyricsText->setPlainText(i >= 0 ? FromUtf8(Edited.Lyrics[size_t(i)].Text) : QString());
    });
    auto* l3 = new QGroupBox("Lyrics3 lyrics", page);
    memLyrics3 = new QPlainTextEdit(l3);
    btnCopyLyrics = new QPushButton("&Copy Lyrics From ID3v2", l3);
    auto* l3Layout = new QVBoxLayout(l3);
    l3Layout->addWidget(memLyrics3, 1);
    l3Layout->addWidget(btnCopyLyrics, 0, Qt::AlignLeft);
    connect(memLyrics3, &QPlainTextEdit::textChanged, this, [this] {
        if (Filling) return;
        Edited.Lyrics3.Lyrics = memLyrics3->toPlainText().toStdString();
        SetChanged(true);
    });
    connect(btnCopyLyrics, &QPushButton::clicked, this, [this] {
        const int i = std::max(0, lvLyrics->indexOfTopLevelItem(lvLyrics->currentItem()));
        if (size_t(i) < Edited.Lyrics.size()) memLyrics3->setPlainText(FromUtf8(Edited.Lyrics[size_t(i)].Text));
    });
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(v2, 3);
    layout->addWidget(l3, 2);
    return page;
}

QWidget* TTagEditorForm::CreatePicturesPage() {
    auto* page = new QWidget(this);
    lvPictures = ListView({"Type", "Description", "MIME Type", "Size"}, page);
    imgPicture = new QLabel(page);
    imgPicture->setFixedSize(260, 260);
    imgPicture->setAlignment(Qt::AlignCenter);
    imgPicture->setFrameShape(QFrame::StyledPanel);
    lblPictureSize = new QLabel(page);
    lblPictureSize->setAlignment(Qt::AlignCenter);
    auto* buttons = new QHBoxLayout;
    const std::tuple<const char*, const char*, std::function<void()>> actions[] = {
        {"&Add...", "btnAddPicture", [this] { AddPicture(false); }},
        {"&Replace...", "btnReplacePicture", [this] { AddPicture(true); }},
        {"&Edit...", "btnEditPicture", [this] { EditPicture(); }},
        {"&Delete", "btnDeletePicture", [this] { RemoveSelected(Edited.Pictures, lvPictures); }},
        {"E&xtract...", "btnExtractPicture", [this] { ExtractPicture(); }}};
    for (const auto& [caption, name, run] : actions) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, run);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    connect(lvPictures, &QTreeWidget::currentItemChanged, this, &TTagEditorForm::ShowPicture);
    auto* shown = new QVBoxLayout;
    shown->addWidget(imgPicture);
    shown->addWidget(lblPictureSize);
    shown->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(lvPictures, 1);
    body->addLayout(shown);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(body, 1);
    layout->addLayout(buttons);
    return page;
}

QWidget* TTagEditorForm::CreatePeoplePage() {
    auto* page = new QWidget(this);
    lvRatings = ListView({"E-mail", "Rating", "Counter"}, page);
    lvPeople = ListView({"Involvement", "Person"}, page);
    auto* ratings = new QGroupBox("Popularimeters", page);
    auto* ratingsLayout = new QVBoxLayout(ratings);
    ratingsLayout->addWidget(lvRatings, 1);
    auto* ratingButtons = new QHBoxLayout;
    ratingButtons->addWidget(ListButtons(
                                 ratings, lvRatings, "POPM", [this] { EditRating(true); },
                                 [this] { EditRating(false); }, [this] { RemoveSelected(Edited.Ratings, lvRatings); }),
                             1);
    ratingButtons->addWidget(Lock("POPM", ratings, "Lock"));
    ratingsLayout->addLayout(ratingButtons);
    chkPlayCounter = new QCheckBox("Play counter", page);
    spnPlayCounter = new QSpinBox(page);
    spnPlayCounter->setRange(0, std::numeric_limits<int>::max());
    auto counterChanged = [this] {
        if (Filling) return;
        Edited.PlayCounter =
            chkPlayCounter->isChecked() ? std::optional<uint64_t>(uint64_t(spnPlayCounter->value())) : std::nullopt;
        spnPlayCounter->setEnabled(chkPlayCounter->isChecked());
        SetChanged(true);
    };
    connect(chkPlayCounter, &QCheckBox::toggled, this, counterChanged);
    connect(spnPlayCounter, &QSpinBox::valueChanged, this, counterChanged);
    auto* counter = new QHBoxLayout;
    counter->addWidget(chkPlayCounter);
    counter->addWidget(spnPlayCounter);
    counter->addStretch(1);
    auto* people = new QGroupBox("Involved people", page);
    auto* peopleLayout = new QVBoxLayout(people);
    peopleLayout->addWidget(lvPeople, 1);
    auto* peopleButtons = new QHBoxLayout;
    peopleButtons->addWidget(ListButtons(
                                 people, lvPeople, "IPLS", [this] { EditPerson(true); }, [this] { EditPerson(false); },
                                 [this] { RemoveSelected(Edited.People, lvPeople); }),
                             1);
    peopleButtons->addWidget(Lock("IPLS", people, "Lock"));
    peopleLayout->addLayout(peopleButtons);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(ratings, 1);
    layout->addLayout(counter);
    layout->addWidget(people, 1);
    return page;
}

QWidget* TTagEditorForm::CreateV1Page() {
    auto* page = new QWidget(this);
    auto* v1 = new QGroupBox("ID3 v1.1", page);
    auto* v1Form = new QGridLayout(v1);
    const char* const v1Labels[5] = {"Title", "Artist", "Album", "Year", "Comment"};
    const int widths[5] = {30, 30, 30, 4, 30};
    for (int k = 0; k < 5; ++k) {
        edtV1[k] = new QLineEdit(v1);
        edtV1[k]->setMaxLength(widths[k]);
        v1Form->addWidget(new QLabel(v1Labels[k], v1), k, 0);
        v1Form->addWidget(edtV1[k], k, 1, 1, 3);
        connect(edtV1[k], &QLineEdit::textEdited, this, [this, k](const QString& text) {
            std::string TV1Fields::*fields[5] = {&TV1Fields::Title, &TV1Fields::Artist, &TV1Fields::Album,
                                                 &TV1Fields::Year, &TV1Fields::Comment};
            Edited.V1.*fields[k] = text.toStdString();
            SetChanged(true);
        });
    }
    spnV1Track = Spin(v1, 255);
    cmbV1Genre = new QComboBox(v1);
    cmbV1Genre->addItems(SortedGenres());
    v1Form->addWidget(new QLabel("Track", v1), 5, 0);
    v1Form->addWidget(spnV1Track, 5, 1);
    v1Form->addWidget(new QLabel("Genre", v1), 5, 2);
    v1Form->addWidget(cmbV1Genre, 5, 3);
    connect(spnV1Track, &QSpinBox::valueChanged, this, [this](int value) {
        if (Filling) return;
        Edited.V1.Track = value;
        SetChanged(true);
    });
    connect(cmbV1Genre, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (Filling) return;
        Edited.V1.Genre = text.toStdString();
        SetChanged(true);
    });
    auto* l3 = new QGroupBox("Lyrics3 v2.0", page);
    auto* l3Form = new QGridLayout(l3);
    const char* const l3Labels[5] = {"Information", "Author", "Album", "Artist", "Title"};
    for (int k = 0; k < 5; ++k) {
        edtL3[k] = new QLineEdit(l3);
        l3Form->addWidget(new QLabel(l3Labels[k], l3), k, 0);
        l3Form->addWidget(edtL3[k], k, 1);
        connect(edtL3[k], &QLineEdit::textEdited, this, [this, k](const QString& text) {
            std::string TLyrics3Fields::*fields[5] = {&TLyrics3Fields::Info, &TLyrics3Fields::Author,
                                                      &TLyrics3Fields::Album, &TLyrics3Fields::Artist,
                                                      &TLyrics3Fields::Title};
            Edited.Lyrics3.*fields[k] = text.toStdString();
            SetChanged(true);
        });
    }
    memL3Images = new QPlainTextEdit(l3);
    memL3Images->setToolTip("One image per line: file name, description and time stamp, separated by \"||\"");
    l3Form->addWidget(new QLabel("Images", l3), 5, 0, Qt::AlignTop);
    l3Form->addWidget(memL3Images, 5, 1);
    connect(memL3Images, &QPlainTextEdit::textChanged, this, [this] {
        if (Filling) return;
        Edited.Lyrics3.Images.clear();
        for (const QString& line : memL3Images->toPlainText().split('\n', Qt::SkipEmptyParts))
            Edited.Lyrics3.Images.push_back(line.toStdString());
        SetChanged(true);
    });
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(v1, 1, Qt::AlignTop);
    layout->addWidget(l3, 1);
    return page;
}

QWidget* TTagEditorForm::CreateContentsPage() {
    auto* page = new QSplitter(this);
    tvContents = new QTreeWidget(page);
    tvContents->setHeaderHidden(true);
    lstContents = new QListWidget(page);
    page->setStretchFactor(1, 2);
    connect(tvContents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        lstContents->clear();
        if (item) lstContents->addItems(item->data(0, Qt::UserRole).toStringList());
    });
    return page;
}

}  // namespace velmar::gui
