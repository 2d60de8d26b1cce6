#include "settags.h"

#include "edit/tagedit.h"

namespace velmar::cli {

namespace {

bool IsTextFrameID(const std::string& id) {
    return id.size() == 4 && id[0] == 'T' && id != "TXXX" && IsKnownFrameID(id);
}

}  // namespace

std::string ParseSetOptions(const std::vector<std::string>& args, TSetOptions& o, std::vector<std::string>& files) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& target) -> std::string {
            if (i + 1 >= args.size()) return a + " needs a value";
            target = args[++i];
            return {};
        };
        std::string error;
        if (a == "--title")
            error = value(o.Title);
        else if (a == "--artist")
            error = value(o.Artist);
        else if (a == "--album")
            error = value(o.Album);
        else if (a == "--year")
            error = value(o.Year);
        else if (a == "--comment")
            error = value(o.Comment);
        else if (a == "--genre")
            error = value(o.Genre);
        else if (a == "--track") {
            error = value(o.Track);
            int n, t;
            if (error.empty() && !TTagEdit::ParseNumberPair(*o.Track, n, t))
                error = "--track takes N or N/M, not \"" + *o.Track + "\"";
        } else if (a == "--frame" || a == "--remove") {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string& v = args[++i];
            const std::string id = a == "--frame" ? v.substr(0, v.find('=')) : v;
            if (a == "--frame") {
                if (v.find('=') == std::string::npos || !IsTextFrameID(id))
                    return "--frame takes ID=TEXT with the identifier of a text frame, not \"" + v + "\"";
                o.Frames.emplace_back(id, v.substr(5));
            } else {
                if (!IsWellFormedFrameID(id)) return "--remove takes a frame identifier, not \"" + v + "\"";
                o.Removals.push_back(id);
            }
        } else if (a == "--v2" || a == "--no-v2")
            o.WriteV2 = a == "--v2";
        else if (a == "--v1" || a == "--no-v1")
            o.WriteV1 = a == "--v1";
        else if (a == "--lyrics3" || a == "--no-lyrics3")
            o.WriteLyrics3 = a == "--lyrics3";
        else if (a == "--replace-v2")
            o.ReplaceV2 = true;
        else if (a.starts_with("--"))
            return "unknown option " + a;
        else
            files.push_back(a);
        if (!error.empty()) return error;
    }
    if (files.empty()) return "set needs at least one file";
    return {};
}

bool SetTags(const std::string& path, const TSetOptions& o, TMessageSink& sink) {
    TMP3Object file(sink);
    if (!file.LoadFile(path, true)) return false;
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
    for (const std::string& id : o.Removals) edit.Remove(id);
    const std::pair<const std::optional<std::string>&, TTagField> fields[] = {
        {o.Title, TTagField::Title},    {o.Artist, TTagField::Artist}, {o.Album, TTagField::Album},
        {o.Year, TTagField::Year},      {o.Track, TTagField::Track},   {o.Genre, TTagField::Genre},
        {o.Comment, TTagField::Comment}};
    for (const auto& [value, field] : fields)
        if (value) edit.Set(field, *value);
    for (const auto& [id, text] : o.Frames) edit.SetFrame(id, text);

    const bool writeV1 = o.WriteV1.value_or(v1.Present);
    const bool writeLyrics3 = o.WriteLyrics3.value_or(file.Lyrics3().Present);
    return file.SaveFile(path, writeV2, writeLyrics3, writeV1);
}

}  // namespace velmar::cli
