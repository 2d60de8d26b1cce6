#pragma once
// Cell indexes of the compiled-in icon strips (see README.md beside this file).
// The order here is the order make-pictures.sh puts the icons in.

namespace velmar {

// ID_TOOLBAR_HOT / ID_TOOLBAR_NORMAL: 30 cells of 16 x 16, cell k from x = 16k.
constexpr int kToolbarIconSize = 16;
enum TToolbarIcon : int {
    tiNewBrowser,  // 0
    tiLoadPlaylist,
    tiSavePlaylist,
    tiPreferences,
    tiMoveUp,
    tiMoveDown,  // 5
    tiRefresh,
    tiSearch,
    tiWipeTags,
    tiMpegChecker,
    tiMatchToTime,  // 10
    tiPrevious,
    tiRewind,
    tiPlay,
    tiPause,
    tiStop,  // 15
    tiForward,
    tiNext,
    tiEditTags,
    tiRename,
    tiMakeList,  // 20
    tiWizard,
    tiAddFiles,
    tiAddDirectory,
    tiDelete,
    tiEqualizer,  // 25
    tiAbout,
    tiHelp,
    tiExit,
    tiCloseAll,  // 29
    tiCount
};
static_assert(tiCount == 30);

// ID_BROWSER_HICONS / ID_BROWSER_NICONS: 7 cells of 32 x 40, cell k from x = 32k.
constexpr int kBrowserIconWidth = 32;
constexpr int kBrowserIconHeight = 40;
enum TBrowserIcon : int {
    biAddFiles,
    biAddDirectory,
    biDeleteItems,
    biEditTags,
    biRenameFiles,
    biMakeList,
    biWizard,
    biCount
};
static_assert(biCount == 7);

// Transparent colour of every strip and of the lettering and position marker pictures.
constexpr unsigned kTransparentRgb = 0xFF00FF;

}  // namespace velmar
