#include "id3v2obj.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

namespace velmar {

const std::array<const char*, kKnownFrameCount> KnownFrameIDs = {
    "AENC", "APIC", "COMM", "COMR", "ENCR", "EQUA", "ETCO", "GEOB", "GRID", "IPLS", "LINK", "MCDI", "MLLT",
    "OWNE", "PRIV", "PCNT", "POPM", "POSS", "RBUF", "RVAD", "RVRB", "SYLT", "SYTC", "TALB", "TBPM", "TCOM",
    "TCON", "TCOP", "TDAT", "TDLY", "TENC", "TEXT", "TFLT", "TIME", "TIT1", "TIT2", "TIT3", "TKEY", "TLAN",
    "TLEN", "TMED", "TOAL", "TOFN", "TOLY", "TOPE", "TORY", "TOWN", "TPE1", "TPE2", "TPE3", "TPE4", "TPOS",
    "TPUB", "TRCK", "TRDA", "TRSN", "TRSO", "TSIZ", "TSRC", "TSSE", "TYER", "TXXX", "UFID", "USER", "USLT",
    "WCOM", "WCOP", "WOAF", "WOAR", "WOAS", "WORS", "WPAY", "WPUB", "WXXX"};

namespace {

// Largest body an inflated frame may have.
constexpr size_t kMaxInflatedFrame = size_t(64) << 20;

uint32_t IdKey(std::string_view id) {
    uint32_t k = 0;
    for (size_t i = 0; i < 4; ++i) k = (k << 8) | uint8_t(i < id.size() ? id[i] : 0);
    return k;
}

using TFrameReader = bool (*)(TID3v2Object&, const TID3v2FrameHeader&, std::span<const uint8_t>);

struct TFrameKind {
    TFrameReader Read;
    int CountIndex;  // index in FrameCounts of a multi-instance identifier, else -1
};

const std::unordered_map<uint32_t, TFrameKind>& FrameKinds() {
    static const std::unordered_map<uint32_t, TFrameKind> kinds = [] {
        std::unordered_map<uint32_t, TFrameKind> m;
        auto countIndex = [](const char* id) {
            for (size_t i = 0; i < KnownFrameIDs.size(); ++i)
                if (std::strcmp(KnownFrameIDs[i], id) == 0) return int(i);
            return -1;
        };
#define VELMAR_SINGLE(id, cls)                                                                             \
    m[IdKey(#id)] = {[](TID3v2Object& o, const TID3v2FrameHeader& h, std::span<const uint8_t> b) {        \
                         cls f; /* a repeated frame is kept raw, as it stands */                            \
                         if (o.id.FrameHeader.Present || !f.ReadFromBuffer(h, b)) return false;           \
                         o.id = std::move(f);                                                               \
                         return true;                                                                       \
                     },                                                                                     \
                     -1};
#define VELMAR_MULTI(id, cls)                                                                              \
    m[IdKey(#id)] = {[](TID3v2Object& o, const TID3v2FrameHeader& h, std::span<const uint8_t> b) {        \
                         cls f;                                                                             \
                         if (!f.ReadFromBuffer(h, b)) return false;                                         \
                         o.id.push_back(std::move(f));                                                      \
                         o.id##Count = int32_t(o.id.size());                                                \
                         return true;                                                                       \
                     },                                                                                     \
                     countIndex(#id)};
        VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
        return m;
    }();
    return kinds;
}

}  // namespace

bool IsKnownFrameID(std::string_view id) { return id.size() == 4 && FrameKinds().count(IdKey(id)) > 0; }

bool IsWellFormedFrameID(std::string_view id) {
    if (id.size() != 4) return false;
    for (const char c : id)
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// Every 0x00 that follows 0xFF is a stuffing byte and is dropped.
TBytes RemoveUnsynchronisation(std::span<const uint8_t> area) {
    TBytes out;
    out.reserve(area.size());
    for (size_t i = 0; i < area.size(); ++i) {
        out.push_back(area[i]);
        if (area[i] == 0xFF && i + 1 < area.size() && area[i + 1] == 0x00) ++i;
    }
    return out;
}

int64_t TID3v2Object::TagSizeOnDisk() const {
    return Present ? 10 + Header.Size + (Header.Footer ? 10 : 0) : 0;
}

void TID3v2Object::Read(TStream& stream) {
    Present = true;
    Valid = false;
    const int64_t start = stream.Position() - 3;
    uint8_t head[7] = {};
    const size_t got = stream.Read(head, sizeof head);
    TBytes tag = {'I', 'D', '3'};
    tag.insert(tag.end(), head, head + got);
    if (got < sizeof head) {  // a header cut short: keep what there is
        RawTag = std::move(tag);
        return;
    }
    Header.ReadFromBytes(head);
    // The whole tag in one read; a tag that runs past the end of the file gives what is there.
    const size_t declared = size_t(Header.Size) + (Header.Footer ? 10 : 0);
    tag.resize(10 + declared);
    const size_t body = stream.Read(tag.data() + 10, declared);
    tag.resize(10 + body);
    stream.Seek(start + int64_t(tag.size()));

    if (Header.MajorVersion != 3) {
        RawTag = std::move(tag);
        return;
    }
    if (Header.OtherFlags) {
        Sink->Error("Unrecognized Header Flag.");
        RawTag = std::move(tag);
        return;
    }
    Valid = true;
    std::span<const uint8_t> area(tag.data() + 10, std::min(body, size_t(Header.Size)));
    TBytes unsynced;
    if (Header.Unsynchronisation) {
        unsynced = RemoveUnsynchronisation(area);
        area = unsynced;
    }
    int32_t index = 0;
    if (Header.ExtendedHeader) {
        TID3v2ExtendedHeader ext;
        // A flag without a sensible extended header behind it is ignored.
        if (ext.ReadFromBuffer(area, index) && (ext.Size == 6 || ext.Size == 10)) ExtHeader = ext;
        else index = 0;
    }
    ReadFrames(area.subspan(size_t(index)));
}

void TID3v2Object::ReadFrames(std::span<const uint8_t> area) {
    Position = 0;
    TID3v2FrameHeader header;
    while (size_t(Position) + 10 <= area.size()) {
        header.ReadFromBuffer(area, Position);
        if (header.FrameID == std::string(4, '\0')) break;  // padding
        if (!IsWellFormedFrameID(header.FrameID)) {
            const uint8_t* b = area.data() + Position - 4;
            if (b[0] | b[1] | b[2] | b[3]) {
                char text[160];
                std::snprintf(text, sizeof text, "Unknown ID3 v2.3.0 frame found, aborting. Position: %d BUF: %d %d %d %d",
                              Position, b[0], b[1], b[2], b[3]);
                Sink->Error(text);
            }
            break;
        }
        if (header.Size > int64_t(area.size()) - Position) break;  // runs past the tag: the walk ends
        DispatchFrame(header, area.subspan(size_t(Position), size_t(header.Size)));
        Position += int32_t(header.Size);
    }
    Position = 0;
}

void TID3v2Object::DispatchFrame(const TID3v2FrameHeader& header, std::span<const uint8_t> stored) {
    auto keepRaw = [&] {
        TRawFrame raw;
        raw.FrameHeader = header;
        raw.Data.assign(stored.begin(), stored.end());
        RawFrames.push_back(std::move(raw));
        FrameOrder.push_back({header.FrameID, TFrameRef::Raw, int32_t(RawFrames.size()) - 1});
    };
    const auto& kinds = FrameKinds();
    const auto kind = kinds.find(IdKey(header.FrameID));
    if (kind == kinds.end() || header.Encryption) return keepRaw();

    // In front of the body: the inflated size when compressed, the group symbol when grouped.
    size_t skip = (header.Compression ? 4 : 0) + (header.GroupingIdentity ? 1 : 0);
    if (skip > stored.size()) return keepRaw();
    std::span<const uint8_t> body = stored.subspan(skip);
    TBytes inflated;
    if (header.Compression) {
        if (!DecompressFrameData(body, inflated, kMaxInflatedFrame)) return keepRaw();
        body = inflated;
    }
    TID3v2FrameHeader plain = header;
    plain.Compression = plain.GroupingIdentity = false;
    if (!kind->second.Read(*this, plain, body)) return keepRaw();
    const int countIndex = kind->second.CountIndex;
    if (countIndex >= 0) {
        ++FrameCounts[size_t(countIndex)];
        FrameOrder.push_back({header.FrameID, TFrameRef::Multi, FrameCounts[size_t(countIndex)] - 1});
    } else {
        FrameOrder.push_back({header.FrameID, TFrameRef::Single, 0});
    }
}

TID3v2Frame* TID3v2Object::SingleFrame(std::string_view id) {
#define VELMAR_SINGLE(fid, cls) if (id == #fid) return &fid;
#define VELMAR_MULTI(fid, cls)
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
    return nullptr;
}

TID3v2Frame* TID3v2Object::Frame(const TFrameRef& ref) {
    if (ref.Kind == TFrameRef::Raw)
        return ref.Index >= 0 && size_t(ref.Index) < RawFrames.size() ? &RawFrames[size_t(ref.Index)] : nullptr;
    if (ref.Kind == TFrameRef::Single) return SingleFrame(ref.FrameID);
#define VELMAR_SINGLE(fid, cls)
#define VELMAR_MULTI(fid, cls) \
    if (ref.FrameID == #fid) return ref.Index >= 0 && ref.Index < std::min(fid##Count, int32_t(fid.size())) ? &fid[size_t(ref.Index)] : nullptr;
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
    return nullptr;
}

void TID3v2Object::RemoveFrames(std::string_view id) {
    if (TID3v2Frame* single = SingleFrame(id)) single->FrameHeader.Present = false;
#define VELMAR_SINGLE(fid, cls)
#define VELMAR_MULTI(fid, cls) \
    if (id == #fid) {          \
        fid.clear();           \
        fid##Count = 0;        \
    }
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
    DropRawFrames(id);
    std::erase_if(FrameOrder, [id](const TFrameRef& r) { return r.FrameID == id; });
}

void TID3v2Object::DropRawFrames(std::string_view id) {
    std::erase_if(RawFrames, [id](const TRawFrame& f) { return f.FrameHeader.FrameID == id; });
    std::erase_if(FrameOrder, [id](const TFrameRef& r) { return r.Kind == TFrameRef::Raw && r.FrameID == id; });
    int32_t raw = 0;
    for (TFrameRef& r : FrameOrder)
        if (r.Kind == TFrameRef::Raw) r.Index = raw++;
}

int64_t TID3v2Object::PrepareFrames() {
    int64_t total = 0;
#define VELMAR_SINGLE(id, cls)                    \
    if (id.FrameHeader.Present) {                 \
        id.Prepare(#id);                          \
        total += 10 + id.FrameHeader.Size;        \
    }
#define VELMAR_MULTI(id, cls)                                                            \
    for (size_t i = 0; i < std::min(id.size(), size_t(std::max(id##Count, 0))); ++i) { \
        if (!id[i].Writable()) continue;                                                 \
        id[i].Prepare(#id);                                                              \
        total += 10 + id[i].FrameHeader.Size;                                            \
    }
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
    for (const TRawFrame& raw : RawFrames) total += 10 + int64_t(raw.Data.size());
    return total;
}

bool TID3v2Object::Save(TStream& stream) {
    try {
        if (KeepsUnderstoodTagBytes()) {
            StreamWriteBytes(stream, RawTag);
            return true;
        }
        const int64_t total = PrepareFrames();
        if (total > kMaxID3v2Size) {
            Sink->Error("The ID3v2 tag would be " + std::to_string(total + 10) +
                        " bytes long, more than an ID3v2 tag can hold.");
            Sink->Error("Error saving file. ID3v2Object::Save");
            return false;
        }
        Header = TID3v2Header{};
        Header.MajorVersion = 3;
        Header.Size = total;
        Header.WriteToStream(stream);
#define VELMAR_SINGLE(id, cls) \
    if (id.FrameHeader.Present) id.WriteToStream(stream);
#define VELMAR_MULTI(id, cls) \
    for (size_t i = 0; i < std::min(id.size(), size_t(std::max(id##Count, 0))); ++i) \
        if (id[i].Writable()) id[i].WriteToStream(stream);
        VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
        for (const TRawFrame& raw : RawFrames) raw.WriteToStream(stream);
        return true;
    } catch (const std::exception&) {
        Sink->Error("Error saving file. ID3v2Object::Save");
        return false;
    }
}

}  // namespace velmar
