#include "filescan.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace velmar {

namespace fs = std::filesystem;

bool IsAudioFileName(const fs::path& name) {
    const std::string ext = name.extension().string();
    return ext.size() >= 3 && ext[0] == '.' && std::tolower(uint8_t(ext[1])) == 'm' &&
           std::tolower(uint8_t(ext[2])) == 'p';
}

namespace {
void Walk(const fs::path& folder, std::vector<fs::path>& out) {
    std::vector<fs::path> files, folders;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code kindError;
        if (it->is_directory(kindError)) {
            if (!it->is_symlink(kindError)) folders.push_back(it->path());  // no loops through links
        } else if (IsAudioFileName(it->path().filename()) && it->is_regular_file(kindError)) {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const fs::path& f : folders) Walk(f, out);
}
}  // namespace

std::vector<fs::path> ScanFolder(const fs::path& folder) {
    std::vector<fs::path> out;
    Walk(folder, out);
    return out;
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
