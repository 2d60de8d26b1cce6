#pragma once
// Lists the audio files of folders as a browser window adds them.
#include <filesystem>
#include <vector>

namespace velmar {

// True for a name whose extension begins with ".mp" (any letter case): mp3, mp2, mpa...
bool IsAudioFileName(const std::filesystem::path& name);
// The audio files of a folder and its sub-folders: a folder's own files (sorted
// by name) before its sub-folders (sorted by name, each walked the same way).
std::vector<std::filesystem::path> ScanFolder(const std::filesystem::path& folder);
// Paths as given: files as they are, folders scanned; order kept.
std::vector<std::filesystem::path> ExpandPaths(const std::vector<std::filesystem::path>& paths);

}  // namespace velmar
