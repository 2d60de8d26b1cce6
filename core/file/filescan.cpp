#include "filescan.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <system_error>

#include "base/threadpool.h"

namespace velmar {

namespace fs = std::filesystem;

bool IsAudioFileName(const fs::path& name) {
    const std::string ext = name.extension().string();
    return ext.size() >= 3 && ext[0] == '.' && std::tolower(uint8_t(ext[1])) == 'm' &&
           std::tolower(uint8_t(ext[2])) == 'p';
}

namespace {

// One folder's audio files and sub-folders, each sorted by name.
struct TListing {
    std::vector<fs::path> Files, Folders;
};

TListing ListFolder(const fs::path& folder) {
    TListing listing;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code kindError;
        if (it->is_directory(kindError)) {
            if (!it->is_symlink(kindError)) listing.Folders.push_back(it->path());  // no loops through links
        } else if (IsAudioFileName(it->path().filename()) && it->is_regular_file(kindError)) {
            listing.Files.push_back(it->path());
        }
    }
    // Names of one folder: their text orders them as the paths' own comparison does, faster.
    auto byName = [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); };
    std::sort(listing.Files.begin(), listing.Files.end(), byName);
    std::sort(listing.Folders.begin(), listing.Folders.end(), byName);
    return listing;
}

// A listed folder of the tree; its sub-folders are the nodes First..First+Count-1.
struct TNode {
    std::vector<fs::path> Files;
    size_t First = 0, Count = 0;
};

void Assemble(std::vector<TNode>& nodes, size_t node, std::vector<fs::path>& out) {
    TNode& n = nodes[node];
    std::move(n.Files.begin(), n.Files.end(), std::back_inserter(out));
    for (size_t k = 0; k < n.Count; ++k) Assemble(nodes, n.First + k, out);
}

// Lists the tree level by level, every folder of a level at once on the pool, then
// puts the files together in the order of a walk that goes depth first.
std::optional<std::vector<fs::path>> Scan(const fs::path& root, const std::function<bool(size_t)>& progress) {
    std::vector<TNode> nodes;  // level by level, each level in the order of its parents
    std::vector<fs::path> level{root};
    size_t found = 0;
    std::function<bool()> idle;
    if (progress) idle = [&] { return progress(found); };
    while (!level.empty()) {
        const size_t first = nodes.size();
        std::vector<fs::path> next;
        const bool listed = OrderedMap<TListing>(
            level.size(), [&level](size_t i) { return ListFolder(level[i]); },
            [&](size_t, TItemResult<TListing>&& r) {
                TNode node;
                if (r.Value) {
                    node.Files = std::move(r.Value->Files);
                    node.First = first + level.size() + next.size();
                    node.Count = r.Value->Folders.size();
                    std::move(r.Value->Folders.begin(), r.Value->Folders.end(), std::back_inserter(next));
                }
                found += node.Files.size();
                nodes.push_back(std::move(node));
                return true;
            },
            idle);
        if (!listed) return std::nullopt;
        level = std::move(next);
    }
    std::vector<fs::path> out;
    out.reserve(found);
    Assemble(nodes, 0, out);
    return out;
}

}  // namespace

std::vector<fs::path> ScanFolder(const fs::path& folder) { return *Scan(folder, {}); }

std::optional<std::vector<fs::path>> ScanFolderWithProgress(const fs::path& folder,
                                                            const std::function<bool(size_t)>& progress) {
    return Scan(folder, progress);
}

std::vector<fs::path> ExpandPaths(const std::vector<fs::path>& paths) {
    std::vector<fs::path> out;
    for (const fs::path& p : paths) {
        std::error_code ec;
        if (fs::is_directory(p, ec)) {
            const auto found = ScanFolder(p);
            out.insert(out.end(), found.begin(), found.end());
        } else {
            out.push_back(p);
        }
    }
    return out;
}

}  // namespace velmar
