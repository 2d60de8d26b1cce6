#pragma once
// Lists the audio files of folders as a browser window adds them.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Paths of files kept compactly: each path's bytes and a NUL in blocks of text, and
// where each one begins. A collection of 100,000 files costs its text and 8 bytes a
// path (a std::filesystem::path holds its parsed parts too). Never copied whole.
class TPathList {
public:
    TPathList() = default;
    TPathList(TPathList&&) noexcept = default;
    TPathList& operator=(TPathList&&) noexcept = default;
    TPathList(const TPathList&) = delete;
    TPathList& operator=(const TPathList&) = delete;

    size_t size() const { return Starts.size(); }
    bool empty() const { return Starts.empty(); }
    // The path, NUL-terminated; it stays where it is while the list lives.
    const char* operator[](size_t i) const { return Starts[i]; }
    std::string String(size_t i) const { return Starts[i]; }
    // `listedBare`: the path came from a listing of its folder that held no journal of
    // a save (a hidden name ending ".velmar-journal"), so none lies beside the file.
    void Add(std::string_view path, bool listedBare = false);
    bool ListedBare(size_t i) const { return i < Bare.size() && Bare[i]; }
    // The paths as objects, for the callers that work with a few of them.
    std::vector<std::filesystem::path> ToPaths() const;

private:
    std::vector<std::unique_ptr<char[]>> Blocks;
    std::vector<const char*> Starts;
    std::vector<bool> Bare;
    char* At = nullptr;  // the free room of the last block
    size_t Room = 0;
};

// True for a name whose extension begins with ".mp" (any letter case): mp3, mp2, mpa...
bool IsAudioFileName(const std::filesystem::path& name);
bool IsAudioFileName(std::string_view name);
// The audio files of a folder and its sub-folders: a folder's own files (sorted
// by name) before its sub-folders (sorted by name, each walked the same way).
// Linked folders are not followed; folders that cannot be read are passed over.
// Listing only reads: a journal of a save that was cut short is left for the next
// change of its file.
// The folders are listed on the shared thread pool.
std::vector<std::filesystem::path> ScanFolder(const std::filesystem::path& folder);
// The same, added to `out`.
void ScanFolderInto(const std::string& folder, TPathList& out);
// The same, calling `progress` with the number of files found so far about every
// 50 ms while the folders are listed; nothing once it returned false.
std::optional<std::vector<std::filesystem::path>> ScanFolderWithProgress(
    const std::filesystem::path& folder, const std::function<bool(size_t found)>& progress);
// Paths as given: files as they are, folders scanned; order kept.
std::vector<std::filesystem::path> ExpandPaths(const std::vector<std::filesystem::path>& paths);
// One path as given, added to `out`: a file as it is, a folder scanned. True for a folder.
bool ExpandPathInto(const std::string& path, TPathList& out);

}  // namespace velmar
