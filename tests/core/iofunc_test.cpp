// Bounded buffer readers, streams, text encodings and inflating.
#include <zlib.h>

#include "testfiles.h"

using namespace velmar;
using namespace vtest;

TEST(IoFunc, BufferReadersStayInBounds) {
    const TBytes b = {0x00, 0x00, 0x01, 0x00, 0x01, 0x02, 'A', 'B', 0, 0};
    int32_t i = 0;
    EXPECT_EQ(BufReadLong(b, i), 256u);
    EXPECT_EQ(BufReadWord(b, i), 258);
    EXPECT_EQ(BufReadText(b, i, 4), std::string("AB\0\0", 4));
    i = 8;
    EXPECT_EQ(BufReadZText(b, i), "");
    EXPECT_EQ(i, 9);
    EXPECT_EQ(BufReadLong(b, i), 0u);  // past the end: zero bytes, and the index still advances
    EXPECT_EQ(i, 13);
    i = 8;
    EXPECT_EQ(BufReadBytes(b, i, 100).size(), 2u);
    EXPECT_EQ(i, 108);
    EXPECT_EQ(BufReadByte(b, i), 0);
    i = -5;
    EXPECT_EQ(BufReadByte(b, i), 0);
    i = 0;
    EXPECT_EQ(BufReadZText(TBytes{'x', 'y'}, i), "xy");
}

TEST(IoFunc, StreamsAndFiles) {
    TMemoryStream s;
    StreamWriteWord(s, 258);
    StreamWriteLong(s, 0x01020304);
    StreamWriteZText(s, "ab");
    EXPECT_EQ(s.Data, (TBytes{1, 2, 1, 2, 3, 4, 'a', 'b', 0}));
    EXPECT_THROW(StreamReadWord(s), EStreamError);  // at the end
    TTempDir dir;
    EXPECT_THROW(TFileStream(dir.Path, TFileStream::OpenRead), EStreamError);
    EXPECT_THROW(TFileStream(dir.Put("f", {1}), TFileStream::CreateNew), EStreamError);  // never replaces a file
}

TEST(IoFunc, Latin1AndUtf8) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    EXPECT_EQ(Utf8ToLatin1(Latin1ToUtf8(all)), all);
    EXPECT_EQ(Utf8ToLatin1("a\xE2\x82\xAC"
                           "b"),
              "a?b");                    // the euro sign is not Latin-1
    EXPECT_FALSE(IsLatin1Text("\xE9"));  // not UTF-8 at all
    const std::string bad = "caf\xE9", good = "\xE6\x9D\xB1";
    EXPECT_EQ(DecodeText(3, reinterpret_cast<const uint8_t*>(bad.data()), bad.size()), "caf\xC3\xA9");
    EXPECT_EQ(DecodeText(3, reinterpret_cast<const uint8_t*>(good.data()), good.size()), good);
}

TEST(IoFunc, Utf16) {
    auto dec = [](const TBytes& b, uint8_t enc) { return DecodeText(enc, b.data(), b.size()); };
    EXPECT_EQ(dec({0xFF, 0xFE, 'A', 0, 'B', 0}, 1), "AB");
    EXPECT_EQ(dec({0xFE, 0xFF, 0, 'A', 0, 'B'}, 1), "AB");
    EXPECT_EQ(dec({'A', 0, 'B', 0}, 1), "AB");  // no mark: little-endian
    EXPECT_EQ(dec({0, 'A', 0, '\t', 0x20, 0xAC}, 2), "A\t\xE2\x82\xAC");
    EXPECT_EQ(dec({0xFF, 0xFE, 'A', 0, 0xFE, 0xFF, 0, 'B', 0}, 1), "AB");  // a mark switches; odd byte dropped
    EXPECT_EQ(dec({0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}, 1), "\xF0\x9F\x98\x80");
    EXPECT_EQ(dec({0xFF, 0xFE, 0x3D, 0xD8, 'A', 0, 0x00, 0xDE}, 1),
              "\xEF\xBF\xBD"
              "A"
              "\xEF\xBF\xBD");

    const std::string text =
        "D\xC5\x99"
        "ev \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80";
    TBytes out;
    AppendEncodedText(out, 1, text, true);
    EXPECT_EQ(Slice(out, 0, 2), (TBytes{0xFF, 0xFE}));
    EXPECT_EQ(FindTerminator(1, out.data(), out.size()), out.size() - 2);
    EXPECT_EQ(DecodeText(1, out.data(), out.size() - 2), text);
    EXPECT_EQ(ChooseEncoding({"abc", "\xC3\xA9"}), 0);
    EXPECT_EQ(ChooseEncoding({"abc", text}), 1);
    const TBytes units = {'A', 0, 0, 'B', 0, 0};  // "A", U+4200, terminator: found on a unit boundary
    EXPECT_EQ(FindTerminator(1, units.data(), units.size()), 4u);
    EXPECT_EQ(FindTerminator(0, units.data(), units.size()), 1u);
    EXPECT_EQ(FindTerminator(2, units.data(), 3), 3u);
}

// Every character that needs an escape is escaped wherever it stands in a text (the
// plain stretches are passed over in pieces of eight bytes), and nothing else is.
TEST(IoFunc, JsonStringsEscapeEveryCharacterThatNeedsItAtAnyPlace) {
    const std::pair<std::string, std::string> kinds[] = {
        {"\"", "\\\""},      {"\\", "\\\\"},
        {"\n", "\\n"},       {std::string(1, '\0'), "\\u0000"},
        {"\x1f", "\\u001f"}, {"\x7f", "\\u007f"},
        {"\xff", "\\ufffd"}, {"\xc3\xa9", "\xc3\xa9"},  // a whole UTF-8 character stays
        {" ", " "},          {"~", "~"},
    };
    const std::string plain = "abcdefghijklmnopqrstuvwx";
    for (const auto& [raw, escaped] : kinds)
        for (const size_t at : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(15), size_t(16), plain.size()}) {
            std::string text = plain, want = plain;
            text.insert(at, raw);
            want.insert(at, escaped);
            std::string out = "x";
            AppendJsonString(out, text);
            EXPECT_EQ(out, "x\"" + want + "\"") << int(uint8_t(raw[0])) << " at " << at;
        }
}

TEST(IoFunc, InflatesFrameData) {
    std::string plain;
    uint32_t seed = 1;
    for (int i = 0; i < 5000; ++i) plain += char('a' + ((seed = seed * 1103515245u + 12345u) >> 16) % 26);
    uLongf n = compressBound(uLong(plain.size()));
    TBytes packed(n);
    ASSERT_EQ(compress(packed.data(), &n, reinterpret_cast<const Bytef*>(plain.data()), uLong(plain.size())), Z_OK);
    packed.resize(n);
    TBytes out;
    ASSERT_TRUE(DecompressFrameData(packed, out, 1 << 20));
    EXPECT_EQ(std::string(out.begin(), out.end()), plain);
    ASSERT_TRUE(DecompressFrameData(packed, out, 100));
    EXPECT_EQ(out.size(), 100u);
    ASSERT_TRUE(DecompressFrameData(Slice(packed, 0, int64_t(n / 2)), out, 1 << 20));  // cut short: what there is
    EXPECT_LT(out.size(), plain.size());
    EXPECT_FALSE(DecompressFrameData(B("not zlib data"), out, 1 << 20));
    EXPECT_FALSE(DecompressFrameData({}, out, 1 << 20));
}
