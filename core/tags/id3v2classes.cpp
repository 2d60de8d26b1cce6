#include "id3v2classes.h"

#include <charconv>
#include <cstring>

#include "tags/ID3v1obj.h"

namespace velmar {

// ---------------------------------------------------------------- headers

void TID3v2Header::ReadFromBytes(const uint8_t* b) {
    MajorVersion = b[0];
    Revision = b[1];
    const uint8_t flags = b[2];
    Unsynchronisation = flags & 0x80;
    ExtendedHeader = flags & 0x40;
    Experimental = flags & 0x20;
    Footer = MajorVersion == 4 && (flags & 0x10);
    OtherFlags = flags & (MajorVersion == 4 ? 0x0F : 0x1F);
    Size = (int64_t(b[3] & 0x7F) << 21) | (int64_t(b[4] & 0x7F) << 14) | (int64_t(b[5] & 0x7F) << 7) | (b[6] & 0x7F);
}

void TID3v2Header::ReadFromStream(TStream& stream) {
    uint8_t b[7];
    stream.ReadExact(b, sizeof b);
    ReadFromBytes(b);
}

void TID3v2Header::WriteToStream(TStream& stream) const {
    const uint8_t flags =
        uint8_t((Unsynchronisation ? 0x80 : 0) | (ExtendedHeader ? 0x40 : 0) | (Experimental ? 0x20 : 0));
    const uint8_t b[10] = {'I',
                           'D',
                           '3',
                           MajorVersion,
                           Revision,
                           flags,
                           uint8_t((Size >> 21) & 0x7F),
                           uint8_t((Size >> 14) & 0x7F),
                           uint8_t((Size >> 7) & 0x7F),
                           uint8_t(Size & 0x7F)};
    stream.Write(b, sizeof b);
}

bool TID3v2ExtendedHeader::ReadFromBuffer(std::span<const uint8_t> buf, int32_t& index) {
    if (size_t(index) + 10 > buf.size()) return false;
    Size = BufReadLong(buf, index);
    CRCPresent = BufReadByte(buf, index) != 0;
    BufReadByte(buf, index);
    PaddingSize = BufReadLong(buf, index);
    if (Size > 6) {
        if (Size - 6 > int64_t(buf.size()) - index) return false;
        index += int32_t(Size - 6);
    }
    return true;
}

void TID3v2FrameHeader::ReadFromBuffer(std::span<const uint8_t> buf, int32_t& position) {
    FrameID = BufReadText(buf, position, 4);
    Size = BufReadLong(buf, position);
    const uint8_t status = BufReadByte(buf, position);
    const uint8_t format = BufReadByte(buf, position);
    TagAlterPreservation = status & 0x80;
    FileAlterPreservation = status & 0x40;
    ReadOnly = status & 0x20;
    Compression = format & 0x80;
    Encryption = format & 0x40;
    GroupingIdentity = format & 0x20;
    Present = true;
}

uint8_t TID3v2FrameHeader::StatusFlags() const {
    return uint8_t((TagAlterPreservation ? 0x80 : 0) | (FileAlterPreservation ? 0x40 : 0) | (ReadOnly ? 0x20 : 0));
}

uint8_t TID3v2FrameHeader::FormatFlags() const {
    return uint8_t((Compression ? 0x80 : 0) | (Encryption ? 0x40 : 0) | (GroupingIdentity ? 0x20 : 0));
}

void TID3v2FrameHeader::WriteToStream(TStream& stream) const {
    std::string id = FrameID;
    id.resize(4, '\0');
    StreamWriteText(stream, id);
    StreamWriteLong(stream, uint32_t(Size));
    StreamWriteByte(stream, StatusFlags());
    StreamWriteByte(stream, FormatFlags());
}

// ---------------------------------------------------------------- frame layouts

namespace {

void AppendFixed(TBytes& out, std::string_view utf8, size_t width) {
    std::string l = Utf8ToLatin1(utf8);
    l.resize(width, '\0');
    out.insert(out.end(), l.begin(), l.end());
}

// Reads the fields of a layout from a body. Bytes past the end read as zero and
// texts stop at the end; `fit` says whether the body may be short for its numbers.
// A text that runs to the body's end may still close with terminators (one zero
// byte, two in UTF-16), as many writers add: they are not part of the text, and
// `closing` records them so that the text, unchanged, is written back with them.
bool ReadFields(const TLayout& layout, std::span<const uint8_t> body, TFit fit, TClosingZeros& closing) {
    size_t pos = 0;
    uint8_t encoding = 0;
    bool numbersWhole = true;
    auto number = [&](size_t bytes) {
        uint32_t v = 0;
        for (size_t i = 0; i < bytes; ++i, ++pos) v = (v << 8) | (pos < body.size() ? body[pos] : 0);
        numbersWhole = numbersWhole && pos <= body.size();
        return v;
    };
    auto text = [&](uint8_t enc, bool terminated) {
        const size_t start = std::min(pos, body.size()), left = body.size() - start;
        const size_t n = terminated ? FindTerminator(enc, body.data() + start, left) : left;
        pos = start + std::min(left, n + (terminated ? TerminatorSize(enc) : 0));
        std::string decoded = DecodeText(enc, body.data() + start, n);
        if (terminated) return decoded;
        closing = {};
        while (!decoded.empty() && decoded.back() == '\0') {
            decoded.pop_back();
            ++closing.Count;
        }
        if (closing.Count) closing.Text = decoded;
        return decoded;
    };
    for (const TField& f : layout) {
        switch (f.Kind) {
            case TFieldKind::Encoding:
                *std::get<uint8_t*>(f.Member) = encoding = uint8_t(number(1));
                if (!IsKnownEncoding(encoding)) return false;
                break;
            case TFieldKind::Latin1Z: *std::get<std::string*>(f.Member) = text(0, true); break;
            case TFieldKind::Latin1Rest: *std::get<std::string*>(f.Member) = text(0, false); break;
            case TFieldKind::TextZ: *std::get<std::string*>(f.Member) = text(encoding, true); break;
            case TFieldKind::TextRest: *std::get<std::string*>(f.Member) = text(encoding, false); break;
            case TFieldKind::Fixed: {
                const size_t start = std::min(pos, body.size()), n = std::min<size_t>(f.Width, body.size() - start);
                *std::get<std::string*>(f.Member) =
                    Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(body.data() + start), n));
                pos += f.Width;
                break;
            }
            case TFieldKind::Byte: *std::get<uint8_t*>(f.Member) = uint8_t(number(1)); break;
            case TFieldKind::Flag: *std::get<bool*>(f.Member) = number(1) != 0; break;
            case TFieldKind::Word: *std::get<uint16_t*>(f.Member) = uint16_t(number(2)); break;
            case TFieldKind::Long: *std::get<uint32_t*>(f.Member) = number(4); break;
            case TFieldKind::Binary: {
                const size_t start = std::min(pos, body.size());
                std::get<TBytes*>(f.Member)->assign(body.begin() + int64_t(start), body.end());
                pos = body.size();
                break;
            }
        }
    }
    if (fit == TFit::Lenient) return true;
    return numbersWhole && (fit == TFit::NumbersWhole || pos == body.size());
}

bool IsEncodedText(TFieldKind kind) { return kind == TFieldKind::TextZ || kind == TFieldKind::TextRest; }

// Writes the fields of a layout. The encoding is 0 when every encoded text lies in
// Latin-1, else 1; it is stored in the frame's member as well. A text that runs to
// the end and is the one read with closing zeros gets them again.
TBytes WriteFields(const TLayout& layout, const TClosingZeros& closing) {
    uint8_t encoding = 0;
    for (const TField& f : layout)
        if (IsEncodedText(f.Kind) && ChooseEncoding({*std::get<std::string*>(f.Member)}) != 0) encoding = 1;
    TBytes out;
    auto number = [&](uint32_t v, int bytes) {
        for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    for (const TField& f : layout) {
        switch (f.Kind) {
            case TFieldKind::Encoding: out.push_back(*std::get<uint8_t*>(f.Member) = encoding); break;
            case TFieldKind::Latin1Z:
            case TFieldKind::Latin1Rest:
            case TFieldKind::TextZ:
            case TFieldKind::TextRest: {
                const bool latin1 = f.Kind == TFieldKind::Latin1Z || f.Kind == TFieldKind::Latin1Rest;
                const bool rest = f.Kind == TFieldKind::Latin1Rest || f.Kind == TFieldKind::TextRest;
                const std::string& text = *std::get<std::string*>(f.Member);
                const uint8_t enc = latin1 ? 0 : encoding;
                AppendEncodedText(out, enc, text, !rest);
                if (rest && closing.Count && text == closing.Text)
                    out.insert(out.end(), closing.Count * TerminatorSize(enc), 0);
                break;
            }
            case TFieldKind::Fixed: AppendFixed(out, *std::get<std::string*>(f.Member), f.Width); break;
            case TFieldKind::Byte: number(*std::get<uint8_t*>(f.Member), 1); break;
            case TFieldKind::Flag: number(*std::get<bool*>(f.Member) ? 1 : 0, 1); break;
            case TFieldKind::Word: number(*std::get<uint16_t*>(f.Member), 2); break;
            case TFieldKind::Long: number(*std::get<uint32_t*>(f.Member), 4); break;
            case TFieldKind::Binary: {
                const TBytes& b = *std::get<TBytes*>(f.Member);
                out.insert(out.end(), b.begin(), b.end());
                break;
            }
        }
    }
    return out;
}

}  // namespace

bool TID3v2Frame::ReadFromBuffer(const TID3v2FrameHeader& walked, std::span<const uint8_t> body) {
    FrameHeader.Assign(walked);
    FrameHeader.Size = int64_t(body.size());
    if (!ReadFields(Layout(), body, Fit(), Closing)) return false;
    AfterRead();
    return true;
}

void TID3v2Frame::Prepare(const std::string& frameID) {
    BeforeWrite();
    Rendered = WriteFields(Layout(), Closing);
    FrameHeader.FrameID = frameID;
    FrameHeader.Size = int64_t(Rendered.size());
    FrameHeader.TagAlterPreservation = FrameHeader.FileAlterPreservation = FrameHeader.ReadOnly = false;
    FrameHeader.Compression = FrameHeader.Encryption = FrameHeader.GroupingIdentity = false;
}

void TID3v2Frame::WriteToStream(TStream& stream) const {
    FrameHeader.WriteToStream(stream);
    StreamWriteBytes(stream, Rendered);
}

namespace {

// Strict decimal conversion; false when the text is not a whole number.
bool ToInt(std::string_view s, int32_t& value) {
    while (!s.empty() && s.back() == '\0') s.remove_suffix(1);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int32_t IntOrZero(std::string_view s) {
    int32_t v = 0;
    return ToInt(s, v) ? v : 0;
}

}  // namespace

// ---------------------------------------------------------------- text frames

void TTxtFrame::AfterRead() {
    ParseText();
    TextParsed = true;
}

void TTxtFrame::SetText(const std::string& text) {
    Text = text;
    ParseText();
    TextParsed = true;
}

void TTxtIntFrame::ParseText() { ParsedValue = Value = IntOrZero(Text); }
void TTxtIntFrame::RebuildTextIfChanged() {
    if (Value != ParsedValue || !TextParsed) Text = std::to_string(Value);
    ParsedValue = Value;
}

void TTCONFrame::ParseText() {
    // Leading references "(n)", then the refinement; "((" starts a refinement that begins with "(".
    std::string_view t(Text);
    while (!t.empty() && t.back() == '\0') t.remove_suffix(1);
    std::vector<std::string> refs;
    while (refs.size() < 2 && t.size() >= 2 && t[0] == '(' && t[1] != '(') {
        const size_t close = t.find(')');
        if (close == std::string_view::npos) break;
        refs.emplace_back(t.substr(1, close - 1));
        t.remove_prefix(close + 1);
    }
    if (t.starts_with("((")) t.remove_prefix(1);  // the doubled "(" is how the text escapes it
    // A bare genre number, as some writers store it, is a reference too.
    int32_t bare = -1;
    if (refs.empty() && ToInt(t, bare) && bare >= 0 && bare < int32_t(GenreTable().size())) {
        refs.emplace_back(t);
        t = {};
    }
    Refinement = std::string(t);
    auto resolve = [](const std::string& ref, int32_t& index, std::string& name) {
        index = -1;
        name.clear();
        if (ref == "RX")
            name = "Remix";
        else if (ref == "CR")
            name = "Cover";
        else if (ToInt(ref, index) && index >= 0 && index < int32_t(GenreTable().size()))
            name = GenreTable()[size_t(index)];
        else
            name = "(" + ref + ")";  // a reference outside the table shows as it stands
    };
    if (refs.size() > 0)
        resolve(refs[0], Genre1, Genre1Name);
    else {
        Genre1 = -1;
        Genre1Name.clear();
    }
    if (refs.size() > 1)
        resolve(refs[1], Genre2, Genre2Name);
    else {
        Genre2 = -1;
        Genre2Name.clear();
    }
    Parsed1 = Genre1Name;
    Parsed2 = Genre2Name;
    ParsedRefinement = Refinement;
}

void TTCONFrame::SetGenre(const std::string& name) {
    if (GenreIndexOf(name) >= 0) {
        Genre1Name = name;
        Refinement.clear();
    } else {
        Genre1Name.clear();
        Refinement = name;
    }
    Genre2Name.clear();
}

void TTCONFrame::RebuildTextIfChanged() {
    if (Genre1Name == Parsed1 && Genre2Name == Parsed2 && Refinement == ParsedRefinement && TextParsed) return;
    auto reference = [](const std::string& name, int32_t& index) -> std::string {
        index = name.empty() ? -1 : GenreIndexOf(name);
        if (index >= 0) return "(" + std::to_string(index) + ")";
        if (name == "Remix") return "(RX)";
        if (name == "Cover") return "(CR)";
        if (name.size() > 2 && name.front() == '(' && name.back() == ')') return name;
        return std::string();
    };
    Text = reference(Genre1Name, Genre1) + reference(Genre2Name, Genre2);
    if (!Refinement.empty()) Text += Refinement.front() == '(' ? "(" + Refinement : Refinement;
    Parsed1 = Genre1Name;
    Parsed2 = Genre2Name;
    ParsedRefinement = Refinement;
}

void TTDATFrame::SetText(const std::string& text) {
    Text = text.size() == 5 ? text.substr(3, 2) + text.substr(0, 2) : text;
    ParseText();
}
void TTDATFrame::ParseText() {
    ParsedText = Text;
    Day = uint8_t(IntOrZero(Text.substr(0, 2)));
    Month = Text.size() > 2 ? uint8_t(IntOrZero(Text.substr(2, 2))) : 0;
}
void TTDATFrame::RebuildTextIfChanged() {
    // A text changed by the tag editor holds MM-DD; the frame stores DDMM.
    if ((Text != ParsedText || !TextParsed) && Text.size() == 5) Text = Text.substr(3, 2) + Text.substr(0, 2);
    ParsedText = Text;
}

void TTIMEFrame::ParseText() {
    Hour = uint8_t(IntOrZero(Text.substr(0, 2)));
    Minute = Text.size() > 2 ? uint8_t(IntOrZero(Text.substr(2, 2))) : 0;
}

void TTFLTFrame::ParseText() {
    static const std::pair<const char*, const char*> kTypes[] = {
        {"MPG", "MPEG Audio"},
        {"/1", "MPEG 1/2 Layer I"},
        {"/2", "MPEG 1/2 Layer II"},
        {"/3", "MPEG 1/2 Layer III"},
        {"/2.5", "MPEG 2.5"},
        {"/AAC", "Advanced Audio Compression"},
        {"VQF", "Transform-domain Weighted Interleave Vector Quantization"},
        {"PCM", "Pulse Code Modulated Audio"}};
    FileTypeName = "MPEG Audio";
    for (const auto& [code, name] : kTypes)
        if (Text == code) FileTypeName = name;
}

// clang-format off
const std::vector<TMediaType>& MediaTable() {
    static const std::vector<TMediaType> kTable = {
        {"Audio Cassette", "MC"}, {"Audio Cassette (4.75 cm/s, Two Sided Cassette)", "MC/4"},
        {"Audio Cassette (9.5 cm/s)", "MC/9"}, {"Audio Cassette (Type I Cassette (Ferric/Normal))", "MC/I"},
        {"Audio Cassette (Type II Cassette (Chrome))", "MC/II"},
        {"Audio Cassette (Type III Cassette (Ferric Chrome))", "MC/III"},
        {"Audio Cassette (Type VI Cassette (Metal))", "MC/IV"}, {"CD", "CD"}, {"CD (AAD)", "CD/AA"},
        {"CD (ADD)", "CD/AD"}, {"CD (Analog Transfer)", "CD/A"}, {"CD (DDD)", "CD/DD"}, {"DAT", "DAT"},
        {"DAT (Analog Transfer)", "DAT/A"}, {"DAT (Mode 2, 32kHz/16bits, Linear)", "DAT/2"},
        {"DAT (Mode 3, 32kHz/12bits, Non-Linear, Low Speed)", "DAT/3"},
        {"DAT (Mode 4, 32kHz/12bits, 4 Channels)", "DAT/4"}, {"DAT (Mode 5, 44.1kHz/16bits, Linear)", "DAT/5"},
        {"DAT (Mode 6, 44.1kHz/16bits, 'Wide Track Play')", "DAT/6"},
        {"DAT (Standard, 48kHz/16bits, Linear)", "DAT/1"}, {"DCC", "DCC"}, {"DCC (Analog Transfer)", "DCC/A"},
        {"DVD", "DVD"}, {"DVD (Analog Transfer)", "DVD/A"}, {"Laser Disc", "LD"},
        {"Laser Disc (Analog Transfer)", "LD/A"}, {"Mini Disc", "MD"}, {"Mini Disc (Analog Transfer)", "MD/A"},
        {"Other Analog Media", "ANA"}, {"Other Analog Media (8-Track Tape Cassette)", "ANA/8CA"},
        {"Other Analog Media (Wax Cylinder)", "ANA/WAC"}, {"Other Digital Media", "DIG"},
        {"Other Digital Media (Analog Transfer)", "DIG/A"}, {"Radio", "RAD"}, {"Radio (AM)", "RAD/AM"},
        {"Radio (FM)", "RAD/FM"}, {"Radio (LW)", "RAD/LW"}, {"Radio (MW)", "RAD/MW"}, {"Reel", "REE"},
        {"Reel (19 cm/s)", "REE/19"}, {"Reel (38 cm/s)", "REE/38"}, {"Reel (76 cm/s)", "REE/76"},
        {"Reel (9.5 cm/s)", "REE/9"}, {"Reel (Type I Cassette (Ferric/Normal))", "REE/I"},
        {"Reel (Type II Cassette (Chrome))", "REE/II"}, {"Reel (Type III Cassette (Ferric Chrome))", "REE/III"},
        {"Reel (Type VI Cassette (Metal))", "REE/IV"}, {"Telephone", "TEL"}, {"Telephone (ISDN)", "TEL/I"},
        {"Television", "TV"}, {"Television (NTSC)", "TV/NTSC"}, {"Television (PAL)", "TV/PAL"},
        {"Television (SECAM)", "TV/SECAM"}, {"Turntable Records", "TT"},
        {"Turntable Records (33.33 rpm)", "TT/33"}, {"Turntable Records (45 rpm)", "TT/45"},
        {"Turntable Records (71.29 rpm)", "TT/71"}, {"Turntable Records (76.59 rpm)", "TT/76"},
        {"Turntable Records (78.26 rpm)", "TT/78"}, {"Turntable Records (80 rpm)", "TT/80"}, {"Video", "VID"},
        {"Video (BETAMAX)", "VID/BETA"}, {"Video (NTSC)", "VID/NTSC"}, {"Video (PAL)", "VID/PAL"},
        {"Video (SECAM)", "VID/SECAM"}, {"Video (S-VHS)", "VID/SVHS"}, {"Video (VHS)", "VID/VHS"}};
    return kTable;
}
// clang-format on

void TTMEDFrame::ParseText() {
    MediaType.clear();
    MediaRefinement.clear();
    const size_t close = Text.find(')');
    if (!Text.empty() && Text[0] == '(' && close != std::string::npos) {
        const std::string code = Text.substr(1, close - 1);
        for (const auto& m : MediaTable())
            if (strcasecmp(m.Code, code.c_str()) == 0) MediaType = m.Name;
        if (MediaType.empty()) MediaType = Text.substr(0, close + 1);  // a code outside the table shows as it stands
        MediaRefinement = Text.substr(close + 1);
    } else {
        MediaRefinement = Text;
    }
    ParsedType = MediaType;
    ParsedRefinement = MediaRefinement;
}

void TTMEDFrame::RebuildTextIfChanged() {
    if (MediaType == ParsedType && MediaRefinement == ParsedRefinement && TextParsed) return;
    const auto& table = MediaTable();
    int32_t row = -1;
    if (!ToInt(MediaType, row))
        for (size_t i = 0; i < table.size(); ++i)
            if (MediaType == table[i].Name) row = int32_t(i);
    Text.clear();
    if (row >= 0 && row < int32_t(table.size()))
        Text = std::string("(") + table[size_t(row)].Code + ")";
    else if (MediaType.size() > 2 && MediaType.front() == '(' && MediaType.back() == ')')
        Text = MediaType;
    Text += MediaRefinement;
    ParseText();
}

void TTNumberFrame::ParseText() {
    std::string_view t(Text);
    while (!t.empty() && t.back() == '\0') t.remove_suffix(1);
    const size_t slash = t.find('/');
    Number = IntOrZero(t.substr(0, slash));
    Total = slash == std::string_view::npos ? -1 : IntOrZero(t.substr(slash + 1));
    ParsedNumber = Number;
    ParsedTotal = Total;
}

void TTNumberFrame::RebuildTextIfChanged() {
    if (Number == ParsedNumber && Total == ParsedTotal && TextParsed) return;
    Text = std::to_string(Number);
    if (Total >= 0) Text += "/" + std::to_string(Total);
    ParsedNumber = Number;
    ParsedTotal = Total;
}

// ---------------------------------------------------------------- other frames

void TRawFrame::WriteToStream(TStream& stream) const {
    TID3v2FrameHeader h = FrameHeader;
    h.Size = int64_t(Data.size());
    h.WriteToStream(stream);
    StreamWriteBytes(stream, Data);
}

// clang-format off
const std::vector<std::string>& PictureTypeNames() {
    static const std::vector<std::string> kNames = {
        "Other", "32*32 pixels file icon", "Other file icon", "Cover (front)", "Cover (back)", "Leaflet page",
        "Media (e.g. lable side of CD)", "Lead artist/lead performer/soloist", "Artist/performer", "Conductor",
        "Band/Orchestra", "Composer", "Lyricist/text writer", "Recording Location", "During recording",
        "During performance", "Movie/video screen capture", "A bright coloured fish", "Illustration",
        "Band/artist logotype", "Publisher/Studio logotype"};
    return kNames;
}
// clang-format on

void TAPICFrame::LoadPicture(TStream& stream) {
    stream.Seek(0);
    PictureData = StreamReadBytes(stream, size_t(stream.Size()));
}

void TAPICFrame::SavePicture(TStream& stream) const { StreamWriteBytes(stream, PictureData); }

void TAPICFrame::AfterRead() {
    PictureTypeName = PictureType < PictureTypeNames().size() ? PictureTypeNames()[PictureType] : "Other";
}

// clang-format off
const std::vector<std::string>& ReceivedAsNames() {
    static const std::vector<std::string> kNames = {
        "Other", "Standard CD album with other songs", "Compressed audio on CD", "File over the Internet",
        "Stream over the Internet", "As note sheets", "As note sheets in a book with other sheets",
        "Music on other media", "Non-musical merchandise"};
    return kNames;
}
// clang-format on

void TCOMRFrame::AfterRead() {
    ReceivedAsName = ReceivedAs < ReceivedAsNames().size() ? ReceivedAsNames()[ReceivedAs] : "Other";
}

void TCOMRFrame::BeforeWrite() {
    if (ValidUntil.empty()) ValidUntil = "19991231";
}

}  // namespace velmar
