#pragma once
// The DATA folders a program reads formats and lists from. The desktop program
// keeps what the user made or changed in the user's own DATA folder, so that one
// is looked at before the shipped one.
#include <filesystem>
#include <string>
#include <vector>

namespace velmar {

// The user's own DATA folder: "Orvane Design/Velmar/DATA" in $XDG_DATA_HOME when
// that is an absolute path, else in ~/.local/share. Empty when neither is known.
std::filesystem::path UserDataFolder();

class TDataFolders {
public:
    explicit TDataFolders(std::vector<std::filesystem::path> folders) : Folders(std::move(folders)) {}
    // The user's own DATA folder, then `shipped`.
    static TDataFolders UserThen(const std::filesystem::path& shipped);

    // `relative` in the first folder that has `name` (a file or a folder) there; in
    // the first folder when none has.
    std::filesystem::path FolderWith(const std::filesystem::path& relative, const std::string& name) const;
    // The names `list` gives for `relative` in every folder, each name once, sorted as
    // format names are.
    std::vector<std::string> Names(const std::filesystem::path& relative,
                                   std::vector<std::string> (*list)(const std::filesystem::path&)) const;
    const std::vector<std::filesystem::path>& All() const { return Folders; }

private:
    std::vector<std::filesystem::path> Folders;
};

}  // namespace velmar
