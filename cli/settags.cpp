#include "settags.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <string_view>

#include "edit/editorfields.h"
#include "edit/tagedit.h"
#include "report.h"

namespace velmar::cli {

const char* const kSetUsage =
    "usage: velmar-cli set [options] PATH...\n"
    "  --title T --artist A --album A --year Y --track N[/M] --genre NAME\n"
    "      set the ID3v2 frame and the ID3v1 field; an empty value removes it\n"
    "  --comment C [--comment-lang LANG] [--comment-desc TEXT]\n"
    "      the comment of that language (three letters) and description; without\n"
    "      them the plain comment, a new one in \"ENG\"; an empty C removes it\n"
    "  --frame ID=TEXT   a text or URL frame (--frame TCOM=Ada Byrne); numbers where the\n"
    "                    frame holds numbers, N or N/M in TRCK and TPOS, a URL in W...\n"
    "  --txxx DESC=TEXT --wxxx DESC=URL   user texts and URLs; an empty value removes\n"
    "  --lyrics FILE     the lyrics (USLT, \"eng\", no description) from a UTF-8 text\n"
    "                    file; an empty file removes them\n"
    "  --picture FILE[:TYPE[:DESC]]   adds the picture, or replaces the one of the same\n"
    "                    type (0-20, default 3, front cover) and description (default\n"
    "                    empty); FILE ends in .jpg, .jpeg, .png, .gif, .bmp or .ico\n"
    "  --remove-pictures removes every picture (before the --picture ones are added)\n"
    "  --remove ID       removes every frame with this identifier\n"
    "  --v2/--no-v2 --v1/--no-v1 --lyrics3/--no-lyrics3   the tags to write (default:\n"
    "                    the tags the file has, plus ID3v2 when an ID3v2 value is set);\n"
    "                    a new ID3v1 tag takes its values from the ID3v2 tag\n"
    "  --replace-v2      writes a new ID3v2 tag over one that is not understood\n"
    "  A picture or lyrics file that cannot be read leaves every FILE untouched.\n";

namespace {

namespace fs = std::filesystem;

// A text or URL frame that takes one value (not the user frames TXXX and WXXX).
bool IsSingleValueFrameID(const std::string& id) {
    return id.size() == 4 && (id[0] == 'T' || id[0] == 'W') && id != "TXXX" && id != "WXXX" && IsKnownFrameID(id);
}

// Options without a value; false for any other argument.
bool ParseFlag(const std::string& a, TSetOptions& o) {
    if (a == "--v2" || a == "--no-v2")
        o.WriteV2 = a == "--v2";
    else if (a == "--v1" || a == "--no-v1")
        o.WriteV1 = a == "--v1";
    else if (a == "--lyrics3" || a == "--no-lyrics3")
        o.WriteLyrics3 = a == "--lyrics3";
    else if (a == "--replace-v2")
        o.ReplaceV2 = true;
    else if (a == "--remove-pictures")
        o.RemovePictures = true;
    else
        return false;
    return true;
}

// The options whose value is taken as it is.
std::optional<std::string> TSetOptions::*PlainValue(const std::string& a) {
    static const std::pair<std::string_view, std::optional<std::string> TSetOptions::*> kPlain[] = {
        {"--title", &TSetOptions::Title},
        {"--artist", &TSetOptions::Artist},
        {"--album", &TSetOptions::Album},
        {"--year", &TSetOptions::Year},
        {"--comment", &TSetOptions::Comment},
        {"--genre", &TSetOptions::Genre},
        {"--comment-desc", &TSetOptions::CommentDescription},
        {"--lyrics", &TSetOptions::LyricsFile}};
    for (const auto& [name, member] : kPlain)
        if (a == name) return member;
    return nullptr;
}

// FILE[:TYPE[:DESC]]. A file name may hold colons itself: TYPE is the first run of
// digits after a colon that ends the argument or is followed by a colon.
std::string ParsePicture(const std::string& v, TSetOptions& o) {
    TPictureOption p;
    p.File = v;
    for (size_t colon = v.find(':'); colon != std::string::npos; colon = v.find(':', colon + 1)) {
        const size_t end = std::min(v.find_first_not_of("0123456789", colon + 1), v.size());
        if (end == colon + 1 || (end < v.size() && v[end] != ':')) continue;
        int type = 0;
        std::from_chars(v.data() + colon + 1, v.data() + end, type);
        if (end - colon > 3 || type > 20)
            return "--picture takes a picture type 0-20, not \"" + v.substr(colon + 1, end - colon - 1) + "\"";
        p.File = v.substr(0, colon);
        p.Type = uint8_t(type);
        if (end < v.size()) p.Description = v.substr(end + 1);
        break;
    }
    p.MimeType = PictureMimeType(p.File);
    if (p.MimeType.empty())
        return "--picture: unknown picture file extension \"" + fs::path(p.File).extension().string() +
               "\" (FILE[:TYPE[:DESC]] takes a .jpg, .jpeg, .png, .gif, .bmp or .ico file)";
    o.Pictures.push_back(std::move(p));
    return {};
}

// DESC=VALUE of --txxx and --wxxx.
std::string ParseUserFrame(const std::string& a, const std::string& v, TSetOptions& o) {
    const size_t equals = v.find('=');
    if (equals == std::string::npos)
        return a + " takes DESC=" + (a == "--txxx" ? "TEXT" : "URL") + ", not \"" + v + "\"";
    (a == "--txxx" ? o.UserTexts : o.UserUrls).emplace_back(v.substr(0, equals), v.substr(equals + 1));
    return {};
}

// One option and its value; returns an error text for a bad value.
std::string ParseValue(const std::string& a, const std::string& v, TSetOptions& o) {
    if (a == "--year" && (v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos))
        return "--year takes a year of up to four digits (or nothing, to remove it), not \"" + v + "\"";
    if (auto member = PlainValue(a)) {
        o.*member = v;
        return {};
    }
    if (a == "--track") {
        int n, t;
        o.Track = v;
        return TTagEdit::ParseNumberPair(v, n, t) ? "" : "--track takes N or N/M, not \"" + v + "\"";
    }
    if (a == "--comment-lang") {
        o.CommentLanguage = v;
        const bool letters = v.size() == 3 && std::all_of(v.begin(), v.end(), [](char c) {
                                 return std::isalpha(static_cast<unsigned char>(c)) != 0;
                             });
        return letters ? "" : "--comment-lang takes a language of three letters, not \"" + v + "\"";
    }
    if (a == "--frame") {
        const std::string id = v.substr(0, v.find('='));
        if (v.find('=') == std::string::npos || !IsSingleValueFrameID(id))
            return "--frame takes ID=TEXT with the identifier of a text or URL frame, not \"" + v + "\"";
        if (const std::string problem = TTagEdit::FrameValueProblem(id, v.substr(5)); !problem.empty())
            return "--frame " + id + " " + problem + ", not \"" + v.substr(5) + "\"";
        o.Frames.emplace_back(id, v.substr(5));
        return {};
    }
    if (a == "--remove") {
        if (!IsWellFormedFrameID(v)) return "--remove takes a frame identifier, not \"" + v + "\"";
        o.Removals.push_back(v);
        return {};
    }
    if (a == "--picture") return ParsePicture(v, o);
    return ParseUserFrame(a, v, o);
}

std::string ReadWhole(const std::string& file, TBytes& data) {
    try {
        TFileStream in(file, TFileStream::OpenRead);
        data = StreamReadBytes(in, size_t(in.Size()));
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

std::string PictureMimeType(const std::string& file) {
    std::string ext = fs::path(file).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return char(std::tolower(uint8_t(c))); });
    static const std::pair<std::string_view, const char*> kTypes[] = {{".jpg", "image/jpeg"},   {".jpeg", "image/jpeg"},
                                                                      {".png", "image/png"},    {".gif", "image/gif"},
                                                                      {".bmp", "image/bitmap"}, {".ico", "image/ico"}};
    for (const auto& [extension, mime] : kTypes)
        if (ext == extension) return mime;
    return {};
}

std::vector<TOptionSpec> SetOptionSpecs() {
    std::vector<TOptionSpec> specs;
    for (std::string_view flag : {"--v2", "--no-v2", "--v1", "--no-v1", "--lyrics3", "--no-lyrics3", "--replace-v2",
                                  "--remove-pictures"})
        specs.push_back({flag});
    for (std::string_view valued : {"--title", "--artist", "--album", "--year", "--comment", "--genre", "--comment-desc",
                                    "--lyrics", "--track", "--comment-lang", "--frame", "--remove", "--txxx", "--wxxx",
                                    "--picture"})
        specs.push_back({valued, true});
    return specs;
}

std::string ParseSetOptions(const TArgs& args, TSetOptions& o) {
    for (const auto& [name, value] : args.Options) {
        if (ParseFlag(name, o)) continue;
        if (std::string error = ParseValue(name, value, o); !error.empty()) return error;
    }
    if ((o.CommentLanguage || o.CommentDescription) && !o.Comment)
        return "--comment-lang and --comment-desc go with --comment";
    if (args.Operands.empty()) return "set needs at least one file";
    return {};
}

std::string ReadSetFiles(TSetOptions& o) {
    for (TPictureOption& p : o.Pictures) {
        if (std::string error = ReadWhole(p.File, p.Data); !error.empty()) return Printable(error);
        // No picture data would mean "remove the picture": an empty file is not a picture.
        if (p.Data.empty()) return "The picture file \"" + Printable(p.File) + "\" is empty.";
    }
    if (o.LyricsFile) {
        TBytes text;
        if (std::string error = ReadWhole(*o.LyricsFile, text); !error.empty()) return Printable(error);
        // A byte-order mark is not text; a file that is not UTF-8 is taken as Latin-1.
        const size_t bom = text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF ? 3 : 0;
        o.Lyrics = DecodeUtf8(text.data() + bom, text.size() - bom);
    }
    return {};
}

namespace {

// The ID3v2 changes: removed frames first, then the values; old pictures go before new ones come.
void EditID3v2(TTagEdit& edit, const TSetOptions& o) {
    for (const std::string& id : o.Removals) edit.Remove(id);
    const std::pair<const std::optional<std::string>&, TTagField> fields[] = {
        {o.Title, TTagField::Title}, {o.Artist, TTagField::Artist}, {o.Album, TTagField::Album},
        {o.Year, TTagField::Year},   {o.Track, TTagField::Track},   {o.Genre, TTagField::Genre}};
    for (const auto& [value, field] : fields)
        if (value) edit.Set(field, *value);
    if (o.Comment) edit.SetComment(*o.Comment, o.CommentDescription.value_or(""), o.CommentLanguage.value_or(""));
    for (const auto& [id, text] : o.Frames) edit.SetFrame(id, text);
    for (const auto& [description, text] : o.UserTexts) edit.SetUserText(description, text);
    for (const auto& [description, url] : o.UserUrls) edit.SetUserUrl(description, url);
    if (o.LyricsFile) edit.SetLyrics(o.Lyrics);
    if (o.RemovePictures) edit.Remove("APIC");
    for (const TPictureOption& p : o.Pictures) edit.SetPicture(p.Description, p.Type, p.MimeType, p.Data);
}

}  // namespace

bool SetTags(const std::string& path, const TSetOptions& o, TMessageSink& sink) {
    TMP3Object file(sink);
    if (!file.LoadForChange(path)) return false;
    TID3v2Object& v2 = file.ID3v2();
    TID3v1Object& v1 = file.ID3v1();

    const bool writeV2 = o.WriteV2.value_or(v2.Present || o.SetsID3v2());
    if (writeV2 && v2.Present && !v2.Valid) {
        if (o.SetsID3v2() && !o.ReplaceV2) {
            sink.Error("The ID3v2 tag (version 2." + std::to_string(v2.Header.MajorVersion) +
                       ") is not understood and was left unchanged; give --replace-v2 to write a new tag over it.");
            return false;
        }
        v2.ReplaceInvalidTag = o.ReplaceV2;
    }

    TTagEdit edit(file);
    EditID3v2(edit, o);

    const bool writeV1 = o.WriteV1.value_or(v1.Present);
    // A new ID3v1 tag takes the values the ID3v2 tag now has.
    if (writeV1) FillNewID3v1(file);
    const bool writeLyrics3 = o.WriteLyrics3.value_or(file.Lyrics3().Present);
    return file.SaveFile(path, writeV2, writeLyrics3, writeV1);
}

}  // namespace velmar::cli
