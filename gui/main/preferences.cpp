#include "preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/RegisterComp.h"
#include "app/appcontext.h"
#include "app/dialogs.h"

namespace velmar::gui {

namespace {

const QString kPrefs = QStringLiteral("Preferences");
const QString kDefaultSkin = QStringLiteral("<DEFAULT>");
// The colour schemes as listed, each with the number of its pictures (whose files go
// ..., cyan, violet, magenta).
const std::pair<const char*, int> kSchemes[] = {{"Default", 0}, {"Red", 1},     {"Green", 2}, {"Blue", 3},
                                                {"Cyan", 4},    {"Magenta", 6}, {"Violet", 5}};

// Colours are stored as 0x00BBGGRR.
QColor StoredColour(int value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }
int ColourValue(const QColor& c) { return c.red() | c.green() << 8 | c.blue() << 16; }

bool Fixed(const QString& caption) { return caption == "Filename" || caption == "Path"; }

}  // namespace

TPreferences::TPreferences(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent)
    : QDialog(parent), Paths(paths), Store(store), Dialogs(dialogs) {
    setWindowTitle("Preferences");
    setProperty("helpTopic", "Preferences");
    auto* pages = new QTabWidget(this);
    pages->addTab(CreatePlayerPage(), "&Player");
    pages->addTab(CreateVisualPage(), "&Visual");
    pages->addTab(CreateColumnsPage(), "C&olumns");
    pages->addTab(CreateHistoryPage(), "&Undo");
    btnOk = new QPushButton("&Ok", this);
    btnCancel = new QPushButton("&Cancel", this);
    btnApply = new QPushButton("&Apply", this);
    btnApply->setEnabled(false);
    btnOk->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {btnOk, btnCancel, btnApply}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);
    connect(btnOk, &QPushButton::clicked, this, &TPreferences::OkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnApply, &QPushButton::clicked, this, &TPreferences::ApplyClick);
    ReadValues();
    WrittenValues = Values();
    UpdateSkinColours();
    // Every control that holds a value enables "&Apply" when it differs from what was written.
    for (QCheckBox* c : {chkUseXPlayer, chkDirectSound, chkSplash, chkGrid, chkOverrideReadOnly, chkWinampAutostart})
        connect(c, &QCheckBox::toggled, this, &TPreferences::UpdateApply);
    for (QComboBox* c : {cmbMainScheme, cmbBrowserScheme})
        connect(c, &QComboBox::currentIndexChanged, this, &TPreferences::UpdateApply);
    for (QSpinBox* s : {spnHistoryChanges, spnHistoryMegabytes})
        connect(s, &QSpinBox::valueChanged, this, &TPreferences::UpdateApply);
    connect(sldPriority, &QSlider::valueChanged, this, &TPreferences::UpdateApply);
    connect(grpPictureMode, &QButtonGroup::idToggled, this, &TPreferences::UpdateApply);
    connect(edtWinampPath, &QLineEdit::textChanged, this, &TPreferences::UpdateApply);
    connect(lvColumns, &QTreeWidget::itemChanged, this, &TPreferences::UpdateApply);
    connect(lstSkins, &QListWidget::currentRowChanged, this, [this] {
        UpdateSkinColours();
        UpdateApply();
    });
    resize(560, 470);
}

QWidget* TPreferences::CreatePlayerPage() {
    auto* page = new QWidget(this);
    chkUseXPlayer = new QCheckBox("Use Internal Player (X-Audio)", page);
    chkDirectSound = new QCheckBox("Use Direct Sound (recommended)", page);
    chkDirectSound->setToolTip("Play to the sound device itself rather than through the desktop's sound server");
    sldPriority = new QSlider(Qt::Horizontal, page);
    sldPriority->setRange(0, 4);
    sldPriority->setTickPosition(QSlider::TicksBelow);
    edtWinampPath = new QLineEdit(page);
    btnBrowseWinamp = new QPushButton("...", page);
    chkWinampAutostart = new QCheckBox("Start the external player when trying to play an MP3 file", page);
    chkOverrideReadOnly = new QCheckBox("Override Write Protected Files", page);
    auto* internal = new QGroupBox("Internal player", page);
    auto* internalLayout = new QGridLayout(internal);
    internalLayout->addWidget(chkUseXPlayer, 0, 0, 1, 2);
    internalLayout->addWidget(chkDirectSound, 1, 0, 1, 2);
    internalLayout->addWidget(new QLabel("Priority", internal), 2, 0);
    internalLayout->addWidget(sldPriority, 2, 1);
    auto* external = new QGroupBox("External player (used when the internal one is off)", page);
    auto* externalLayout = new QGridLayout(external);
    externalLayout->addWidget(new QLabel("Player command", external), 0, 0);
    externalLayout->addWidget(edtWinampPath, 0, 1);
    externalLayout->addWidget(btnBrowseWinamp, 0, 2);
    externalLayout->addWidget(chkWinampAutostart, 1, 0, 1, 3);
    auto* note = new QLabel("Changes of the player take effect when Velmar is started again.", page);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(internal);
    layout->addWidget(external);
    layout->addWidget(chkOverrideReadOnly);
    layout->addWidget(note);
    layout->addStretch(1);
    connect(btnBrowseWinamp, &QPushButton::clicked, this, [this] {
        const QString program = edtWinampPath->text().section(' ', 0, 0);
        const QString start = program.isEmpty() ? QString("/usr/bin") : QFileInfo(program).absolutePath();
        const QStringList chosen =
            Dialogs.OpenFiles(this, "Please choose the external player", start, "Programs (*)|*", false);
        if (!chosen.isEmpty()) edtWinampPath->setText(chosen.first());
    });
    return page;
}

QWidget* TPreferences::CreateVisualPage() {
    auto* page = new QWidget(this);
    chkSplash = new QCheckBox("  Show Splashscreen", page);
    chkGrid = new QCheckBox("  Show Grid", page);
    pnlColour = new QPushButton("Click here with LMB to choose color", page);
    pnlColour->setAutoFillBackground(true);
    cmbMainScheme = new QComboBox(page);
    cmbBrowserScheme = new QComboBox(page);
    for (const auto& [name, picture] : kSchemes) {
        cmbMainScheme->addItem(name, picture);
        cmbBrowserScheme->addItem(name, picture);
    }
    grpPictureMode = new QButtonGroup(page);
    auto* modes = new QHBoxLayout;
    const char* const modeCaptions[3] = {"&Tile", "&Center", "&Stretch"};
    for (int k = 0; k < 3; ++k) {
        auto* rb = new QRadioButton(modeCaptions[k], page);
        grpPictureMode->addButton(rb, k);
        modes->addWidget(rb);
    }
    lstSkins = new QListWidget(page);
    imgBack = new QLabel(page);
    imgBrowser = new QLabel(page);
    imgBack->setFixedSize(120, 90);
    imgBrowser->setFixedSize(24, 90);
    lblSkinColours = new QLabel(page);
    lblSkinColours->setTextFormat(Qt::PlainText);
    lblSkinColours->setWordWrap(true);
    auto* form = new QGridLayout;
    form->addWidget(chkSplash, 0, 0, 1, 2);
    form->addWidget(chkGrid, 1, 0, 1, 2);
    form->addWidget(new QLabel("Background", page), 2, 0);
    form->addWidget(pnlColour, 2, 1);
    form->addWidget(new QLabel("Main color scheme", page), 3, 0);
    form->addWidget(cmbMainScheme, 3, 1);
    form->addWidget(new QLabel("Browser Color Scheme", page), 4, 0);
    form->addWidget(cmbBrowserScheme, 4, 1);
    form->addWidget(new QLabel("Background picture", page), 5, 0);
    form->addLayout(modes, 5, 1);
    form->addWidget(lblSkinColours, 6, 0, 1, 2);
    auto* skins = new QGroupBox("Available Skins", page);
    auto* skinLayout = new QHBoxLayout(skins);
    skinLayout->addWidget(lstSkins, 1);
    skinLayout->addWidget(imgBack);
    skinLayout->addWidget(imgBrowser);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addWidget(skins, 1);
    connect(pnlColour, &QPushButton::clicked, this, [this] {
        if (Dialogs.Colour(this, Colour)) {
            ShowColour();
            UpdateApply();
        }
    });
    connect(lstSkins, &QListWidget::currentRowChanged, this, &TPreferences::ShowSkinPreview);
    return page;
}

QWidget* TPreferences::CreateColumnsPage() {
    auto* page = new QWidget(this);
    auto* group = new QGroupBox(" Visible Columns ", page);
    lvColumns = new QTreeWidget(group);
    lvColumns->setHeaderLabels({"Columns", "Width"});
    lvColumns->setRootIsDecorated(false);
    lvColumns->header()->setStretchLastSection(false);
    lvColumns->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto* note = new QLabel("The \"Filename\" and \"Path\" columns cannot be disabled.", group);
    auto* moves = new QVBoxLayout;
    const std::pair<const char*, int> steps[] = {{"Top", -1000}, {"Up", -1}, {"Down", 1}, {"Bottom", 1000}};
    for (const auto& [caption, step] : steps) {
        auto* b = new QPushButton(caption, group);
        connect(b, &QPushButton::clicked, this, [this, step = step] { MoveColumn(step); });
        moves->addWidget(b);
    }
    moves->addStretch(1);
    auto* body = new QHBoxLayout;
    body->addWidget(lvColumns, 1);
    body->addLayout(moves);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addLayout(body, 1);
    groupLayout->addWidget(note);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    connect(lvColumns, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        // "Path" and "Filename" always stay visible.
        if (column == 0 && Fixed(item->text(0)) && item->checkState(0) != Qt::Checked)
            item->setCheckState(0, Qt::Checked);
        ColumnsChanged = true;
    });
    connect(lvColumns, &QTreeWidget::itemDoubleClicked, this, &TPreferences::SetColumnWidth);
    connect(lvColumns, &QTreeWidget::itemPressed, this, [this] { ColumnsChanged = true; });
    return page;
}

QWidget* TPreferences::CreateHistoryPage() {
    auto* page = new QWidget(this);
    auto* group = new QGroupBox("History of changes", page);
    spnHistoryChanges = new QSpinBox(group);
    spnHistoryChanges->setRange(1, 10000);
    spnHistoryMegabytes = new QSpinBox(group);
    spnHistoryMegabytes->setRange(1, 100000);
    spnHistoryMegabytes->setSuffix(" MB");
    auto* form = new QGridLayout(group);
    form->addWidget(new QLabel("Changes kept", group), 0, 0);
    form->addWidget(spnHistoryChanges, 0, 1);
    form->addWidget(new QLabel("Room for their records", group), 1, 0);
    form->addWidget(spnHistoryMegabytes, 1, 1);
    form->setColumnStretch(2, 1);
    auto* note = new QLabel(
        "Edit > Undo and the History window take back the changes Velmar made to your files: "
        "tags written, files renamed, tags wiped. The oldest changes are forgotten when there "
        "are more, or their records need more room, than set here.",
        page);
    note->setWordWrap(true);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(note);
    layout->addStretch(1);
    return page;
}

void TPreferences::ReadValues() {
    chkUseXPlayer->setChecked(Store.ReadBool(kPrefs, "Use XPlayer", true));
    chkDirectSound->setChecked(Store.ReadBool(kPrefs, "Use DirectSound", true));
    sldPriority->setValue(std::clamp(Store.ReadInteger(kPrefs, "XPlayer Priority", 4), 0, 4));
    chkSplash->setChecked(Store.ReadBool(kPrefs, "Splashscreen", true));
    chkGrid->setChecked(Store.ReadBool(kPrefs, "Grid", false));
    Colour = StoredColour(Store.ReadInteger(kPrefs, "Background Color", 0));
    ShowColour();
    StoredMainScheme = std::clamp(Store.ReadInteger(kPrefs, "Default Background Color", 0), 0, 6);
    StoredBrowserScheme = std::clamp(Store.ReadInteger(kPrefs, "Explorer Background Color", 0), 0, 6);
    cmbMainScheme->setCurrentIndex(cmbMainScheme->findData(StoredMainScheme));
    cmbBrowserScheme->setCurrentIndex(cmbBrowserScheme->findData(StoredBrowserScheme));
    StoredMode = std::clamp(Store.ReadInteger(kPrefs, "Background Picture Mode", 0), 0, 2);
    grpPictureMode->button(StoredMode)->setChecked(true);
    chkOverrideReadOnly->setChecked(OverrideReadOnly(Store));
    edtWinampPath->setText(Store.ReadString(kPrefs, "Winamp Path", QString()));
    chkWinampAutostart->setChecked(Store.ReadBool(kPrefs, "Winamp Autostart", true));
    spnHistoryChanges->setValue(Store.ReadInteger(kPrefs, "History Changes", 100));
    spnHistoryMegabytes->setValue(Store.ReadInteger(kPrefs, "History Megabytes", 256));
    StoredSkin = Store.ReadString(kPrefs, "Skin", kDefaultSkin);
    lstSkins->addItem(kDefaultSkin);
    for (const QString& folder : {Paths.DataFolder + "SKINS/", Paths.WritableDataFolder + "SKINS/"})
        for (const QString& skin : QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            if (lstSkins->findItems(skin, Qt::MatchExactly).isEmpty()) lstSkins->addItem(skin);
    const QList<QListWidgetItem*> stored = lstSkins->findItems(StoredSkin, Qt::MatchExactly);
    lstSkins->setCurrentItem(stored.isEmpty() ? lstSkins->item(0) : stored.first());
    FillColumns();
    ColumnsChanged = PictureModeChanged = MainSchemeChanged = BrowserSchemeChanged = SkinChanged = false;
}

void TPreferences::FillColumns() {
    const QSignalBlocker block(lvColumns);
    lvColumns->clear();
    QList<QPair<int, QString>> all;
    for (const auto& [caption, index] : Store.ReadSection("Column All")) all.append({index.toInt(), caption});
    std::sort(all.begin(), all.end());
    for (const auto& [index, caption] : all) {
        auto* item =
            new QTreeWidgetItem(lvColumns, {caption, QString::number(Store.ReadInteger("Column Width", caption, 50))});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Store.ValueExists("Column Pos", caption) ? Qt::Checked : Qt::Unchecked);
    }
}

void TPreferences::ShowColour() {
    pnlColour->setStyleSheet(
        QString("background-color: %1; color: %2;").arg(Colour.name(), Colour.lightness() < 128 ? "white" : "black"));
}

void TPreferences::ShowSkinPreview() {
    const QListWidgetItem* item = lstSkins->currentItem();
    const QString skin = item ? item->text() : kDefaultSkin;
    auto picture = [&](const QString& skinFile, const QString& builtIn) {
        QPixmap p;
        if (skin != kDefaultSkin) p.load(Paths.SkinFolder(skin) + skinFile);
        if (p.isNull()) p.load(Paths.WritableDataFolder + "GFX/" + builtIn);
        if (p.isNull()) p.load(Paths.DataFolder + "GFX/" + builtIn);
        return p;
    };
    imgBack->setPixmap(picture("BACK.BMP", "background.bmp").scaled(imgBack->size()));
    imgBrowser->setPixmap(picture("BROWSER.BMP", "browser.bmp").scaled(imgBrowser->size()));
}

void TPreferences::MoveColumn(int step) {
    QTreeWidgetItem* item = lvColumns->currentItem();
    if (!item) return;
    const int from = lvColumns->indexOfTopLevelItem(item);
    const int to = std::clamp(from + step, 0, lvColumns->topLevelItemCount() - 1);
    if (to == from) return;
    const QSignalBlocker block(lvColumns);
    lvColumns->takeTopLevelItem(from);
    lvColumns->insertTopLevelItem(to, item);
    lvColumns->setCurrentItem(item);
    ColumnsChanged = true;
    UpdateApply();
}

void TPreferences::SetColumnWidth(QTreeWidgetItem* item) {
    if (!item) return;
    ColumnsChanged = true;
    const auto answer =
        Dialogs.Input(this, "Set Width", "Enter the new width of the \"" + item->text(0) + "\" column", item->text(1));
    bool ok = false;
    const int width = answer ? answer->trimmed().toInt(&ok) : 0;
    if (ok && width > 0 && *answer != item->text(1)) item->setText(1, QString::number(width));
}

void TPreferences::WriteColumns() {
    for (const char* section : {"Column All", "Column Width", "Column Pos"}) Store.EraseSection(section);
    // The rows in their order are the full list; the visible ones are numbered in row order.
    int position = 0;
    for (int row = 0; row < lvColumns->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = lvColumns->topLevelItem(row);
        const QString caption = item->text(0);
        Store.WriteInteger("Column All", caption, row);
        Store.WriteInteger("Column Width", caption, item->text(1).toInt());
        if (item->checkState(0) == Qt::Checked || caption == "Filename")
            Store.WriteInteger("Column Pos", caption, position++);
    }
}

QString TPreferences::ChosenSkin() const {
    return lstSkins->currentItem() ? lstSkins->currentItem()->text() : kDefaultSkin;
}

QVariantList TPreferences::Values() const {
    QVariantList v{chkUseXPlayer->isChecked(),
                   chkDirectSound->isChecked(),
                   sldPriority->value(),
                   chkSplash->isChecked(),
                   chkGrid->isChecked(),
                   Colour,
                   cmbMainScheme->currentIndex(),
                   cmbBrowserScheme->currentIndex(),
                   grpPictureMode->checkedId(),
                   ChosenSkin(),
                   chkOverrideReadOnly->isChecked(),
                   edtWinampPath->text(),
                   chkWinampAutostart->isChecked(),
                   spnHistoryChanges->value(),
                   spnHistoryMegabytes->value()};
    for (int row = 0; row < lvColumns->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = lvColumns->topLevelItem(row);
        v << item->text(0) << item->text(1) << (item->checkState(0) == Qt::Checked);
    }
    return v;
}

void TPreferences::UpdateApply() { btnApply->setEnabled(Values() != WrittenValues); }

void TPreferences::UpdateSkinColours() {
    // A skin's background and strip pictures take the place of the colour variants;
    // a skin without one of them shows that scheme's variant, so its control stays.
    const QString skin = ChosenSkin();
    const auto has = [&](const char* file) {
        return skin != kDefaultSkin && QFileInfo(Paths.SkinFolder(skin) + file).isFile();
    };
    const bool back = has("BACK.BMP"), strip = has("BROWSER.BMP");
    cmbMainScheme->setEnabled(!back);
    cmbBrowserScheme->setEnabled(!strip);
    const QString pictures = back && strip ? "its own background and browser pictures"
                             : back        ? "its own background picture"
                                           : "its own browser picture";
    const QString schemes = back && strip ? "the color schemes"
                            : back        ? "the main color scheme"
                                          : "the browser color scheme";
    lblSkinColours->setText(back || strip ? "The skin \"" + skin + "\" brings " + pictures + ", so " + schemes +
                                                " cannot be chosen while it is on. Choose <DEFAULT> to use them."
                                          : QString());
    lblSkinColours->setVisible(back || strip);
}

void TPreferences::ApplyClick() {
    WriteValues();
    emit Applied();
    StoredSkin = ChosenSkin();
    StoredMode = std::max(0, grpPictureMode->checkedId());
    StoredMainScheme = cmbMainScheme->currentData().toInt();
    StoredBrowserScheme = cmbBrowserScheme->currentData().toInt();
    ColumnsChanged = false;
    WrittenValues = Values();
    UpdateApply();
}

void TPreferences::OkClick() {
    WriteValues();
    accept();
}

void TPreferences::WriteValues() {
    Store.WriteBool(kPrefs, "Use XPlayer", chkUseXPlayer->isChecked());
    Store.WriteBool(kPrefs, "Use DirectSound", chkDirectSound->isChecked());
    Store.WriteInteger(kPrefs, "XPlayer Priority", sldPriority->value());
    Store.WriteBool(kPrefs, "Splashscreen", chkSplash->isChecked());
    Store.WriteBool(kPrefs, "Grid", chkGrid->isChecked());
    Store.WriteInteger(kPrefs, "Background Color", ColourValue(Colour));
    const QString skin = ChosenSkin();
    Store.WriteString(kPrefs, "Skin", skin);
    SkinChanged = skin != StoredSkin;
    Store.WriteInteger(kPrefs, "Background Picture Mode", std::max(0, grpPictureMode->checkedId()));
    PictureModeChanged = grpPictureMode->checkedId() != StoredMode;
    Store.WriteBool(kPrefs, "Override ReadOnly", chkOverrideReadOnly->isChecked());
    Store.WriteString(kPrefs, "Winamp Path", edtWinampPath->text());
    Store.WriteBool(kPrefs, "Winamp Autostart", chkWinampAutostart->isChecked());
    Store.WriteInteger(kPrefs, "History Changes", spnHistoryChanges->value());
    Store.WriteInteger(kPrefs, "History Megabytes", spnHistoryMegabytes->value());
    Store.WriteInteger(kPrefs, "Default Background Color", cmbMainScheme->currentData().toInt());
    Store.WriteInteger(kPrefs, "Explorer Background Color", cmbBrowserScheme->currentData().toInt());
    MainSchemeChanged = cmbMainScheme->currentData().toInt() != StoredMainScheme;
    BrowserSchemeChanged = cmbBrowserScheme->currentData().toInt() != StoredBrowserScheme;
    if (ColumnsChanged) WriteColumns();
}

}  // namespace velmar::gui
