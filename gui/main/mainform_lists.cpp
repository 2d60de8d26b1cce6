// Playlists, saved browser windows and the search of the main window.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QScrollBar>

#include "app/RegisterComp.h"
#include "app/dialogs.h"
#include "app/messagesink.h"
#include "browser/MP3ListView.h"
#include "browser/browser.h"
#include "browser/searchform.h"
#include "mainform.h"
#include "views/playlist.h"
#include "views/searchmatch.h"

namespace velmar::gui {

namespace {

const char* const kPlaylistFilter =
    "M3U Playlists (*.m3u)|*.m3u|PLS Playlists (*.pls)|*.pls|All Playlist Files (*.m3u; *.pls)|*.pls;*.m3u";

QString PlaylistFolder(TRegisterComp& store) {
    const QString last = store.ReadString("Preferences", "Last Directory", QString());
    return last.isEmpty() ? QDir::homePath() : last;
}

}  // namespace

void TMainForm::actSaveSongListExecute() {
    if (TBrowserForm* b = ActiveBrowser()) SavePlaylistOf(b);
}

void TMainForm::SavePlaylistOf(TBrowserForm* b) {
    TMP3ListView* list = b->MP3ListView;
    if (list->SelectedCount() == 0 &&
        Dialogs.AskYesNo(b, QString("No item(s) selected. Select all %1 item(s)?").arg(list->Count())))
        b->actSelectAllExecute();
    const QString file = Dialogs.SaveFile(b, "Save Playlist", PlaylistFolder(MainReg), kPlaylistFilter, "m3u");
    if (file.isEmpty()) return;
    b->SetCaption(QFileInfo(file).fileName());
    std::vector<std::string> names;
    const std::vector<char> selected = list->SelectedRows();
    for (int r = 0; r < list->Count(); ++r)
        if (selected[size_t(r)]) names.push_back(ToPath(list->FileNameAt(r)).string());
    try {
        WritePlaylist(ToPath(file), names);
    } catch (const std::exception& e) {
        Dialogs.Error(b, FromUtf8(e.what()));
    }
}

void TMainForm::actLoadSongListExecute() {
    TBrowserForm* b = nullptr;
    if (ChildCount() > 0) {
        b = ActiveBrowser();
        if (!b) return;
    }
    const QStringList files = Dialogs.OpenFiles(b ? static_cast<QWidget*>(b) : this, "Load Playlist",
                                                PlaylistFolder(MainReg), kPlaylistFilter, false);
    if (files.isEmpty()) return;
    if (!b) b = NewBrowser();
    LoadPlaylistInto(b, files.first());
}

void TMainForm::LoadPlaylistInto(TBrowserForm* b, const QString& file) {
    b->SetCaption(QFileInfo(file).fileName());
    std::vector<std::string> entries;
    try {
        entries = ReadPlaylist(ToPath(file));
    } catch (const std::exception& e) {
        Dialogs.Error(b, FromUtf8(e.what()));
    }
    QStringList names;
    for (const std::string& e : entries) names << FromPath(e);
    b->AddFileNames(names);
    b->UpdateStatus();
}

void TMainForm::SaveWindows() {
    QDir().mkpath(Paths.RecentFilesFolder());
    TBatchErrors errors;
    const QList<QMdiSubWindow*> children = Children();
    for (int i = 0; i < children.size(); ++i) {
        auto* b = qobject_cast<TBrowserForm*>(children[i]->widget());
        if (!b) continue;
        b->ClosingWithoutPrompt = true;
        TMP3ListView* list = b->MP3ListView;
        TWindowPlacement placement;
        // A minimised or maximised window is saved with the place and size it had before.
        const QRect geometry = children[i]->isMinimized() || children[i]->isMaximized()
                                   ? children[i]->property(kNormalGeometry).toRect()
                                   : children[i]->geometry();
        placement.Width = geometry.width();
        placement.Height = geometry.height();
        placement.Left = geometry.x();
        placement.Top = geometry.y();
        placement.State = children[i]->isMinimized() ? 1 : children[i]->isMaximized() ? 2 : 0;
        const std::vector<char> selected = list->SelectedRows();
        std::vector<std::string> names;
        for (int r = 0; r < list->Count(); ++r) {
            placement.Selected.push_back(selected[size_t(r)] != 0);
            names.push_back(ToPath(list->FileNameAt(r)).string());
        }
        const QString base = Paths.RecentFilesFolder() + "WND" + QString::number(i);
        try {
            WriteWindowControl(ToPath(base + ".ctl"), placement);
            WritePlaylist(ToPath(base + ".m3u"), names);
        } catch (const std::exception& e) {
            errors.Add(base + ".m3u", FromUtf8(e.what()));
        }
        children[i]->close();
    }
    errors.Show(Dialogs, this);
}

void TMainForm::RestoreWindows() {
    const auto lists = SavedWindowLists(ToPath(Paths.RecentFilesFolder()));
    TBatchErrors errors;  // the messages of all windows, shown once
    for (const auto& m3u : lists) {
        Status("Status: Reading Window Settings");
        const QString listFile = FromPath(m3u);
        // The window takes its title from the files it shows, not from the list that kept them.
        TBrowserForm* b = NewBrowser();
        std::vector<std::string> entries;
        try {
            entries = ReadPlaylist(m3u);
        } catch (const std::exception&) {
            // An unreadable list restores an empty window, like a list whose files are gone.
        }
        QStringList names;
        for (const std::string& e : entries) names << FromPath(e);
        b->AddFileNames(names, &errors);

        const QString ctl = listFile.left(listFile.size() - 4) + ".ctl";
        if (const auto placement = ReadWindowControl(ToPath(ctl))) {
            // The normal place first, so that a restored minimised or maximised window gets it back.
            QMdiSubWindow* sub = b->SubWindow();
            if (placement->Width > 0 && placement->Height > 0)
                sub->setGeometry(placement->Left, placement->Top, placement->Width, placement->Height);
            if (placement->State == 1)
                sub->showMinimized();
            else if (placement->State == 2)
                sub->showMaximized();
            std::vector<char> flags(size_t(b->MP3ListView->Count()), 0);
            for (size_t r = 0; r < flags.size() && r < placement->Selected.size(); ++r)
                flags[r] = placement->Selected[r] ? 1 : 0;
            b->MP3ListView->SelectRows(flags);
            const int first = b->MP3ListView->FirstSelected();
            if (first >= 0) {
                b->MP3ListView->setCurrentIndex(b->MP3ListView->Model()->index(first, 0));
                b->MP3ListView->SelectRows(flags);  // setting the current row keeps the whole selection
                b->MP3ListView->scrollTo(b->MP3ListView->Model()->index(first, 0), QAbstractItemView::PositionAtTop);
            }
        }
        b->UpdateStatus();
        QFile::remove(listFile);
    }
    errors.Show(Dialogs, this);
}

void TMainForm::actSearchExecute() {
    TBrowserForm* source = ActiveBrowser();
    if (!source) return;
    TSearchItemsForm& form = SearchForm();
    form.Prepare();
    if (Dialogs.Exec(form) != QDialog::Accepted) return;
    const TSearchOptions options = form.Options();
    TMP3ListView* list = source->MP3ListView;
    const TSearchRequest request{options.Keyword.toStdString(), options.SelectedItems, options.CaseSensitive,
                                 options.KeepSelection, options.NewWindow};
    const TSearchOutcome outcome = SearchRows(list->SelectedRows(), request, [list](size_t row) {
        std::vector<std::string> cells;
        for (const QString& cell : list->Model()->Row(int(row))) cells.push_back(cell.toStdString());
        return cells;
    });
    // Rows not kept are deselected whether or not matches are copied elsewhere.
    list->SelectRows(outcome.Selection);
    if (!options.NewWindow || outcome.Matches.empty()) return source->UpdateStatus();
    // One new window for the copies; its columns may differ, so cells are copied by caption.
    TBrowserForm* target = NewBrowser();
    const QStringList from = list->StrList(), to = target->MP3ListView->StrList();
    std::vector<QStringList> copies;
    for (const size_t r : outcome.Matches) {
        QStringList row;
        for (const QString& caption : to) {
            const qsizetype k = from.indexOf(caption);
            row << (k >= 0 ? list->Model()->Cell(int(r), int(k)) : QString());
        }
        copies.push_back(row);
    }
    target->MP3ListView->Model()->AppendRows(copies);
    target->UpdateStatus();
}

}  // namespace velmar::gui
