#include "batch/filltags.h"

#include "edit/tagedit.h"

namespace velmar {

namespace {

std::string TwoDigits(const std::string& text) {
    return text.size() >= 2 ? text : std::string(2 - text.size(), '0') + text;
}

bool ToNumber(const std::string& text, int& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::stoi(text);
    return true;
}

// A text in an ID3v1 field: Latin-1, its first `width` characters.
void SetV1Field(std::string& field, const std::string& utf8, size_t width) {
    TID3v1Object::SetField(field, Utf8ToLatin1(utf8), width);
}

}  // namespace

std::string CapitalizeWords(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i)
        if ((i == 0 || out[i - 1] == ' ' || out[i - 1] == '/') && out[i] >= 'a' && out[i] <= 'z')
            out[i] = char(out[i] - 'a' + 'A');
    return out;
}

TFillValues FillValuesFor(std::string_view name, std::string_view mask, int position, const TCommonValues& common,
                          const TFillOptions& options) {
    const TMatchResult match = MatchFileName(name, mask);
    auto parsed = [&](size_t n) { return options.CaseConvert ? CapitalizeWords(match.Fields[n]) : match.Fields[n]; };
    TFillValues v;
    v.Matched = match.Success;
    v.Artist = common.Artist ? *common.Artist : parsed(0);
    v.Title = parsed(1);
    v.SubTitle = parsed(2);
    v.Remix = parsed(3);
    v.Comment = parsed(4);
    v.Album = common.Album.empty() ? parsed(5) : common.Album;
    v.Track = TwoDigits(options.GenerateTrackNumbers ? std::to_string(position) : match.Fields[10]);
    v.Genre = common.Genre;
    v.EncodedBy = common.EncodedBy;
    v.EncodedUsing = common.EncodedUsing;
    v.Copyright = common.Copyright;
    if (common.Year) v.Year = std::to_string(*common.Year);
    if (common.Disc)
        v.CD = TwoDigits(std::to_string(common.Disc->first)) + " / " + TwoDigits(std::to_string(common.Disc->second));
    return v;
}

bool WriteFillValues(const std::filesystem::path& file, const TFillValues& v, int fileCount,
                     const TCommonValues& common, const TFillOptions& options, TMessageSink& sink) {
    TMP3Object object(sink);
    if (!object.LoadForChange(file)) return false;
    TID3v1Object& v1 = object.ID3v1();
    TTagEdit edit(object);
    // A new ID3v1 tag but for its genre, which stays unless one is given.
    for (std::string* field : {&v1.Title, &v1.Artist, &v1.Album, &v1.Comment}) SetV1Field(*field, "", 30);
    SetV1Field(v1.Year, "", 4);
    v1.SetTrackNumber(0);
    const std::pair<const char*, const std::string*> texts[] = {
        {"TPE1", &v.Artist}, {"TIT2", &v.Title},     {"TALB", &v.Album},        {"TIT3", &v.SubTitle},
        {"TPE4", &v.Remix},  {"TENC", &v.EncodedBy}, {"TSSE", &v.EncodedUsing}, {"TCOP", &v.Copyright}};
    for (const auto& [id, text] : texts) edit.SetFrame(id, *text);
    SetV1Field(v1.Artist, v.Artist, 30);
    SetV1Field(v1.Title, v.Title, 30);
    SetV1Field(v1.Album, v.Album, 30);
    SetV1Field(v1.Comment, v.Comment, 30);
    if (v.Genre.empty())
        edit.SetFrame("TCON", "");
    else
        edit.Set(TTagField::Genre, v.Genre);
    if (v.Track.size() == 2) {
        int number = 0;
        const bool isNumber = ToNumber(v.Track, number);
        edit.SetFrame("TRCK", isNumber ? std::to_string(number) + "/" + std::to_string(fileCount) : "");
        v1.SetTrackNumber(isNumber && number >= 0 && number <= 255 ? uint8_t(number) : 0);
    }
    edit.SetFrame("TYER", v.Year);
    SetV1Field(v1.Year, v.Year, 4);
    edit.SetFrame("TPOS",
                  common.Disc ? std::to_string(common.Disc->first) + "/" + std::to_string(common.Disc->second) : "");
    return object.SaveFile(file, options.SaveID3v2, false, options.SaveID3v1);
}

}  // namespace velmar
