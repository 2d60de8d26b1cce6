#include "batch/datafolders.h"

#include <algorithm>

#include <cstdlib>
#include "batch/outputformat.h"

namespace velmar {

namespace fs = std::filesystem;

fs::path UserDataFolder() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && fs::path(xdg).is_absolute())
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && fs::path(home).is_absolute())
        base = fs::path(home) / ".local" / "share";
    return base.empty() ? base : base / "Orvane Design" / "Velmar" / "DATA";
}

TDataFolders TDataFolders::UserThen(const fs::path& shipped) {
    std::vector<fs::path> folders;
    if (fs::path user = UserDataFolder(); !user.empty() && user != shipped) folders.push_back(std::move(user));
    folders.push_back(shipped);
    return TDataFolders(std::move(folders));
}

fs::path TDataFolders::FolderWith(const fs::path& relative, const std::string& name) const {
    std::error_code ec;
    for (const fs::path& folder : Folders)
        if (fs::exists(folder / relative / name, ec)) return folder / relative;
    return Folders.empty() ? relative : Folders.front() / relative;
}

std::vector<std::string> TDataFolders::Names(const fs::path& relative,
                                             std::vector<std::string> (*list)(const fs::path&)) const {
    std::vector<std::string> names;
    for (const fs::path& folder : Folders) {
        const std::vector<std::string> here = list(folder / relative);
        names.insert(names.end(), here.begin(), here.end());
    }
    SortNames(names);
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

}  // namespace velmar
