#pragma once
// Playlists (.m3u, .pls) and the saved-window control files (.ctl).
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmar {

enum class TPlaylistKind { M3U, PLS, Other };
TPlaylistKind PlaylistKindOf(const std::filesystem::path& file);  // by extension, any letter case

// Writes the file names, lines ended by CR LF; a file of another kind is left empty.
// Throws std::runtime_error with a readable message when the file cannot be written.
void WritePlaylist(const std::filesystem::path& file, const std::vector<std::string>& names);
// The entries that name existing files, in order; relative entries are resolved
// against the playlist's folder. Throws std::runtime_error when it cannot be read.
std::vector<std::string> ReadPlaylist(const std::filesystem::path& file);

// A saved browser window: placement, state (0 normal, 1 minimised, 2 maximised), row selection.
struct TWindowPlacement {
    int Width = 0, Height = 0, Left = 0, Top = 0, State = 0;
    std::vector<bool> Selected;
};
void WriteWindowControl(const std::filesystem::path& ctl, const TWindowPlacement& placement);
// Absent when the file is missing or its first five lines are not numbers;
// selection lines that are missing read as unselected.
std::optional<TWindowPlacement> ReadWindowControl(const std::filesystem::path& ctl);
// The saved window lists "WND<i>.m3u" of a folder, in name order (WND2 before WND10).
std::vector<std::filesystem::path> SavedWindowLists(const std::filesystem::path& folder);

// The name of the deepest folder that holds every one of the files (full names):
// the folder's own name for files of one folder. Empty when there are no files or
// when they share no folder below the root.
std::string CommonFolderName(const std::vector<std::string>& files);

// The files a browser window adds for the paths it is given, in their order:
// folders scanned (a folder's own files before its sub-folders), audio files as
// they are and, with `playlists`, the entries of playlists and every other file
// that exists. Relative paths are taken from the working folder.
struct TGatheredFiles {
    std::vector<std::filesystem::path> Files;
    std::vector<std::pair<std::filesystem::path, std::string>> Errors;  // path and message
    int Skipped = 0;  // paths that are neither folders nor files to add
};
TGatheredFiles GatherFiles(const std::vector<std::filesystem::path>& paths, bool playlists);

}  // namespace velmar
