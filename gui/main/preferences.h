#pragma once
// TPreferences ("Preferences"): edits the user settings: the player, the look of the
// windows (splash window, grid, colour schemes, background, skin), the write-protection
// override, the external player, and the browsers' columns. "&Ok" writes them and
// leaves change marks that tell the main window what to apply.
#include <QColor>
#include <QDialog>

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

    const TAppPaths& Paths;
    TRegisterComp& Store;
    TDialogs& Dialogs;
    QColor Colour;  // the background colour chosen
    int StoredMode = 0, StoredMainScheme = 0, StoredBrowserScheme = 0;
    QString StoredSkin;
};

}  // namespace velmar::gui
