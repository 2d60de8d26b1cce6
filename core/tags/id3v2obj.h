#pragma once
// The ID3v2 tag of one file: one member per known frame identifier (arrays with
// counts for the identifiers that may occur more than once), frames with other
// well-formed identifiers kept raw, reading of a whole tag and writing of an
// ID3v2.3.0 tag.
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"
#include "tags/id3v2classes.h"

namespace velmar {

// The known identifiers in member order: X(id, class) for single frames,
// M(id, class) for identifiers that may occur more than once.
// clang-format off
#define VELMAR_ID3V2_FRAMES(X, M)                                                             \
    M(AENC, TAENCFrame) M(APIC, TAPICFrame) M(COMM, TCOMMFrame) X(COMR, TCOMRFrame)           \
    M(ENCR, TENCRFrame) X(EQUA, TUndefinedFrame) X(ETCO, TUndefinedFrame) M(GEOB, TGEOBFrame) \
    M(GRID, TGRIDFrame) X(IPLS, TIPLSFrame) M(LINK, TUndefinedFrame) X(MCDI, TMCDIFrame)      \
    X(MLLT, TUndefinedFrame) X(OWNE, TOWNEFrame) X(PCNT, TPCNTFrame) M(POPM, TPOPMFrame)      \
    X(POSS, TUndefinedFrame) M(PRIV, TPRIVFrame) X(RBUF, TRBUFFrame) X(RVAD, TUndefinedFrame) \
    X(RVRB, TRVRBFrame) M(SYLT, TUndefinedFrame) X(SYTC, TSYTCFrame) X(TALB, TTxtFrame)       \
    X(TBPM, TTxtIntFrame) X(TCOM, TTxtFrame) X(TCON, TTCONFrame) X(TCOP, TTCOPFrame)          \
    X(TDAT, TTDATFrame) X(TDLY, TTxtFrame) X(TENC, TTxtFrame) X(TEXT, TTxtFrame)              \
    X(TFLT, TTFLTFrame) X(TIME, TTIMEFrame) X(TIT1, TTxtFrame) X(TIT2, TTxtFrame)             \
    X(TIT3, TTxtFrame) X(TKEY, TTxtFrame) X(TLAN, TTxtFrame) X(TLEN, TTxtIntFrame)            \
    X(TMED, TTMEDFrame) X(TOAL, TTxtFrame) X(TOFN, TTxtFrame) X(TOLY, TTxtFrame)              \
    X(TOPE, TTxtFrame) X(TORY, TTxtIntFrame) X(TOWN, TTxtFrame) X(TPE1, TTxtFrame)            \
    X(TPE2, TTxtFrame) X(TPE3, TTxtFrame) X(TPE4, TTxtFrame) X(TPOS, TTPOSFrame)              \
    X(TPUB, TTxtFrame) X(TRCK, TTRCKFrame) X(TRDA, TTxtFrame) X(TRSN, TTxtFrame)              \
    X(TRSO, TTxtFrame) X(TSIZ, TTxtIntFrame) X(TSRC, TTxtFrame) X(TSSE, TTxtFrame)            \
    M(TXXX, TTXXXFrame) X(TYER, TTxtIntFrame) M(UFID, TUFIDFrame) X(USER, TUSERFrame)         \
    M(USLT, TUSLTFrame) X(WCOM, TWebFrame) X(WCOP, TWebFrame) X(WOAF, TWebFrame)              \
    X(WOAR, TWebFrame) X(WOAS, TWebFrame) X(WORS, TWebFrame) X(WPAY, TWebFrame)               \
    X(WPUB, TWebFrame) M(WXXX, TWXXXFrame)
// clang-format on

constexpr size_t kKnownFrameCount = 74;

// The known identifiers in member order, from the declaration above; a list of
// more names does not compile, one of fewer fails the check below.
#define VELMAR_ID_NAME(id, cls) std::string_view(#id),
inline constexpr std::array<std::string_view, kKnownFrameCount> kMemberFrameIDs = {
    VELMAR_ID3V2_FRAMES(VELMAR_ID_NAME, VELMAR_ID_NAME)};
#undef VELMAR_ID_NAME
static_assert(!kMemberFrameIDs.back().empty(), "every known identifier has a member");

// The known identifiers in the order of `FrameCounts`: member order, except that
// PRIV stands before PCNT and POPM, and TXXX after TYER.
constexpr std::array<std::string_view, kKnownFrameCount> CountOrderOfFrameIDs() {
    auto ids = kMemberFrameIDs;
    auto moveBefore = [&ids](std::string_view id, std::string_view place) {
        auto from = std::find(ids.begin(), ids.end(), id), to = std::find(ids.begin(), ids.end(), place);
        if (from > to) std::rotate(to, from, from + 1);
    };
    moveBefore("PRIV", "PCNT");
    moveBefore("TYER", "TXXX");
    return ids;
}
inline constexpr std::array<std::string_view, kKnownFrameCount> KnownFrameIDs = CountOrderOfFrameIDs();
static_assert(KnownFrameIDs[14] == "PRIV" && KnownFrameIDs[15] == "PCNT" && KnownFrameIDs[61] == "TXXX");
bool IsKnownFrameID(std::string_view id);
// Four characters of A-Z and 0-9.
bool IsWellFormedFrameID(std::string_view id);

// Where a frame read from the tag was put.
struct TFrameRef {
    enum TKind { Single, Multi, Raw };
    std::string FrameID;
    TKind Kind = Single;
    int32_t Index = 0;  // element of the member's array, or of RawFrames
};

// A frame of an ID3v2.4 tag as the tag holds it.
struct THeldFrame {
    std::string FrameID;              // as the tag holds it
    std::optional<TFrameRef> Member;  // the member it was read into, unless converted into others
    std::string Text;                 // of a converted frame: its values, joined with "/"
};

class TID3v2Object {
public:
    explicit TID3v2Object(TMessageSink& sink) : Sink(&sink) {}

    // Reads one tag; the stream stands right after "ID3". Never throws for a
    // malformed tag: `Valid` tells whether it was understood. The bytes of a tag
    // that was not understood are kept so that saving can write them back.
    void Read(TStream& stream);
    // Writes the tag: an ID3v2.3.0 tag from the members, or, for a tag that was
    // not understood and not to be replaced, its bytes as read. Returns false
    // after reporting a failure.
    // With `space` (the bytes the old tag took, 0 for none) the new tag is padded:
    // to exactly `space` when it fits there, so that it can replace the old tag in
    // place; otherwise with room for later edits to fit (kGrowthPadding, more for
    // large tags). Without it the tag has no padding.
    bool Save(TStream& stream, int64_t space = kNoPadding);
    static constexpr int64_t kNoPadding = -1;
    static constexpr int64_t kGrowthPadding = 1024;
    // Size of the whole tag as read (header, frames, padding, footer).
    int64_t TagSizeOnDisk() const;
    // True when a save will write the tag as it was read, untouched.
    bool KeepsUnderstoodTagBytes() const { return !Valid && !RawTag.empty() && !ReplaceInvalidTag; }

    // The frame a reference names; null when it no longer exists.
    TID3v2Frame* Frame(const TFrameRef& ref);
    // The member of a single-instance identifier; null for other identifiers.
    TID3v2Frame* SingleFrame(std::string_view id);
    // Drops every frame with this identifier: clears a single frame's Present
    // flag, empties a multi-instance array, removes raw frames.
    void RemoveFrames(std::string_view id);
    // Drops the raw frames with this identifier (repeats of a single frame among them).
    void DropRawFrames(std::string_view id);

    int32_t Position = 0;
    std::array<int32_t, kKnownFrameCount> FrameCounts{};
    bool Valid = false;
    bool Present = false;  // a tag was found and read
    TID3v2Header Header;
    TID3v2ExtendedHeader ExtHeader;

#define VELMAR_SINGLE(id, cls) cls id;
#define VELMAR_MULTI(id, cls) \
    std::vector<cls> id;      \
    int32_t id##Count = 0;
    VELMAR_ID3V2_FRAMES(VELMAR_SINGLE, VELMAR_MULTI)
#undef VELMAR_SINGLE
#undef VELMAR_MULTI

    // Frames with well-formed identifiers that are not known, or that could not
    // be understood, in file order; written back after the known frames, except
    // those that have no ID3v2.3 form.
    std::vector<TRawFrame> RawFrames;
    // The frames in the order they stood in the tag.
    std::vector<TFrameRef> FrameOrder;
    // The frames of an ID3v2.4 tag as it holds them, in its order: each the member
    // it was read into, or, for a frame the members keep converted into others (TDRC
    // into TYER, TDAT and TIME; TDOR into TORY; TIPL and TMCL into IPLS), its
    // identifier and text. Describes the tag as read: edits leave it as it is, and a
    // save, which writes ID3v2.3, empties it.
    std::vector<THeldFrame> HeldFrames;
    // The tag's bytes as read, kept when the tag was not understood.
    TBytes RawTag;
    // Set by a caller that wants a new tag written over one that was not understood.
    bool ReplaceInvalidTag = false;

private:
    void ReadFrames(std::span<const uint8_t> area, int depth);
    void ReadFrame22(const std::string& id, std::span<const uint8_t> stored, int depth);
    void ReadFrame24(const std::string& id, uint8_t formatFlags, std::span<const uint8_t> stored);
    void DispatchFrame(const TID3v2FrameHeader& header, std::span<const uint8_t> stored);
    void KeepRaw(const TID3v2FrameHeader& header, std::span<const uint8_t> data, bool writable);
    int64_t PrepareFrames();
    TMessageSink* Sink;
};

}  // namespace velmar
