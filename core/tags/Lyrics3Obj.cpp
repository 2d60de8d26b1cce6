#include "Lyrics3Obj.h"

#include <algorithm>
#include <cstring>

namespace velmar {

namespace {

constexpr size_t kMaxField = 99999;
constexpr size_t kMaxBlock = 999999;  // size field: six digits

bool ParseDigits(const uint8_t* p, size_t n, size_t& value) {
    value = 0;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        value = value * 10 + (p[i] - '0');
    }
    return true;
}

std::string Digits(size_t value, size_t width) {
    std::string s = std::to_string(value);
    if (s.size() < width) s.insert(0, width - s.size(), '0');
    return s;
}

}  // namespace

void TLyricsObject::ReadTag(std::span<const uint8_t> block) {
    Present = true;
    // Fields lie between "LYRICSBEGIN" and the 15 bytes of size and footer.
    const size_t end = block.size() >= 15 ? block.size() - 15 : 0;
    size_t pos = 11;
    while (pos + 8 <= end) {
        const std::string name(reinterpret_cast<const char*>(block.data() + pos), 3);
        size_t len;
        if (!ParseDigits(block.data() + pos + 3, 5, len)) break;
        pos += 8;
        if (len > end - pos) break;  // a field that runs past the block ends the parse
        const uint8_t* c = block.data() + pos;
        const std::string text(reinterpret_cast<const char*>(c), len);
        if (name == "IND") {
            HasLyrics = len > 0 && c[0] == '1';
            HasTimestamps = len > 1 && c[1] == '1';
        } else if (name == "LYR")
            Lyrics.assign(c, c + len);
        else if (name == "INF")
            Info.assign(c, c + len);
        else if (name == "AUT")
            Author = text;
        else if (name == "EAL")
            ExtAlbum = text;
        else if (name == "EAR")
            ExtArtist = text;
        else if (name == "ETT")
            ExtTitle = text;
        else if (name == "IMG")
            Images.assign(c, c + len);
        else
            break;  // an unknown field name ends the parse
        pos += len;
    }
    ReadBlock.assign(block.begin(), block.end());
    ReadValues = Values();
}

void TLyricsObject::ReadTag(TStream& stream) {
    if (Size < 0) return;
    const TBytes block = StreamReadBytes(stream, size_t(Size));
    ReadTag(block);
}

TBytes TLyricsObject::Render(TMessageSink* sink) {
    if (!ReadBlock.empty() && Values() == ReadValues) return ReadBlock;
    HasLyrics = !Lyrics.empty();
    TBytes out;
    if (Author.size() + ExtAlbum.size() + ExtArtist.size() + ExtTitle.size() + Lyrics.size() + Info.size() +
            Images.size() ==
        0)
        return out;
    auto add = [&out](std::string_view s) { out.insert(out.end(), s.begin(), s.end()); };
    add("LYRICSBEGININD00002");
    add(HasLyrics ? "1" : "0");
    add(HasTimestamps ? "1" : "0");
    struct Field {
        const char* name;
        const uint8_t* data;
        size_t size;
    };
    auto bytes = [](const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); };
    const Field fields[] = {
        {"AUT", bytes(Author), Author.size()},       {"EAL", bytes(ExtAlbum), ExtAlbum.size()},
        {"EAR", bytes(ExtArtist), ExtArtist.size()}, {"ETT", bytes(ExtTitle), ExtTitle.size()},
        {"LYR", Lyrics.data(), Lyrics.size()},       {"INF", Info.data(), Info.size()},
        {"IMG", Images.data(), Images.size()},
    };
    for (const Field& f : fields) {
        if (f.size == 0) continue;
        size_t n = std::min(f.size, kMaxField);
        if (out.size() + 8 + n > kMaxBlock) n = out.size() + 8 < kMaxBlock ? kMaxBlock - out.size() - 8 : 0;
        if (n < f.size && sink)
            sink->Error(std::string("Lyrics3 field ") + f.name + " is too long for the tag and was cut to " +
                        std::to_string(n) + " bytes.");
        if (n == 0) continue;
        add(f.name);
        add(Digits(n, 5));
        out.insert(out.end(), f.data, f.data + n);
    }
    add(Digits(out.size(), 6));
    add("LYRICS200");
    return out;
}

void TLyricsObject::WriteTag(TStream& stream, TMessageSink* sink) {
    const TBytes b = Render(sink);
    stream.Write(b.data(), b.size());
}

}  // namespace velmar
