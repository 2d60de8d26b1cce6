// The preferences from the main window: the window, and applying what it changed.
#include <QFileInfo>

#include "app/RegisterComp.h"
#include "app/changes.h"
#include "app/dialogs.h"
#include "app/graphics.h"
#include "browser/MP3ListView.h"
#include "mainform.h"
#include "preferences.h"

namespace velmar::gui {

void TMainForm::actPreferencesExecute() {
    if (TBrowserForm* b = ActiveBrowser()) b->WriteColumnWidths();
    const bool player = MainReg.ReadBool("Preferences", "Use XPlayer", true);
    TPreferences form(Paths, MainReg, Dialogs, this);
    // "&Apply" applies what it wrote at once; the window stays open.
    connect(&form, &TPreferences::Applied, this, [this, &form] {
        if (UndoHistory) UndoHistory->History.SetLimits(StoredHistoryLimits(MainReg));
        ApplyPreferences(form.ColumnsChanged, form.MainSchemeChanged, form.BrowserSchemeChanged, form.SkinChanged);
    });
    if (Dialogs.Exec(form) != QDialog::Accepted) return;
    if (MainReg.ReadBool("Preferences", "Use XPlayer", true) != player)
        Dialogs.Information(this,
                            "You have choosen a different player engine,\rtherefore, Velmar need to be restarted");
    if (UndoHistory) UndoHistory->History.SetLimits(StoredHistoryLimits(MainReg));
    ApplyPreferences(form.ColumnsChanged, form.MainSchemeChanged, form.BrowserSchemeChanged, form.SkinChanged);
}

void TMainForm::ApplyPreferences(bool columns, bool mainScheme, bool browserScheme, bool skin) {
    ApplyBackground();  // the area colour and the picture mode
    if (mainScheme || skin) ReloadPictures();
    if (!(skin || browserScheme || columns)) return;
    const QList<TBrowserForm*> browsers = Browsers();
    for (auto it = browsers.rbegin(); it != browsers.rend(); ++it) {
        TBrowserForm* b = *it;
        b->LoadGraphics();
        b->MP3ListView->SetGrid(MainReg.ReadBool("Preferences", "Grid", false));
        if (columns) {
            // The rows again under the new columns: the files that still exist, in their order.
            QStringList files;
            for (int r = 0; r < b->MP3ListView->Count(); ++r)
                if (QFileInfo::exists(b->MP3ListView->FileNameAt(r))) files << b->MP3ListView->FileNameAt(r);
            b->ReadColumns();
            b->AddFileNames(files);
        }
        b->UpdateStatus();
    }
}

}  // namespace velmar::gui
