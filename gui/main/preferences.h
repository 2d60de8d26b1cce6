#pragma once
// TPreferences ("Preferences"): edits the user settings: the player, the look of the
// windows (splash window, grid, colour schemes, background, skin), the write-protection
// override, the external player, and the browsers' columns. "&Ok" writes them and
// leaves change marks that tell the main window what to apply; "&Apply" writes them,
// announces Applied with the same marks and keeps the window open. "&Apply" is
// enabled while any control differs from what was last written.
#include <QColor>
#include <QDialog>
#include <QVariantList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace velmar::gui {

class TDialogs;
class TRegisterComp;
struct TAppPaths;

class TPreferences : public QDialog {
    Q_OBJECT
public:
    TPreferences(const TAppPaths& paths, TRegisterComp& store, TDialogs& dialogs, QWidget* parent = nullptr);

    // What "&Ok" changed, for the main window to apply.
    bool ColumnsChanged = false, PictureModeChanged = false, MainSchemeChanged = false, BrowserSchemeChanged = false,
         SkinChanged = false;

    // "&Ok": writes every value and, when the columns were touched, the three column sections.
    void OkClick();
    // "&Apply": writes as "&Ok" does, emits Applied and stays open; the marks then
    // count from what was applied.
    void ApplyClick();
    // Moves the selected column row by `step` rows (a large step: to the top or bottom).
    void MoveColumn(int step);
    // Asks for the width of a column row ("Set Width").
    void SetColumnWidth(QTreeWidgetItem* item);

    QCheckBox* chkUseXPlayer;
    QCheckBox* chkDirectSound;
    QSlider* sldPriority;
    QCheckBox* chkSplash;
    QCheckBox* chkGrid;
    QPushButton* pnlColour;
    QComboBox* cmbMainScheme;
    QComboBox* cmbBrowserScheme;
    QButtonGroup* grpPictureMode;
    QListWidget* lstSkins;
    QLabel* imgBack;
    QLabel* imgBrowser;
    QCheckBox* chkOverrideReadOnly;
    QLineEdit* edtWinampPath;
    QPushButton* btnBrowseWinamp;
    QCheckBox* chkWinampAutostart;
    QSpinBox* spnHistoryChanges;    // "History Changes": how many changes Undo can reach
    QSpinBox* spnHistoryMegabytes;  // "History Megabytes": how much room their records take
    QTreeWidget* lvColumns;
    QPushButton* btnOk;
    QPushButton* btnCancel;
    QPushButton* btnApply;
    // Says why colour schemes are greyed out: the chosen skin has its own pictures.
    QLabel* lblSkinColours;

signals:
    // The values were written; the change marks say what to apply.
    void Applied();

private:
    QWidget* CreatePlayerPage();
    QWidget* CreateVisualPage();
    QWidget* CreateColumnsPage();
    QWidget* CreateHistoryPage();
    void ReadValues();
    void FillColumns();
    void ShowSkinPreview();
    void WriteColumns();
    void ShowColour();
    // Writes every value and sets the change marks against the values in effect.
    void WriteValues();
    // Every value the controls hold, columns included, to compare with what was written.
    QVariantList Values() const;
    void UpdateApply();
    // Greys out the colour schemes whose picture the chosen skin brings.
    void UpdateSkinColours();
    QString ChosenSkin() const;

    const TAppPaths& Paths;
    TRegisterComp& Store;
    TDialogs& Dialogs;
    QColor Colour;  // the background colour chosen
    int StoredMode = 0, StoredMainScheme = 0, StoredBrowserScheme = 0;
    QString StoredSkin;
    QVariantList WrittenValues;  // as the controls were after opening or the last Apply
};

}  // namespace velmar::gui
