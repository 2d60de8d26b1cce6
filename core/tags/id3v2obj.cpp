#include "id3v2obj.h"

#include "tags/id3v2upgrade.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

namespace velmar {

namespace {

// Largest body an inflated frame may have.
constexpr size_t kMaxInflatedFrame = size_t(64) << 20;

uint32_t IdKey(std::string_view id) {
    uint32_t k = 0;
    for (size_t i = 0; i < 4; ++i) k = (k << 8) | uint8_t(i < id.size() ? id[i] : 0);
    return k;
}

using TFrameReader = bool (*)(TID3v2Object&, const TID3v2FrameHeader&, std::span<const uint8_t>);

struct TFrameDispatch {
    TFrameReader Read;
    int CountIndex;  // index in FrameCounts of a multi-instance identifier, else -1
};

// One entry per known identifier, generated from the frame list.
// NOLINTNEXTLINE(readability-function-size)
const std::unordered_map<uint32_t, TFrameDispatch>& FrameDispatch() {
    static const std::unordered_map<uint32_t, TFrameDispatch> kinds = [] {
        std::unordered_map<uint32_t, TFrameDispatch> m;
        auto countIndex = [](std::string_view id) {
            return int(std::find(KnownFrameIDs.begin(), KnownFrameIDs.end(), id) - KnownFrameIDs.begin());
        };
// A frame is read into its member (a repeated single frame is kept raw, as it stands);
// one that cannot be read leaves the member as it was made.
#define VELMAR_SINGLE(id, cls)                                                                     \
    m[IdKey(#id)] = {[](TID3v2Object& o, const TID3v2FrameHeader& h, std::span<const uint8_t> b) { \
                         if (o.id.FrameHeader.Present) return false;                               \
                         if (o.id.ReadFromBuffer(h, b)) return true;                               \
                         o.id = cls();                                                             \
                         return false;                                                             \
                     },                                                                            \
                     -1};
#define VELMAR_MULTI(id, cls)                                                                      \
    m[IdKey(#id)] = {[](TID3v2Object& o, const TID3v2FrameHeader& h, std::span<const uint8_t> b) { \
                         if (!o.id.emplace_back().ReadFromBuffer(h, b)) {                          \
                             o.id.pop_back();                                                      \
                             return false;                                                         \
                         }                                                                         \
                         o.id##Count = int32_t(o.id.size());                                       \
                         return true;                                                              \
                     },                                                                            \
                     countIndex(#id)};
        VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
        return m;
    }();
    return kinds;
}

}  // namespace

bool IsKnownFrameID(std::string_view id) { return id.size() == 4 && FrameDispatch().count(IdKey(id)) > 0; }

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

int64_t TID3v2Object::TagSizeOnDisk() const { return Present ? 10 + Header.Size + (Header.Footer ? 10 : 0) : 0; }

namespace {

// The number of frames in a frames area as their headers' sizes lead from one to the
// next (the walk itself judges each one): room for the list of frames at once.
size_t CountFrameHeaders(std::span<const uint8_t> area, uint8_t version) {
    const size_t headerLength = version == 2 ? 6 : 10;
    size_t count = 0;
    for (size_t pos = 0; pos + headerLength <= area.size() && area[pos] != 0 && count < 4096; ++count) {
        const uint8_t* h = area.data() + pos;
        size_t size = 0;
        if (version == 2)
            size = size_t(h[3]) << 16 | size_t(h[4]) << 8 | h[5];
        else if (version == 4)
            size = size_t(h[4] & 0x7F) << 21 | size_t(h[5] & 0x7F) << 14 | size_t(h[6] & 0x7F) << 7 | (h[7] & 0x7F);
        else
            size = size_t(h[4]) << 24 | size_t(h[5]) << 16 | size_t(h[6]) << 8 | h[7];
        pos += headerLength + size;
    }
    return count;
}

}  // namespace

void TID3v2Object::Read(TStream& stream) {
    Present = true;
    Valid = false;
    const int64_t start = stream.Position() - 3;
    uint8_t head[7] = {};
    const size_t got = stream.Read(head, sizeof head);
    if (got < sizeof head) {  // a header cut short: keep what there is
        RawTag = {'I', 'D', '3'};
        RawTag.insert(RawTag.end(), head, head + got);
        return;
    }
    Header.ReadFromBytes(head);
    // The whole tag, looked at where the stream holds it, else in one read into a buffer
    // that is not cleared first; a tag that runs past the end of the file gives what is there.
    const size_t declared = size_t(std::max<int64_t>(
        0, std::min<int64_t>(Header.Size + (Header.Footer ? 10 : 0), stream.Size() - stream.Position())));
    std::unique_ptr<uint8_t[]> bytes;
    std::span<const uint8_t> tag = stream.HeldAt(start, 10 + declared);
    if (tag.size() < 10 || std::memcmp(tag.data(), "ID3", 3) != 0) {
        bytes = std::make_unique_for_overwrite<uint8_t[]>(10 + declared);
        std::memcpy(bytes.get(), "ID3", 3);
        std::memcpy(bytes.get() + 3, head, sizeof head);
        tag = std::span<const uint8_t>(bytes.get(), 10 + stream.Read(bytes.get() + 10, declared));
    }
    const size_t body = tag.size() - 10;
    stream.Seek(start + int64_t(tag.size()));
    // A tag that is not understood, or is damaged, is written back as it stood.
    auto keepBytes = [&] { RawTag.assign(tag.begin(), tag.end()); };

    const uint8_t version = Header.MajorVersion;
    // Versions other than 2, 3 and 4, and ID3v2.2 tags compressed as a whole, are not understood.
    if (version < 2 || version > 4 || (version == 2 && Header.ExtendedHeader)) {
        keepBytes();
        return;
    }
    if (Header.OtherFlags) {
        Sink->Error("Unrecognized Header Flag.");
        keepBytes();
        return;
    }
    Valid = true;
    std::span<const uint8_t> area = tag.subspan(10, std::min(body, size_t(Header.Size)));
    TBytes unsynced;
    if (Header.Unsynchronisation && version != 4) {  // version 4 unsynchronises frame by frame
        unsynced = RemoveUnsynchronisation(area);
        area = unsynced;
    }
    int32_t index = 0;
    if (Header.ExtendedHeader && version == 3) {
        // Bytes the size field counts beyond the flags and the padding size are skipped;
        // an extended header that runs past the tag leaves nothing to read frames from.
        TID3v2ExtendedHeader ext;
        if (!ext.ReadFromBuffer(area, index)) {
            Valid = false;
            keepBytes();
            return;
        }
        ExtHeader = ext;
    } else if (Header.ExtendedHeader && version == 4 && area.size() >= 6) {
        // Version 4: a sync-safe size that counts the whole extended header.
        const uint8_t* e = area.data();
        const bool syncSafe = ((e[0] | e[1] | e[2] | e[3]) & 0x80) == 0;
        const int64_t size = (int64_t(e[0]) << 21) | (int64_t(e[1]) << 14) | (int64_t(e[2]) << 7) | e[3];
        if (syncSafe && size >= 6 && size <= int64_t(area.size())) {
            ExtHeader.Size = size;
            index = int32_t(size);
        }
    }
    const std::span<const uint8_t> frames = area.subspan(size_t(index));
    // The list of frames takes its room once, not frame by frame.
    const size_t count = CountFrameHeaders(frames, version);
    FrameOrder.reserve(FrameOrder.size() + count);
    if (version == 4) HeldFrames.reserve(HeldFrames.size() + count);
    ReadFrames(frames, 0);
    if (!Valid) keepBytes();
}

namespace {

bool IsWellFormedID22(std::string_view id) {
    return id.size() == 3 &&
           std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

// True when a frame header of this version stands at `at`: a well-formed identifier
// (and, when `known`, one of the known frames) whose body fits in the area.
bool FrameHeaderAt(std::span<const uint8_t> area, size_t at, uint8_t version, bool known) {
    const size_t headerLength = version == 2 ? 6 : 10;
    if (at + headerLength > area.size()) return false;
    const uint8_t* h = area.data() + at;
    const size_t room = area.size() - at - headerLength;
    if (version == 2) {
        const std::string_view id(reinterpret_cast<const char*>(h), 3);
        const size_t size = size_t(h[3]) << 16 | size_t(h[4]) << 8 | h[5];
        return IsWellFormedID22(id) && (!known || !UpgradeFrameID22(std::string(id)).empty()) && size <= room;
    }
    const std::string_view id(reinterpret_cast<const char*>(h), 4);
    const uint64_t plain = uint64_t(h[4]) << 24 | uint64_t(h[5]) << 16 | uint64_t(h[6]) << 8 | h[7];
    const uint64_t syncSafe =
        uint64_t(h[4] & 0x7F) << 21 | uint64_t(h[5] & 0x7F) << 14 | uint64_t(h[6] & 0x7F) << 7 | (h[7] & 0x7F);
    const uint64_t size = version == 4 ? std::min(plain, syncSafe) : plain;
    return IsWellFormedFrameID(id) && (!known || IsKnownFrameID(id)) && size <= room;
}

// What lies behind a frame header with a malformed identifier at `start`, whose body
// of `size` bytes would begin at `body`.
enum class TAfterMalformed { Skip, Damaged, Padding };

TAfterMalformed JudgeMalformedFrame(std::span<const uint8_t> area, size_t start, size_t body, int64_t size,
                                    uint8_t version) {
    const size_t headerLength = version == 2 ? 6 : 10;
    if (size <= int64_t(area.size() - body)) {
        // Its size leads to the end of the frames, to padding or to another frame: only this frame is lost.
        const size_t next = body + size_t(size);
        if (next + headerLength > area.size()) return TAfterMalformed::Skip;
        const uint8_t* n = area.data() + next;
        if (std::all_of(n, n + (version == 2 ? 3 : 4), [](uint8_t b) { return b == 0; })) return TAfterMalformed::Skip;
        if (FrameHeaderAt(area, next, version, false)) return TAfterMalformed::Skip;
    }
    for (size_t at = start + 1; at + headerLength <= area.size(); ++at)
        if (FrameHeaderAt(area, at, version, true)) return TAfterMalformed::Damaged;
    return TAfterMalformed::Padding;
}

// How well a frame of `size` bytes whose body starts at `body` fits: 2 when it
// ends where a known frame, padding or the end of the frames area begins, 1
// when another well-formed identifier follows, 0 when it does not fit.
int FrameFit(std::span<const uint8_t> area, size_t body, int64_t size) {
    if (size > int64_t(area.size() - body)) return 0;
    const size_t next = body + size_t(size);
    if (next + 10 > area.size()) return 2;
    const std::string_view id(reinterpret_cast<const char*>(area.data() + next), 4);
    if (id == std::string_view("\0\0\0\0", 4) || IsKnownFrameID(id)) return 2;
    return IsWellFormedFrameID(id) ? 1 : 0;
}

}  // namespace

void TID3v2Object::ReadFrames(std::span<const uint8_t> area, int depth) {
    const uint8_t version = Header.MajorVersion;
    const size_t headerLength = version == 2 ? 6 : 10;
    size_t pos = 0;
    while (pos + headerLength <= area.size()) {
        const uint8_t* h = area.data() + pos;
        TID3v2FrameHeader header;
        uint8_t formatFlags = 0;
        if (version == 2) {
            header.FrameID.assign(reinterpret_cast<const char*>(h), 3);
            header.Size = (int64_t(h[3]) << 16) | (int64_t(h[4]) << 8) | h[5];
        } else {
            int32_t at = int32_t(pos);
            header.ReadFromBuffer(area, at);
            formatFlags = h[9];
            if (version == 4) {
                // Sizes are sync-safe; some writers store plain sizes, told apart by where the next frame lands.
                const int64_t plain = header.Size;
                if (((h[4] | h[5] | h[6] | h[7]) & 0x80) == 0) {
                    const int64_t syncSafe =
                        (int64_t(h[4]) << 21) | (int64_t(h[5]) << 14) | (int64_t(h[6]) << 7) | h[7];
                    header.Size =
                        FrameFit(area, pos + 10, plain) > FrameFit(area, pos + 10, syncSafe) ? plain : syncSafe;
                }
            }
        }
        pos += headerLength;
        Position = int32_t(pos);
        const std::string_view id = header.FrameID;
        if (id.find_first_not_of('\0') == std::string_view::npos) break;  // padding
        if (version == 2 ? !IsWellFormedID22(id) : !IsWellFormedFrameID(id)) {
            const uint8_t* b = area.data() + pos - 4;
            // Reported for version 3 tags; in other versions it passes silently.
            if (version == 3 && (b[0] | b[1] | b[2] | b[3])) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "Unknown ID3 v2.3.0 frame found, aborting. Position: %d BUF: %d %d %d %d", Position, b[0],
                              b[1], b[2], b[3]);
                Sink->Error(text);
            }
            const TAfterMalformed after = JudgeMalformedFrame(area, pos - headerLength, pos, header.Size, version);
            if (after == TAfterMalformed::Skip) {
                pos += size_t(header.Size);
                continue;
            }
            // Known frames further on that cannot be reached: the tag is damaged and must not be rewritten.
            if (after == TAfterMalformed::Damaged) Valid = false;
            break;
        }
        if (header.Size > int64_t(area.size() - pos)) break;  // runs past the tag: the walk ends
        if (header.Size == 0) continue;  // a frame holds at least one byte: an empty one is no frame
        const std::span<const uint8_t> stored = area.subspan(pos, size_t(header.Size));
        if (version == 2)
            ReadFrame22(header.FrameID, stored, depth);
        else if (version == 4) {
            const size_t held = HeldFrames.size(), members = FrameOrder.size();
            ReadFrame24(header.FrameID, formatFlags, stored);
            // A frame that was not converted is held as the member it was read into.
            if (HeldFrames.size() == held && FrameOrder.size() > members)
                HeldFrames.push_back({FrameOrder.back().FrameID, FrameOrder.back(), {}});
        } else
            DispatchFrame(header, stored);
        pos += size_t(header.Size);
    }
    Position = 0;
}

void TID3v2Object::ReadFrame22(const std::string& id, std::span<const uint8_t> stored, int depth) {
    if (id == "CDM") {
        // A compressed data metaframe: method "z", the inflated size, then zlib data holding frames.
        TBytes inflated;
        if (stored.size() > 5 && stored[0] == 'z' && depth < 4 &&
            DecompressFrameData(stored.subspan(5), inflated, kMaxInflatedFrame))
            ReadFrames(inflated, depth + 1);
        return;
    }
    TID3v2FrameHeader header;
    header.FrameID = UpgradeFrameID22(id);
    if (header.FrameID.empty()) {
        header.FrameID = id;
        return KeepRaw(header, stored, false);
    }
    header.Present = true;
    if (header.FrameID == "APIC") {
        const TBytes apic = UpgradePictureBody22(stored);
        header.Size = int64_t(apic.size());
        return DispatchFrame(header, apic);
    }
    header.Size = int64_t(stored.size());
    DispatchFrame(header, stored);
}

void TID3v2Object::ReadFrame24(const std::string& id, uint8_t format, std::span<const uint8_t> stored) {
    const bool grouping = format & 0x40, compression = format & 0x08, encryption = format & 0x04,
               unsync = format & 0x02, lengthIndicator = format & 0x01;
    TID3v2FrameHeader header;
    header.FrameID = id;
    header.Present = true;
    // An encrypted frame cannot be carried into a tag of another version.
    if (encryption) return KeepRaw(header, stored, false);
    const size_t skip = (grouping ? 1 : 0) + (lengthIndicator ? 4 : 0);
    if (skip > stored.size()) return KeepRaw(header, stored, false);
    TBytes data(stored.begin() + int64_t(skip), stored.end());
    if (unsync || Header.Unsynchronisation) data = RemoveUnsynchronisation(data);
    if (compression) {
        TBytes inflated;
        if (!DecompressFrameData(data, inflated, kMaxInflatedFrame)) return KeepRaw(header, stored, false);
        data = std::move(inflated);
    }
    auto dispatch = [&](const std::string& frameID, const TBytes& body) {
        TID3v2FrameHeader h = header;
        h.FrameID = frameID;
        h.Size = int64_t(body.size());
        DispatchFrame(h, body);
    };
    // A text frame of the members, unless one was read already.
    auto dispatchText = [&](const char* frameID, const std::string& text) {
        const TID3v2Frame* member = SingleFrame(frameID);
        if (!text.empty() && member && !member->FrameHeader.Present) dispatch(frameID, TextBody23(text));
    };
    if (id == "TDRC" || id == "TDOR") {
        const std::string stamp = JoinTextValues24(id, data);
        const TTimestampParts parts = SplitTimestamp24(stamp);
        if (parts.Year.empty()) return dispatch(id, TextBody23(stamp));  // not a time stamp: kept as text
        HeldFrames.push_back({id, std::nullopt, stamp});
        if (id == "TDOR") return dispatchText("TORY", parts.Year);
        dispatchText("TYER", parts.Year);
        dispatchText("TDAT", parts.DayMonth);
        dispatchText("TIME", parts.HourMinute);
        return;
    }
    if (id == "TIPL" || id == "TMCL") {
        // Both lists of involved people become the one people list.
        const std::string people = data.empty() ? std::string() : DecodeText(data[0], data.data() + 1, data.size() - 1);
        HeldFrames.push_back({id, std::nullopt, JoinTextValues24(id, data)});
        if (IPLS.FrameHeader.Present) {
            IPLS.People += (IPLS.People.empty() || IPLS.People.back() == '\0' ? "" : std::string(1, '\0')) + people;
            return;
        }
        return dispatch("IPLS", TextBody23(people));
    }
    if (id[0] == 'T' && id != "TXXX") return dispatch(id, TextBody23(JoinTextValues24(id, data)));
    // Frames that point into the tag or the file, or sign it, mean nothing in a rewritten tag.
    if (id == "ASPI" || id == "SEEK" || id == "SIGN") return KeepRaw(header, data, false);
    if (id == "CHAP" || id == "CTOC") return dispatch(id, DowngradeChapterBody24(id, data));
    dispatch(id, data);
    if (id == "TXXX" && TXXXCount > 0 && size_t(TXXXCount) <= TXXX.size()) {
        // Several values are joined as text frames join them.
        std::string& value = TXXX[size_t(TXXXCount) - 1].Value;
        while (!value.empty() && value.back() == '\0') value.pop_back();
        std::replace(value.begin(), value.end(), '\0', '/');
    }
}

void TID3v2Object::KeepRaw(const TID3v2FrameHeader& header, std::span<const uint8_t> data, bool writable) {
    TRawFrame raw;
    raw.FrameHeader = header;
    raw.FrameHeader.Present = true;
    raw.Data.assign(data.begin(), data.end());
    raw.KeepOnWrite = writable;
    RawFrames.push_back(std::move(raw));
    FrameOrder.push_back({header.FrameID, TFrameRef::Raw, int32_t(RawFrames.size()) - 1});
}

void TID3v2Object::DispatchFrame(const TID3v2FrameHeader& header, std::span<const uint8_t> stored) {
    auto keepRaw = [&] { KeepRaw(header, stored, true); };
    const auto& kinds = FrameDispatch();
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

// NOLINTNEXTLINE(readability-function-size): a statement per member, generated from the frame list
TID3v2Frame* TID3v2Object::SingleFrame(std::string_view id) {
    // Looked up by the identifier's four bytes: every frame of every tag read and shown comes here.
    using TMember = TID3v2Frame* (*)(TID3v2Object&);
    static const std::unordered_map<uint32_t, TMember> members = [] {
        std::unordered_map<uint32_t, TMember> m;
#define VELMAR_SINGLE(fid, cls) m[IdKey(#fid)] = [](TID3v2Object& o) -> TID3v2Frame* { return &o.fid; };
#define VELMAR_MULTI(fid, cls)
        VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
        return m;
    }();
    if (id.size() != 4) return nullptr;
    const auto member = members.find(IdKey(id));
    return member == members.end() ? nullptr : member->second(*this);
}

// NOLINTNEXTLINE(readability-function-size): a statement per member, generated from the frame list
TID3v2Frame* TID3v2Object::Frame(const TFrameRef& ref) {
    if (ref.Kind == TFrameRef::Raw)
        return ref.Index >= 0 && size_t(ref.Index) < RawFrames.size() ? &RawFrames[size_t(ref.Index)] : nullptr;
    if (ref.Kind == TFrameRef::Single) return SingleFrame(ref.FrameID);
#define VELMAR_SINGLE(fid, cls)
#define VELMAR_MULTI(fid, cls)                                                                                   \
    if (ref.FrameID == #fid)                                                                                     \
        return ref.Index >= 0 && ref.Index < std::min(fid##Count, int32_t(fid.size())) ? &fid[size_t(ref.Index)] \
                                                                                       : nullptr;
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

// NOLINTNEXTLINE(readability-function-size): a statement per member, generated from the frame list
int64_t TID3v2Object::PrepareFrames() {
    int64_t total = 0;
#define VELMAR_SINGLE(id, cls)             \
    if (id.FrameHeader.Present) {          \
        id.Prepare(#id);                   \
        total += 10 + id.FrameHeader.Size; \
    }
#define VELMAR_MULTI(id, cls)                                                          \
    for (size_t i = 0; i < std::min(id.size(), size_t(std::max(id##Count, 0))); ++i) { \
        if (!id[i].Writable()) continue;                                               \
        id[i].Prepare(#id);                                                            \
        total += 10 + id[i].FrameHeader.Size;                                          \
    }
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
    for (const TRawFrame& raw : RawFrames)
        if (raw.Writable()) total += 10 + int64_t(raw.Data.size());
    return total;
}

// NOLINTNEXTLINE(readability-function-size): a statement per member, generated from the frame list
bool TID3v2Object::Save(TStream& stream, int64_t space) {
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
        int64_t padding = 0;
        if (space != kNoPadding) {
            padding = 10 + total <= space ? space - 10 - total : std::max(kGrowthPadding, total / 16);
            padding = std::min(padding, kMaxID3v2Size - total);
        }
        Header = TID3v2Header{};
        Header.MajorVersion = 3;
        HeldFrames.clear();
        Header.Size = total + padding;
        Header.WriteToStream(stream);
#define VELMAR_SINGLE(id, cls) \
    if (id.FrameHeader.Present) id.WriteToStream(stream);
#define VELMAR_MULTI(id, cls)                                                        \
    for (size_t i = 0; i < std::min(id.size(), size_t(std::max(id##Count, 0))); ++i) \
        if (id[i].Writable()) id[i].WriteToStream(stream);
        VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI
        std::string dropped;
        for (const TRawFrame& raw : RawFrames) {
            if (raw.Writable())
                raw.WriteToStream(stream);
            else if (dropped.find(raw.FrameHeader.FrameID) == std::string::npos)
                dropped += (dropped.empty() ? "" : ", ") + raw.FrameHeader.FrameID;
        }
        if (!dropped.empty())
            Sink->Error("These frames cannot be written into an ID3v2.3 tag and were left out: " + dropped + ".");
        const TBytes zeros(size_t(std::min<int64_t>(padding, 64 * 1024)), 0);
        for (int64_t left = padding; left > 0; left -= int64_t(zeros.size()))
            stream.Write(zeros.data(), size_t(std::min<int64_t>(left, int64_t(zeros.size()))));
        return true;
    } catch (const std::exception&) {
        Sink->Error("Error saving file. ID3v2Object::Save");
        return false;
    }
}

}  // namespace velmar
