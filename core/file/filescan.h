#pragma once
// Lists the audio files of folders as a browser window adds them.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace velmar {

// True for a name whose extension begins with ".mp" (any letter case): mp3, mp2, mpa...
bool IsAudioFileName(const std::filesystem::path& name);
// The audio files of a folder and its sub-folders: a folder's own files (sorted
// by name) before its sub-folders (sorted by name, each walked the same way).
// Linked folders are not followed; folders that cannot be read are passed over.
// Listing only reads: a journal of a save that was cut short is left for the next
// change of its file.
// The folders are listed on the shared thread pool.
std::vector<std::filesystem::path> ScanFolder(const std::filesystem::path& folder);
// The same, calling `progress` with the number of files found so far about every
// 50 ms while the folders are listed; nothing once it returned false.
std::optional<std::vector<std::filesystem::path>> ScanFolderWithProgress(
    const std::filesystem::path& folder, const std::function<bool(size_t found)>& progress);
// Paths as given: files as they are, folders scanned; order kept.
std::vector<std::filesystem::path> ExpandPaths(const std::vector<std::filesystem::path>& paths);

}  // namespace velmar
