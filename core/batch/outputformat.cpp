#include "batch/outputformat.h"

#include <algorithm>

#include <strings.h>

#include <cctype>
#include <fstream>
#include <system_error>

namespace velmar {

namespace fs = std::filesystem;

namespace {

// A text frame's text without the zero bytes that some writers end it with.
std::string FrameText(const std::string& text) {
    const size_t end = text.find_last_not_of('\0');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool IsDecimal(std::string_view s) {
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) s.remove_prefix(1);
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The first `count` characters of a UTF-8 text.
std::string FirstCharacters(std::string_view text, size_t count) {
    size_t at = 0;
    for (size_t n = 0; at < text.size() && n < count; ++n) {
        ++at;
        while (at < text.size() && (uint8_t(text[at]) & 0xC0) == 0x80) ++at;
    }
    return std::string(text.substr(0, at));
}

}  // namespace

const std::array<const char*, kTokenCount>& TokenTagNames() {
    static const std::array<const char*, kTokenCount> kNames = {
        "Artist / Group", "Title",         "Sub-Title",   "Remix / Cover", "Comment", "Album", "Genre",
        "Encoded By",     "Encoded Using", "Song Length", "Track Number",  "Year",    "BPM"};
    return kNames;
}

const TTokenValues& SampleValues() {
    static const TTokenValues kValues = {"The Kestrels",
                                         "No Good",
                                         "Start The Dance",
                                         "Dex Tarrant Remix",
                                         "Recorded at XL Studios",
                                         "Music For The Jilted Generation",
                                         "Techno",
                                         "Nightowl^Qor",
                                         "AudioCatalyst v1.5",
                                         "06:29",
                                         "09",
                                         "1994",
                                         "150"};
    return kValues;
}

// The token at `at`: its number when "%" is followed by two digits, else kTokenCount.
size_t TokenAt(std::string_view mask, size_t at) {
    if (at + 2 >= mask.size() || mask[at] != '%') return kTokenCount;
    const char a = mask[at + 1], b = mask[at + 2];
    if (a < '0' || a > '9' || b < '0' || b > '9') return kTokenCount;
    const size_t n = size_t(a - '0') * 10 + size_t(b - '0');
    return n < kTokenCount ? n : kTokenCount;
}

std::string ExpandMask(std::string_view mask, const TTokenValues& values, const TTags& format, std::string_view mode) {
    std::string out;
    for (size_t i = 0; i < mask.size();) {
        if (mask[i] != '%' || i + 2 >= mask.size()) {
            out += mask[i++];
            continue;
        }
        // "%" and two characters: a token when they are a number 00 to 12, else copied as they are.
        const size_t n = TokenAt(mask, i);
        if (n == kTokenCount)
            out.append(mask.substr(i, 3));
        else if (!values[n].empty())
            out += format.PreSuffix[n].Prefix + values[n] + format.PreSuffix[n].Suffix;
        else if (mode == kModeMakeList)
            out += format.User;
        i += 3;
    }
    return out;
}

TTokenValues GatherFileValues(const TMP3Object& file) {
    TTokenValues v;
    const TID3v1Object& v1 = file.ID3v1();
    if (v1.Present) {
        auto field = [](const std::string& f) { return Latin1ToUtf8(TID3v1Object::FieldText(f)); };
        v[0] = field(v1.Artist);
        v[1] = field(v1.Title);
        v[4] = field(v1.Comment);
        v[5] = field(v1.Album);
        v[11] = field(v1.Year);
        v[6] = v1.GenreName;
        v[10] = v1.TrackText;
    }
    const TID3v2Object& v2 = file.ID3v2();
    if (v2.Present && v2.Valid) {
        // A frame that is present wins, even with an empty text.
        const std::pair<const TTxtFrame*, size_t> texts[] = {{&v2.TPE1, 0}, {&v2.TIT2, 1},  {&v2.TIT3, 2},
                                                             {&v2.TPE4, 3}, {&v2.TALB, 5},  {&v2.TENC, 7},
                                                             {&v2.TSSE, 8}, {&v2.TYER, 11}, {&v2.TBPM, 12}};
        for (const auto& [frame, n] : texts)
            if (frame->FrameHeader.Present) v[n] = FrameText(frame->Text);
        if (v2.COMMCount > 0 && !v2.COMM.empty()) v[4] = FrameText(v2.COMM[0].Text);
        if (v2.TCON.FrameHeader.Present) v[6] = FrameText(v2.TCON.Refinement);
        if (v2.TRCK.FrameHeader.Present) v[10] = FormatTwoDigits(v2.TRCK.Number);
    }
    v[9] = file.SongLength;
    return v;
}

TMatchResult MatchFileName(std::string_view name, std::string_view mask) {
    TMatchResult r;
    r.Success = true;
    bool leadingLiteral = true;
    auto fail = [&r] {
        r.Success = false;
        return r;
    };
    while (!mask.empty()) {
        if (mask[0] == '%' && mask.size() > 2) {
            if (!std::isdigit(uint8_t(mask[1])) || !std::isdigit(uint8_t(mask[2]))) return fail();
            const size_t n = size_t(mask[1] - '0') * 10 + size_t(mask[2] - '0');
            if (n >= kTokenCount) return fail();
            mask.remove_prefix(3);
            bool stop = false;
            const size_t next = mask.find('%');
            if (mask.empty()) {
                r.Fields[n] = name;  // the last token takes the rest of the name
                stop = true;
            } else if (next != std::string_view::npos) {
                // The literal up to the next token separates this value from the next.
                const std::string_view separator = mask.substr(0, next);
                const size_t at = separator.empty() ? std::string_view::npos : name.find(separator);
                if (at == std::string_view::npos) return fail();
                r.Fields[n] = name.substr(0, at);
                name.remove_prefix(at + separator.size());
                mask.remove_prefix(next);
            } else {
                // A literal ends the mask: the value runs up to it; what follows it is ignored.
                const size_t at = name.find(mask);
                if (at == std::string_view::npos)
                    r.Success = false;
                else
                    r.Fields[n] = name.substr(0, at);
                stop = true;
            }
            if (n == 10 && !IsDecimal(r.Fields[10])) r.Success = false;
            if (stop) break;
            continue;
        }
        if (name.empty() || !leadingLiteral || name[0] != mask[0]) return fail();
        // Equal leading characters are taken from both, up to the first difference.
        while (!name.empty() && !mask.empty() && name[0] == mask[0]) {
            name.remove_prefix(1);
            mask.remove_prefix(1);
        }
        leadingLiteral = false;
    }
    for (std::string& field : r.Fields)
        if (field.size() > kMaxParsedField) field = FirstCharacters(field, kMaxParsedField);
    return r;
}

bool IsFormatName(std::string_view name) {
    return !name.empty() && name[0] != '.' && name.find('/') == std::string_view::npos &&
           name.find('\\') == std::string_view::npos;
}

std::optional<TTags> LoadFormat(const fs::path& folder, const std::string& name, TMessageSink& sink) {
    std::ifstream in(folder / name, std::ios::binary);
    if (!IsFormatName(name) || !in) {
        sink.Error("File: " + (folder / "").string() + name + " not found!");
        return std::nullopt;
    }
    TTags format;
    std::array<TPreSuffix, kTokenCount>& entries = format.PreSuffix;
    std::string line;
    enum { None, UserLine, Prefixes, Suffixes } block = None;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (block == UserLine) {
            block = None;
            if (line.size() > 4 && line.find('=') != std::string::npos && strncasecmp(line.c_str(), "USER=", 5) == 0) {
                format.User = line.substr(5);
                continue;
            }
        }
        if (line == "[Misc]")
            block = UserLine;
        else if (line == "[Prefix]")
            block = Prefixes;
        else if (line == "[Suffix]")
            block = Suffixes;
        else if (line.empty())
            block = None;
        else if ((block == Prefixes || block == Suffixes) && line.find('=') == 2) {
            if (!IsDecimal(line.substr(0, 2))) {
                sink.Error("Config Error!");
                continue;
            }
            const int n = std::stoi(line.substr(0, 2));
            if (n < 0 || n >= int(kTokenCount)) continue;
            (block == Prefixes ? entries[size_t(n)].Prefix : entries[size_t(n)].Suffix) = line.substr(3);
        }
    }
    return format;
}

bool SaveFormat(const fs::path& folder, const std::string& name, const TTags& format, TMessageSink& sink) {
    if (!IsFormatName(name)) {
        sink.Error("\"" + name +
                   "\" cannot name an output format: it is empty, holds a path separator or begins with \".\".");
        return false;
    }
    if (format.User.size() > kMaxMaskLength) {
        sink.Error("The mask has " + std::to_string(format.User.size()) + " characters; a mask holds at most " +
                   std::to_string(kMaxMaskLength) + ".");
        return false;
    }
    std::string text = "; do not edit this file!\r\n\r\n[Misc]\r\nuser=" + format.User + "\r\n";
    for (const bool prefix : {true, false}) {
        text += prefix ? "\r\n[Prefix]\r\n" : "\r\n[Suffix]\r\n";
        for (size_t n = 0; n < kTokenCount; ++n) {
            const std::string& value = prefix ? format.PreSuffix[n].Prefix : format.PreSuffix[n].Suffix;
            if (!value.empty()) text += FormatTwoDigits(int64_t(n)) + "=" + value + "\r\n";
        }
    }
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        sink.Error("Error saving config!");
        return false;
    }
    return true;
}

std::vector<std::string> ListFormats(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec)) names.push_back(entry.path().filename().string());
    SortNames(names);
    return names;
}

void SortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
}

}  // namespace velmar
