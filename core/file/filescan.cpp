#include "filescan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "base/threadpool.h"
#include "file/inplace.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

// The blocks of a path list: big enough that their headers cost nothing, small
// enough that the room left in the last one does not count.
constexpr size_t kPathBlock = size_t(64) << 10;

}  // namespace

void TPathList::Add(std::string_view path, bool listedBare) {
    const size_t need = path.size() + 1;
    if (need > Room) {
        Room = std::max(kPathBlock, need);
        Blocks.push_back(std::make_unique_for_overwrite<char[]>(Room));
        At = Blocks.back().get();
    }
    std::memcpy(At, path.data(), path.size());
    At[path.size()] = '\0';
    Starts.push_back(At);
    Bare.push_back(listedBare);
    At += need;
    Room -= need;
}

std::vector<fs::path> TPathList::ToPaths() const {
    std::vector<fs::path> paths;
    paths.reserve(size());
    for (const char* p : Starts) paths.emplace_back(p);
    return paths;
}

bool IsAudioFileName(std::string_view name) {
    // The extension as a path gives it: from the last dot, unless that dot begins the name.
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return false;
    return name.size() - dot >= 3 && std::tolower(uint8_t(name[dot + 1])) == 'm' &&
           std::tolower(uint8_t(name[dot + 2])) == 'p';
}

bool IsAudioFileName(const fs::path& name) {
    const std::string ext = name.extension().string();
    return ext.size() >= 3 && ext[0] == '.' && std::tolower(uint8_t(ext[1])) == 'm' &&
           std::tolower(uint8_t(ext[2])) == 'p';
}

namespace {

// `folder` / `name` into `path`, as a path joins them: no second separator.
void Join(std::string& path, const std::string& folder, std::string_view name) {
    path.assign(folder);
    if (!path.empty() && path.back() != '/') path += '/';
    path.append(name);
}

// One folder's audio files (their names, each ended by a NUL) and sub-folders (their
// paths), each sorted by name.
struct TListing {
    std::string Names;
    size_t Count = 0;
    std::vector<std::string> Folders;
    bool Journals = false;  // a hidden entry named as a journal of a save is among the entries
};

bool IsJournalName(std::string_view name) { return name.starts_with('.') && name.ends_with(kJournalEnding); }

// The kinds come from the folder's entries, so a listing costs no call per entry; only a
// link, or an entry of a file system that gives no kind, is looked at.
TListing ListFolder(const std::string& folder) {
    TListing listing;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return listing;  // a folder that cannot be read is passed over
    std::vector<std::string> names;
    std::string path;
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (name[0] == '.' && !listing.Journals) listing.Journals = IsJournalName(name);
        const bool audio = IsAudioFileName(std::string_view(name));
        bool folderEntry = e->d_type == DT_DIR;
        if (e->d_type == DT_REG) {
            if (audio) names.emplace_back(name);
            continue;
        }
        if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            // A link to a folder is never followed (no loops through links); a link to
            // a file is listed under its own name.
            if (e->d_type == DT_LNK && !audio) continue;
            struct stat st {};
            if (::fstatat(::dirfd(dir), name, &st, 0) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                struct stat own {};
                folderEntry = e->d_type == DT_UNKNOWN &&
                              ::fstatat(::dirfd(dir), name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(own.st_mode);
            } else if (audio && S_ISREG(st.st_mode)) {
                names.emplace_back(name);
            }
        }
        if (folderEntry) {
            Join(path, folder, name);
            listing.Folders.push_back(path);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    std::sort(listing.Folders.begin(), listing.Folders.end());
    size_t bytes = 0;
    for (const std::string& n : names) bytes += n.size() + 1;
    listing.Names.reserve(bytes);
    for (const std::string& n : names) listing.Names.append(n).push_back('\0');
    listing.Count = names.size();
    return listing;
}

// A listed folder of the tree; its sub-folders are the nodes First..First+Children-1.
struct TNode {
    std::string Folder, Names;
    size_t First = 0, Children = 0;
    bool Journals = true;
};

void Assemble(std::vector<TNode>& nodes, size_t node, std::string& path, TPathList& out) {
    TNode& n = nodes[node];
    for (size_t at = 0; at < n.Names.size();) {
        const std::string_view name(n.Names.c_str() + at);
        Join(path, n.Folder, name);
        out.Add(path, !n.Journals);
        at += name.size() + 1;
    }
    std::string().swap(n.Names);  // the names are in the list now
    for (size_t k = 0; k < n.Children; ++k) Assemble(nodes, n.First + k, path, out);
}

// Lists the tree level by level, every folder of a level at once on the pool, then
// puts the files together in the order of a walk that goes depth first.
bool Scan(const std::string& root, const std::function<bool(size_t)>& progress, TPathList& out) {
    std::vector<TNode> nodes;  // level by level, each level in the order of its parents
    std::vector<std::string> level{root};
    size_t found = 0;
    std::function<bool()> idle;
    if (progress) idle = [&] { return progress(found); };
    while (!level.empty()) {
        const size_t first = nodes.size();
        std::vector<std::string> next;
        const bool listed = OrderedMap<TListing>(
            level.size(), [&level](size_t i) { return ListFolder(level[i]); },
            [&](size_t i, TItemResult<TListing>&& r) {
                TNode node;
                node.Folder = level[i];
                if (r.Value) {
                    node.Names = std::move(r.Value->Names);
                    node.Journals = r.Value->Journals;
                    found += r.Value->Count;
                    node.First = first + level.size() + next.size();
                    node.Children = r.Value->Folders.size();
                    std::move(r.Value->Folders.begin(), r.Value->Folders.end(), std::back_inserter(next));
                }
                nodes.push_back(std::move(node));
                return true;
            },
            idle);
        if (!listed) return false;
        level = std::move(next);
    }
    std::string path;
    Assemble(nodes, 0, path, out);
    return true;
}

}  // namespace

void ScanFolderInto(const std::string& folder, TPathList& out) { Scan(folder, {}, out); }

std::vector<fs::path> ScanFolder(const fs::path& folder) {
    TPathList files;
    Scan(folder.string(), {}, files);
    return files.ToPaths();
}

std::optional<std::vector<fs::path>> ScanFolderWithProgress(const fs::path& folder,
                                                            const std::function<bool(size_t)>& progress) {
    TPathList files;
    if (!Scan(folder.string(), progress, files)) return std::nullopt;
    return files.ToPaths();
}

bool ExpandPathInto(const std::string& path, TPathList& out) {
    struct stat st {};
    const bool folder = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (folder)
        ScanFolderInto(path, out);
    else
        out.Add(path);
    return folder;
}

std::vector<fs::path> ExpandPaths(const std::vector<fs::path>& paths) {
    TPathList out;
    for (const fs::path& p : paths) ExpandPathInto(p.string(), out);
    return out.ToPaths();
}

}  // namespace velmar
