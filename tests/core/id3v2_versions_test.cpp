// Reading ID3v2.2 and ID3v2.4 tags into the ID3v2.3 members, and writing them back as ID3v2.3.
#include <gtest/gtest.h>

#include <string>

#include "tags/id3v2obj.h"
#include "tags/id3v2upgrade.h"
#include "testfiles.h"

using namespace velmar;

namespace {

TBytes Bytes(std::string_view s) { return TBytes(s.begin(), s.end()); }

void Append(TBytes& out, const TBytes& more) { out.insert(out.end(), more.begin(), more.end()); }

TBytes SyncSafe(uint32_t v) {
    return {uint8_t((v >> 21) & 0x7F), uint8_t((v >> 14) & 0x7F), uint8_t((v >> 7) & 0x7F), uint8_t(v & 0x7F)};
}

TBytes Frame24(std::string_view id, const TBytes& body, uint8_t format = 0, bool plainSize = false) {
    TBytes f = Bytes(id);
    const uint32_t n = uint32_t(body.size());
    Append(f, plainSize ? TBytes{uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)} : SyncSafe(n));
    f.push_back(0);
    f.push_back(format);
    Append(f, body);
    return f;
}

TBytes Frame22(std::string_view id, const TBytes& body) {
    TBytes f = Bytes(id);
    const uint32_t n = uint32_t(body.size());
    Append(f, {uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    Append(f, body);
    return f;
}

TBytes Tag(uint8_t version, const TBytes& frames, uint8_t flags = 0, size_t padding = 0) {
    TBytes t = {'I', 'D', '3', version, 0, flags};
    Append(t, SyncSafe(uint32_t(frames.size() + padding)));
    Append(t, frames);
    t.resize(t.size() + padding, 0);
    return t;
}

// An encoding byte and a text.
TBytes Cat24(TBytes encoding, std::string_view text) {
    Append(encoding, Bytes(text));
    return encoding;
}

// A text frame's text, or a raw frame's body after its encoding byte.
std::string TextOf(const TID3v2Frame& frame) {
    if (const auto* text = dynamic_cast<const TTxtFrame*>(&frame)) return text->Text;
    const TBytes& data = dynamic_cast<const TRawFrame&>(frame).Data;
    return data.size() < 2 ? std::string() : std::string(data.begin() + 1, data.end());
}

// A tag read from memory, where it is looked at in place. Every tag is read from a
// file as well, where its bytes are copied first: the two reads must agree.
struct TReadTag {
    TCollectingSink sink;
    TID3v2Object tag{sink};
    explicit TReadTag(const TBytes& bytes) {
        TMemoryStream s(bytes);
        s.Seek(3);
        tag.Read(s);
        const vtest::TTempDir dir;
        TFileStream file(dir.Put("tag.mp3", bytes), TFileStream::OpenRead);
        file.Seek(3);
        TCollectingSink copiedSink;
        TID3v2Object copied(copiedSink);
        copied.Read(file);
        auto ids = [](const TID3v2Object& t) {
            std::string all;
            for (const TFrameRef& ref : t.FrameOrder) all += ref.FrameID + " ";
            return all;
        };
        EXPECT_EQ(ids(copied), ids(tag));
        EXPECT_EQ(copied.Valid, tag.Valid);
        EXPECT_EQ(copied.RawTag, tag.RawTag);
        EXPECT_EQ(copiedSink.Messages, sink.Messages);
    }
};

TBytes Saved(TID3v2Object& tag) {
    TMemoryStream out;
    EXPECT_TRUE(tag.Save(out));
    return out.Data;
}

}  // namespace

TEST(ID3v24, TextEncodingsMultipleValuesAndSizes) {
    TBytes utf8 = {3};
    Append(utf8, Bytes("Ünïcödé ☃"));
    TBytes utf16be = {2, 0x00, 'A', 0x00, 'B'};
    TBytes artists = {3};
    Append(artists, Bytes(std::string("One\0Two\0", 8)));
    TBytes genre = {0};
    Append(genre, Bytes(std::string("17\0Live", 7)));
    TBytes frames;
    Append(frames, Frame24("TIT2", utf8));
    Append(frames, Frame24("TALB", utf16be));
    Append(frames, Frame24("TPE1", artists));
    Append(frames, Frame24("TCON", genre));
    // A frame of 200 bytes: its sync-safe size differs from the plain one.
    TBytes comment = {0, 'e', 'n', 'g', 0};
    comment.resize(200, 'x');
    Append(frames, Frame24("COMM", comment));
    // iTunes writes plain sizes in version 4 tags; the next frame header tells them apart.
    TBytes picture = {0, 'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g', 0, 3, 0};
    picture.resize(300, 0x55);
    Append(frames, Frame24("APIC", picture, 0, true));
    Append(frames, Frame24("TRCK", {0, '7'}));

    TReadTag r(Tag(4, frames, 0, 32));
    TID3v2Object& t = r.tag;
    ASSERT_TRUE(t.Valid);
    EXPECT_EQ(t.TIT2.Text, "Ünïcödé ☃");
    EXPECT_EQ(t.TALB.Text, "AB");
    EXPECT_EQ(t.TPE1.Text, "One/Two");
    EXPECT_EQ(t.TCON.Text, "(17)Live");
    EXPECT_EQ(t.TCON.Genre1Name, "Rock");
    EXPECT_EQ(t.TCON.Refinement, "Live");
    ASSERT_EQ(t.COMMCount, 1);
    EXPECT_EQ(t.COMM[0].Text.size(), 195u);
    ASSERT_EQ(t.APICCount, 1);
    EXPECT_EQ(t.APIC[0].PictureData.size(), 287u);
    EXPECT_EQ(t.TRCK.Number, 7);
    EXPECT_TRUE(r.sink.Messages.empty());

    // Written back as ID3v2.3: non-Latin-1 text in UTF-16, the rest single-byte.
    TBytes saved = Saved(t);
    EXPECT_EQ(saved[3], 3);
    TReadTag again(saved);
    EXPECT_EQ(again.tag.Header.MajorVersion, 3);
    EXPECT_EQ(again.tag.TIT2.Text, "Ünïcödé ☃");
    EXPECT_EQ(again.tag.TIT2.Encoding, 1);
    EXPECT_EQ(again.tag.TPE1.Text, "One/Two");
    EXPECT_EQ(again.tag.TCON.Text, "(17)Live");
    EXPECT_EQ(again.tag.APIC[0].PictureData, t.APIC[0].PictureData);
}

TEST(ID3v24, FrameFlagsUnsynchronisationAndLengthIndicator) {
    // Frame-level unsynchronisation with a data-length indicator: FF 00 FE is the mark FF FE.
    TBytes title = {0, 0, 0, 5, 1, 0xFF, 0x00, 0xFE, 'H', 0, 'i', 0};
    TBytes frames = Frame24("TIT2", title, 0x03);
    // Grouped frame: the group symbol comes first.
    Append(frames, Frame24("TPE2", {0x42, 0, 'G', 'r', 'p'}, 0x40));
    // An encrypted frame has no form in another version: kept, and left out on writing.
    Append(frames, Frame24("TPE3", {0x80, 1, 2, 3}, 0x04));
    TReadTag r(Tag(4, frames));
    EXPECT_EQ(r.tag.TIT2.Text, "Hi");
    EXPECT_EQ(r.tag.TPE2.Text, "Grp");
    EXPECT_FALSE(r.tag.TPE3.FrameHeader.Present);
    ASSERT_EQ(r.tag.RawFrames.size(), 1u);

    TMemoryStream out;
    EXPECT_TRUE(r.tag.Save(out));
    ASSERT_EQ(r.sink.Messages.size(), 1u);
    EXPECT_NE(r.sink.Messages[0].find("TPE3"), std::string::npos);
    TReadTag again(out.Data);
    EXPECT_EQ(again.tag.TIT2.Text, "Hi");
    EXPECT_TRUE(again.tag.RawFrames.empty());
}

TEST(ID3v24, TagLevelUnsynchronisationWithoutFrameFlags) {
    // The tag header's flag alone says every frame is unsynchronised: FF 00 inside a frame is FF.
    const TBytes priv = {'o', 'w', 'n', 0, 0xFF, 0x00, 0xE3, 0x41, 0xFF, 0x00, 0x00, 0x7F};
    TBytes frames = Frame24("TIT2", {0, 'A', 0xFF, 0x00, 'B'});
    Append(frames, Frame24("PRIV", priv));
    TReadTag r(Tag(4, frames, 0x80));
    EXPECT_TRUE(r.tag.Valid);
    EXPECT_EQ(r.tag.TIT2.Text,
              "A\xC3\xBF"
              "B");  // A, y with diaeresis (Latin-1 FF), B
    ASSERT_EQ(r.tag.PRIVCount, 1);
    EXPECT_EQ(r.tag.PRIV[0].Owner, "own");
    EXPECT_EQ(r.tag.PRIV[0].Data, (TBytes{0xFF, 0xE3, 0x41, 0xFF, 0x00, 0x7F}));
}

TEST(ID3v24, DatesPeopleAndVersion4OnlyFrames) {
    TBytes frames;
    TBytes stamp = {0};
    Append(stamp, Bytes("2004-05-17T12:30:05"));
    Append(frames, Frame24("TDRC", stamp));
    TBytes original = {0};
    Append(original, Bytes("1999-01-01"));
    Append(frames, Frame24("TDOR", original));
    TBytes people = {0};
    Append(people, Bytes(std::string("producer\0Ann\0", 13)));
    Append(frames, Frame24("TIPL", people));
    TBytes musicians = {0};
    Append(musicians, Bytes(std::string("piano\0Bob", 9)));
    Append(frames, Frame24("TMCL", musicians));
    TBytes sortName = {3};
    Append(sortName, Bytes("Beatles, The"));
    Append(frames, Frame24("TSOP", sortName));
    Append(frames, Frame24("SEEK", {0, 0, 1, 0}));
    Append(frames, Frame24("RVA2", {'t', 'r', 'a', 'c', 'k', 0, 1, 0xFF, 0x00, 0}));

    TReadTag r(Tag(4, frames));
    TID3v2Object& t = r.tag;
    EXPECT_EQ(t.TYER.Text, "2004");
    EXPECT_EQ(t.TDAT.Text, "1705");
    EXPECT_EQ(t.TIME.Text, "1230");
    EXPECT_EQ(t.TORY.Value, 1999);
    EXPECT_EQ(t.IPLS.People, std::string("producer\0Ann\0piano\0Bob", 22));

    TMemoryStream out;
    EXPECT_TRUE(t.Save(out));
    TReadTag again(out.Data);
    EXPECT_EQ(again.tag.TDAT.Text, "1705");
    // The sort frame is kept as text valid in the older version; the seek frame is left out.
    std::vector<std::string> raw;
    for (const TRawFrame& f : again.tag.RawFrames) raw.push_back(f.FrameHeader.FrameID);
    EXPECT_EQ(raw, (std::vector<std::string>{"TSOP", "RVA2"}));
    EXPECT_EQ(again.tag.RawFrames[0].Data[0], 0);  // Latin-1 now, not UTF-8
}

TEST(ID3v24, ExtendedHeaderFooterAndMissingExtendedHeader) {
    TBytes frames = Frame24("TIT2", {0, 'X'});
    TBytes withExt = {'I', 'D', '3', 4, 0, 0x50};  // extended header and footer
    TBytes ext = {0, 0, 0, 6, 1, 0};
    Append(withExt, SyncSafe(uint32_t(ext.size() + frames.size())));
    Append(withExt, ext);
    Append(withExt, frames);
    Append(withExt, {'3', 'D', 'I', 4, 0, 0x50});
    Append(withExt, SyncSafe(uint32_t(ext.size() + frames.size())));
    TReadTag r(withExt);
    EXPECT_EQ(r.tag.TIT2.Text, "X");
    EXPECT_EQ(r.tag.TagSizeOnDisk(), int64_t(withExt.size()));

    // The flag is set but the frames start right after the header.
    TReadTag flagOnly(Tag(4, frames, 0x40));
    EXPECT_EQ(flagOnly.tag.TIT2.Text, "X");
}

TEST(ID3v22, FramesMapToTheirTwinsAndOthersAreLeftOutOnWriting) {
    TBytes frames;
    Append(frames, Frame22("TT2", {0, 'S', 'o', 'n', 'g'}));
    Append(frames, Frame22("TP1", {1, 0xFF, 0xFE, 'A', 0, 'n', 0}));
    Append(frames, Frame22("COM", {0, 'e', 'n', 'g', 0, 'N', 'i', 'c', 'e'}));
    TBytes pic = {0, 'J', 'P', 'G', 3, 'F', 'r', 'o', 'n', 't', 0, 0xFF, 0xD8, 0xFF};
    Append(frames, Frame22("PIC", pic));
    Append(frames, Frame22("TCP", {0, '1'}));
    Append(frames, Frame22("CRM", {'o', 0, 'x', 1, 2}));

    TReadTag r(Tag(2, frames));
    TID3v2Object& t = r.tag;
    ASSERT_TRUE(t.Valid);
    EXPECT_EQ(t.TIT2.Text, "Song");
    EXPECT_EQ(t.TPE1.Text, "An");
    ASSERT_EQ(t.COMMCount, 1);
    EXPECT_EQ(t.COMM[0].Text, "Nice");
    ASSERT_EQ(t.APICCount, 1);
    EXPECT_EQ(t.APIC[0].MIMEType, "image/jpeg");
    EXPECT_EQ(t.APIC[0].PictureType, 3);
    EXPECT_EQ(t.APIC[0].Description, "Front");
    EXPECT_EQ(t.APIC[0].PictureData, (TBytes{0xFF, 0xD8, 0xFF}));
    ASSERT_EQ(t.RawFrames.size(), 2u);
    EXPECT_EQ(t.RawFrames[0].FrameHeader.FrameID, "TCMP");

    TMemoryStream out;
    EXPECT_TRUE(t.Save(out));
    ASSERT_EQ(r.sink.Messages.size(), 1u);
    EXPECT_NE(r.sink.Messages[0].find("CRM"), std::string::npos);
    TReadTag again(out.Data);
    EXPECT_EQ(again.tag.APIC[0].MIMEType, "image/jpeg");
    ASSERT_EQ(again.tag.RawFrames.size(), 1u);
    EXPECT_EQ(again.tag.RawFrames[0].FrameHeader.FrameID, "TCMP");
}

TEST(ID3v2Versions, TagsNotUnderstoodAreWrittenBackUnchanged) {
    for (const TBytes& bytes : {Tag(5, Frame24("TIT2", {0, 'X'})),       // unknown version
                                Tag(2, Frame22("TT2", {0, 'X'}), 0x40),  // 2.2 compressed as a whole
                                TBytes{'I', 'D', '3', 3, 0}}) {          // header cut short
        TReadTag r(bytes);
        EXPECT_FALSE(r.tag.Valid);
        EXPECT_EQ(Saved(r.tag), bytes);
        r.tag.ReplaceInvalidTag = true;
        r.tag.TIT2.SetText("New");
        r.tag.TIT2.FrameHeader.Present = true;
        TReadTag replaced(Saved(r.tag));
        EXPECT_TRUE(replaced.tag.Valid);
        EXPECT_EQ(replaced.tag.TIT2.Text, "New");
    }
}

TEST(ID3v2Versions, TimestampsSplit) {
    EXPECT_EQ(SplitTimestamp24("2010").Year, "2010");
    EXPECT_EQ(SplitTimestamp24("2010-04-03").DayMonth, "0304");
    EXPECT_EQ(SplitTimestamp24("2010-04").DayMonth, "");
    EXPECT_EQ(SplitTimestamp24("2010-04-03T07:08").HourMinute, "0708");
    EXPECT_EQ(SplitTimestamp24("circa 2010").Year, "");
}

TEST(ID3v24, ChapterFramesCarryTheirEmbeddedFramesIntoTheOlderVersion) {
    TBytes title = {3};
    title.resize(201, 'm');  // 200 characters: sync-safe and plain sizes differ
    TBytes chap = Bytes(std::string("ch0\0", 4));
    chap.resize(chap.size() + 16, 0);
    Append(chap, Frame24("TIT2", title));
    TReadTag r(Tag(4, Frame24("CHAP", chap)));
    ASSERT_EQ(r.tag.RawFrames.size(), 1u);
    const TBytes& body = r.tag.RawFrames[0].Data;
    const size_t sub = 4 + 16;
    ASSERT_EQ(body.size(), sub + 10 + 201);
    EXPECT_EQ(std::string(body.begin() + sub, body.begin() + sub + 4), "TIT2");
    EXPECT_EQ(body[sub + 6], 0);  // plain size 201 = 00 00 00 C9
    EXPECT_EQ(body[sub + 7], 0xC9);
    EXPECT_EQ(body[sub + 10], 0);  // Latin-1 instead of UTF-8
}

TEST(ID3v24, HeldFramesAreTheFramesAsTheTagHoldsThem) {
    TBytes frames;
    Append(frames, Frame24("TIT2", {0, 'T'}));
    Append(frames, Frame24("TDRC", Cat24({0}, "2004-05-17T12:30")));
    Append(frames, Frame24("TYER", Cat24({0}, "1999")));  // after TDRC gave TYER: a repeat, kept raw
    Append(frames, Frame24("TIPL", Cat24({0}, std::string("producer\0Ann", 12))));
    Append(frames, Frame24("TMCL", Cat24({0}, std::string("piano\0Bob", 9))));
    Append(frames, Frame24("TIT2", {0, 'U'}));  // a repeat, kept raw
    Append(frames, Frame24("TSOP", {0, 'S'}));  // not a member, kept raw
    Append(frames, Frame24("TDOR", Cat24({0}, "not a date")));
    Append(frames, Frame24("SEEK", {0, 'x', 'y', 'z'}));
    TReadTag r(Tag(4, frames));
    TID3v2Object& t = r.tag;
    std::vector<std::string> held;
    for (const THeldFrame& h : t.HeldFrames) {
        if (!h.Member) {
            held.push_back(h.FrameID + "=" + h.Text);
            continue;
        }
        const TID3v2Frame* frame = t.Frame(*h.Member);
        const bool raw = h.Member->Kind == TFrameRef::Raw;
        held.push_back(h.FrameID + (frame ? (raw ? " raw " : " ") + TextOf(*frame) : " gone"));
    }
    EXPECT_EQ(held, (std::vector<std::string>{"TIT2 T", "TDRC=2004-05-17T12:30", "TYER raw 1999", "TIPL=producer/Ann",
                                              "TMCL=piano/Bob", "TIT2 raw U", "TSOP raw S", "TDOR raw not a date",
                                              "SEEK raw xyz"}));
    EXPECT_EQ(t.TYER.Text, "2004");
    // What is written is what the members hold; a saved tag is ID3v2.3 and holds its frames as they are.
    const TBytes saved = Saved(t);
    EXPECT_TRUE(t.HeldFrames.empty());
    TReadTag again(saved);
    EXPECT_TRUE(again.tag.HeldFrames.empty());
    EXPECT_EQ(again.tag.TDAT.Text, "1705");
    EXPECT_EQ(again.tag.IPLS.People, std::string("producer\0Ann\0piano\0Bob", 22));
}

TEST(ID3v2Versions, OnlyVersion4TagsHoldFramesOfTheirOwn) {
    for (const uint8_t version : {2, 3}) {
        TReadTag r(Tag(version, version == 2 ? Frame22("TYE", {0, '1', '9', '9', '9'})
                                             : Frame24("TYER", {0, '1', '9', '9', '9'}, 0, true)));
        EXPECT_EQ(r.tag.TYER.Text, "1999") << int(version);
        EXPECT_TRUE(r.tag.HeldFrames.empty()) << int(version);
    }
}
