// Frame header facts, tables by version and layer, VBR headers and play-length texts.
#include "testfiles.h"

using namespace velmar;
using namespace vtest;

namespace {
std::string Joined(const TFrameFacts& f) {
    return f.MpegVersion + "|" + f.Layer + "|" + f.Bitrate + "|" + f.Frequency + "|" + f.Padding + "|" + f.Private +
           "|" + f.Mode + "|" + f.ModeExtension + "|" + f.Copyrighted + "|" + f.Original + "|" + f.Emphasis;
}
}  // namespace

TEST(MpegFrame, DecodesEveryFactOfAHeader) {
    const uint8_t a[4] = {0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(Joined(DecodeFrameHeader(a)), "MPEG-1|Layer III|128|44100|No|No|Joint Stereo|2|No|Yes|Emphasis: None");
    const uint8_t b[4] = {0xFF, 0xE3, 0x0B, 0xFB};  // MPEG-2.5 free format, every flag but "original"
    EXPECT_EQ(Joined(DecodeFrameHeader(b)),
              "MPEG-2.5|Layer III|Undefined|8000|Yes|Yes|Mono|3|Yes|No|Emphasis: CCITT j.17");
    const uint8_t c[4] = {0xFF, 0xFB, 0x9C, 0x00};  // sampling index 3
    EXPECT_EQ(DecodeFrameHeader(c).Frequency, "Undefined");
    const uint8_t zero[4] = {};
    EXPECT_EQ(DecodeFrameHeader(zero).Layer, "Undefined");
    EXPECT_FALSE(IsFrameSync(zero));
}

TEST(MpegFrame, TablesByVersionAndLayer) {
    struct Case {
        TFrameShape s;
        int kbps, rate, length, samples;
    };
    const Case cases[] = {
        {{3, 3, 12, 0}, 384, 44100, 416, 384},
        {{3, 3, 12, 0, 1, true}, 384, 44100, 420, 384},
        {{3, 2, 10, 1}, 192, 48000, 576, 1152},
        {{3, 1, 9, 0}, 128, 44100, 417, 1152},
        {{3, 1, 9, 0, 1, true}, 128, 44100, 418, 1152},
        {{3, 1, 14, 2}, 320, 32000, 1440, 1152},
        {{2, 3, 14, 1}, 256, 24000, 512, 384},
        {{2, 2, 14, 2}, 160, 16000, 1440, 1152},
        {{2, 1, 8, 0}, 64, 22050, 208, 576},
        {{0, 1, 1, 2}, 8, 8000, 72, 576},
        {{0, 1, 14, 0}, 160, 11025, 1044, 576},
        {{0, 2, 1, 1}, 8, 12000, 96, 1152},
    };
    for (const Case& c : cases) {
        const auto h = Header(c.s);
        SCOPED_TRACE(testing::Message() << "version " << int(c.s.Version) << " layer " << int(c.s.Layer));
        EXPECT_TRUE(IsValidFrameHeader(h.data()));
        EXPECT_EQ(BitrateKbps(c.s.Version, c.s.Layer, c.s.Bitrate), c.kbps);
        EXPECT_EQ(SampleRateHz(c.s.Version, c.s.Sampling), c.rate);
        EXPECT_EQ(FrameLength(h.data()), c.length);
        EXPECT_EQ(SamplesPerFrame(c.s.Version, c.s.Layer), c.samples);
    }
    // Reserved version, layer, bit rate and sampling values; free format has no length.
    for (const TFrameShape s : {TFrameShape{1, 1, 9, 0}, TFrameShape{3, 0, 9, 0}, TFrameShape{3, 1, 15, 0},
                               TFrameShape{3, 1, 9, 3}, TFrameShape{3, 1, 0, 0}}) {
        const auto h = Header(s);
        EXPECT_EQ(IsValidFrameHeader(h.data()), s.Bitrate == 0);
        EXPECT_EQ(FrameLength(h.data()), 0);
    }
}

TEST(MpegFrame, VbrHeadersWhereverTheSideInformationPutsThem) {
    // Xing: MPEG-1 stereo at 36, MPEG-1 mono 21, MPEG-2 stereo 21, MPEG-2 mono 13; a CRC word adds 2.
    struct Case {
        TFrameShape s;
        size_t at;
    };
    for (const Case& c : {Case{{3, 1, 9, 0, 1}, 36}, Case{{3, 1, 9, 0, 3}, 21}, Case{{2, 1, 8, 0, 0}, 21},
                          Case{{2, 1, 8, 0, 3}, 13}, Case{{3, 1, 9, 0, 1, false, true}, 38}}) {
        const TBytes f = VbrFrame(c.s, "Xing", 1234, 56789);
        ASSERT_EQ(Slice(f, int64_t(c.at), int64_t(c.at) + 4), B("Xing"));
        TVBR_MPEGSync v;
        ASSERT_TRUE(v.ReadVbrHeader(f.data(), f.size()));
        EXPECT_EQ(v.Kind, TVBR_MPEGSync::Xing);
        EXPECT_EQ(v.Frames * 100000 + v.Bytes, 123456789);
        EXPECT_EQ(v.IsMpeg1, c.s.Version == 3 ? 1 : 0);
    }
    const TFrameShape s;
    TVBR_MPEGSync v;
    ASSERT_TRUE(v.ReadVbrHeader(VbrFrame(s, "Info", 77, -1).data(), 417));
    EXPECT_EQ(v.Kind, TVBR_MPEGSync::Info);
    EXPECT_EQ(v.Frames * 10 + v.Bytes, 769);  // no byte count: -1
    const TBytes vbri = VbrFrame(s, "VBRI", 8506, 6485);
    ASSERT_TRUE(v.ReadVbrHeader(vbri.data(), vbri.size()));
    EXPECT_EQ(v.Kind, TVBR_MPEGSync::VBRI);
    EXPECT_EQ(v.Frames * 10000 + v.Bytes, 85066485);
    for (size_t n = 0; n < 60; ++n) {  // cut short: never reads past what is there
        const TBytes part = Slice(vbri, 0, int64_t(n));
        EXPECT_EQ(v.ReadVbrHeader(part.data(), part.size()), n >= 54);
    }
    EXPECT_FALSE(v.ReadVbrHeader(Frame(s).data(), 417));
    EXPECT_EQ(v.Kind, TVBR_MPEGSync::None);
}

TEST(MpegFrame, PlayLengthTexts) {
    EXPECT_EQ(FormatTwoDigits(0) + FormatTwoDigits(9) + FormatTwoDigits(10) + FormatTwoDigits(125), "000910125");
    EXPECT_EQ(
        FormatPlayLength(0) + " " + FormatPlayLength(259) + " " + FormatPlayLength(5999) + " " + FormatPlayLength(6008),
        "00:00 04:19 99:59 100:08");
}
