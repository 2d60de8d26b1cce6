#include "playlist.h"

#include "file/filescan.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace velmar {

namespace fs = std::filesystem;

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return s;
}

void WriteLines(const fs::path& file, const std::vector<std::string>& lines) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create \"" + file.string() + "\": " + std::strerror(errno));
    for (const std::string& line : lines) out << line << "\r\n";
    out.close();
    if (!out) throw std::runtime_error("Cannot write \"" + file.string() + "\": " + std::strerror(errno));
}

// The file's lines without their CR LF or LF ends; a leading UTF-8 byte-order mark is dropped.
std::optional<std::vector<std::string>> ReadLines(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

std::optional<int> Number(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

// Number i of a name "WND<i>.m3u" (any letter case); -1 for other names.
long SavedWindowNumber(const std::string& name) {
    const std::string upper = UpperAscii(name);
    if (!upper.starts_with("WND") || !upper.ends_with(".M3U") || upper.size() <= 7) return -1;
    const std::string_view digits(upper.data() + 3, upper.size() - 7);
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos) return -1;
    return std::stol(std::string(digits));
}

}  // namespace

TPlaylistKind PlaylistKindOf(const fs::path& file) {
    const std::string ext = UpperAscii(file.extension().string());
    if (ext == ".M3U") return TPlaylistKind::M3U;
    if (ext == ".PLS") return TPlaylistKind::PLS;
    return TPlaylistKind::Other;
}

void WritePlaylist(const fs::path& file, const std::vector<std::string>& names) {
    std::vector<std::string> lines;
    switch (PlaylistKindOf(file)) {
        case TPlaylistKind::M3U: lines = names; break;
        case TPlaylistKind::PLS:
            lines.push_back("[playlist]");
            for (size_t k = 0; k < names.size(); ++k) lines.push_back("File" + std::to_string(k + 1) + "=" + names[k]);
            lines.push_back("NumberOfEntries=" + std::to_string(names.size()));
            break;
        case TPlaylistKind::Other: break;
    }
    WriteLines(file, lines);
}

std::vector<std::string> ReadPlaylist(const fs::path& file) {
    const TPlaylistKind kind = PlaylistKindOf(file);
    const auto lines = ReadLines(file);
    if (!lines) throw std::runtime_error("Cannot read \"" + file.string() + "\": " + std::strerror(errno));
    std::error_code ec;
    fs::path folder = fs::absolute(file, ec).parent_path();
    if (ec) folder = file.parent_path();

    std::vector<std::string> names;
    auto add = [&](const std::string& entry) {
        if (entry.empty()) return;
        fs::path path(entry);
        if (path.is_relative()) path = (folder / path).lexically_normal();
        std::error_code statError;
        if (fs::is_regular_file(path, statError)) names.push_back(path.string());
    };
    for (const std::string& line : *lines) {
        if (kind == TPlaylistKind::M3U) {
            if (!line.starts_with("#")) add(line);  // "#EXTM3U", "#EXTINF:" and other comments
        } else if (kind == TPlaylistKind::PLS) {
            if (line.starts_with("[") || line.find("NumberOfEntries") != std::string::npos) continue;
            // Only "File<k>=" lines name files ("Title<k>=", "Length<k>=" do not); the
            // name is everything after the first "=", so it may hold "=" itself.
            const size_t eq = line.find('=');
            if (eq == std::string::npos || !UpperAscii(line.substr(0, eq)).starts_with("FILE")) continue;
            add(line.substr(eq + 1));
        }
    }
    return names;
}

void WriteWindowControl(const fs::path& ctl, const TWindowPlacement& placement) {
    std::vector<std::string> lines = {std::to_string(placement.Width), std::to_string(placement.Height),
                                      std::to_string(placement.Left), std::to_string(placement.Top),
                                      std::to_string(placement.State)};
    for (const bool selected : placement.Selected) lines.push_back(selected ? "1" : "0");
    WriteLines(ctl, lines);
}

std::optional<TWindowPlacement> ReadWindowControl(const fs::path& ctl) {
    const auto lines = ReadLines(ctl);
    if (!lines || lines->size() < 5) return std::nullopt;
    int values[5];
    for (size_t i = 0; i < 5; ++i) {
        const auto n = Number((*lines)[i]);
        if (!n) return std::nullopt;
        values[i] = *n;
    }
    TWindowPlacement p;
    p.Width = values[0];
    p.Height = values[1];
    p.Left = values[2];
    p.Top = values[3];
    p.State = values[4];
    for (size_t i = 5; i < lines->size(); ++i) p.Selected.push_back(Number((*lines)[i]) == 1);
    return p;
}

std::vector<fs::path> SavedWindowLists(const fs::path& folder) {
    std::vector<std::pair<long, fs::path>> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const long n = SavedWindowNumber(it->path().filename().string());
        std::error_code statError;
        if (n >= 0 && it->is_regular_file(statError)) found.emplace_back(n, it->path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> lists;
    for (auto& [n, path] : found) lists.push_back(std::move(path));
    return lists;
}

std::string CommonFolderName(const std::vector<std::string>& files) {
    if (files.empty()) return {};
    // The common folder as text ending with a separator; each file outside it shortens it
    // to the last separator both share.
    const char sep = char(fs::path::preferred_separator);
    std::string common = files.front().substr(0, files.front().rfind(sep) + 1);
    for (const std::string& file : files) {
        if (file.compare(0, common.size(), common) == 0) continue;
        size_t same = 0;
        while (same < common.size() && same < file.size() && common[same] == file[same]) ++same;
        common.resize(common.rfind(sep, same == 0 ? 0 : same - 1) + 1);
    }
    while (!common.empty() && common.back() == sep) common.pop_back();
    return fs::path(common).filename().string();
}

TGatheredFiles GatherFiles(const std::vector<fs::path>& paths, bool playlists) {
    TGatheredFiles out;
    for (const fs::path& given : paths) {
        std::error_code ec;
        const fs::path path = fs::absolute(given, ec).lexically_normal();
        if (fs::is_directory(path, ec)) {
            for (fs::path& file : ScanFolder(path)) out.Files.push_back(std::move(file));
        } else if (playlists && PlaylistKindOf(path) != TPlaylistKind::Other) {
            try {
                for (const std::string& entry : ReadPlaylist(path)) out.Files.emplace_back(entry);
            } catch (const std::exception& e) {
                out.Errors.emplace_back(path, e.what());
            }
        } else if (IsAudioFileName(path.filename()) || (playlists && fs::exists(path, ec))) {
            out.Files.push_back(path);
        } else {
            ++out.Skipped;
            if (playlists) out.Errors.emplace_back(path, "File not found.");
        }
    }
    return out;
}

}  // namespace velmar
