#include "mpegframe.h"

#include <cstring>

namespace velmar {

namespace {

const int kBitrates[5][16] = {
    // MPEG-1 Layer I, II, III; MPEG-2/2.5 Layer I; MPEG-2/2.5 Layer II and III
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

const int kSampleRates[4][3] = {
    {11025, 12000, 8000},   // MPEG-2.5
    {0, 0, 0},              // reserved
    {22050, 24000, 16000},  // MPEG-2
    {44100, 48000, 32000},  // MPEG-1
};

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

TFrameHeaderBits SplitFrameHeader(const uint8_t h[4]) {
    TFrameHeaderBits b;
    b.VersionIndex = (h[1] >> 3) & 3;
    b.LayerIndex = (h[1] >> 1) & 3;
    b.Protection = (h[1] & 1) == 0;
    b.BitrateIndex = h[2] >> 4;
    b.SamplingIndex = (h[2] >> 2) & 3;
    b.Padding = (h[2] >> 1) & 1;
    b.Private = h[2] & 1;
    b.ChannelMode = h[3] >> 6;
    b.ModeExtension = (h[3] >> 4) & 3;
    b.Copyright = (h[3] >> 3) & 1;
    b.Original = (h[3] >> 2) & 1;
    b.Emphasis = h[3] & 3;
    return b;
}

bool IsFrameSync(const uint8_t h[4]) { return h[0] == 0xFF && (h[1] & 0xF0) == 0xF0; }

bool IsValidFrameHeader(const uint8_t h[4]) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return false;
    const TFrameHeaderBits b = SplitFrameHeader(h);
    return b.VersionIndex != 1 && b.LayerIndex != 0 && b.BitrateIndex != 15 && b.SamplingIndex != 3;
}

std::string MpegVersionText(uint8_t versionIndex) {
    switch (versionIndex) {
        case 3: return "MPEG-1";
        case 2: return "MPEG-2";
        case 0: return "MPEG-2.5";
        default: return "Undefined";
    }
}

std::string LayerText(uint8_t layerIndex) {
    static const char* const kNames[4] = {"Undefined", "Layer III", "Layer II", "Layer I"};
    return kNames[layerIndex & 3];
}

int BitrateKbps(uint8_t versionIndex, uint8_t layerIndex, uint8_t bitrateIndex) {
    if (versionIndex == 1 || layerIndex == 0 || bitrateIndex > 15) return 0;
    int table;
    if (versionIndex == 3)
        table = 3 - layerIndex;  // Layer I -> 0, II -> 1, III -> 2
    else
        table = layerIndex == 3 ? 3 : 4;
    return kBitrates[table][bitrateIndex];
}

int SampleRateHz(uint8_t versionIndex, uint8_t samplingIndex) {
    if (versionIndex > 3 || samplingIndex > 2) return 0;
    return kSampleRates[versionIndex][samplingIndex];
}

int SamplesPerFrame(uint8_t versionIndex, uint8_t layerIndex) {
    switch (layerIndex) {
        case 3: return 384;
        case 2: return 1152;
        case 1: return versionIndex == 3 ? 1152 : 576;
        default: return 0;
    }
}

int FrameLength(const uint8_t h[4]) {
    if (!IsValidFrameHeader(h)) return 0;
    const TFrameHeaderBits b = SplitFrameHeader(h);
    const int bitrate = BitrateKbps(b.VersionIndex, b.LayerIndex, b.BitrateIndex) * 1000;
    const int rate = SampleRateHz(b.VersionIndex, b.SamplingIndex);
    if (bitrate == 0 || rate == 0) return 0;
    if (b.LayerIndex == 3) return (12 * bitrate / rate + (b.Padding ? 1 : 0)) * 4;
    const int bytesPerSample = SamplesPerFrame(b.VersionIndex, b.LayerIndex) / 8;
    return bytesPerSample * bitrate / rate + (b.Padding ? 1 : 0);
}

int SideInfoLength(uint8_t versionIndex, uint8_t channelMode) {
    const bool mono = channelMode == 3;
    if (versionIndex == 3) return mono ? 17 : 32;
    return mono ? 9 : 17;
}

TFrameFacts DecodeFrameHeader(const uint8_t h[4]) {
    static const char* const kModes[4] = {"Stereo", "Joint Stereo", "Dual Channel", "Mono"};
    static const char* const kEmphasis[4] = {"None", "50/15ms", "Undefined", "CCITT j.17"};
    const TFrameHeaderBits b = SplitFrameHeader(h);
    TFrameFacts f;
    f.MpegVersion = MpegVersionText(b.VersionIndex);
    f.Layer = LayerText(b.LayerIndex);
    const int kbps = BitrateKbps(b.VersionIndex, b.LayerIndex, b.BitrateIndex);
    f.Bitrate = kbps ? std::to_string(kbps) : "Undefined";
    const int rate = SampleRateHz(b.VersionIndex, b.SamplingIndex);
    f.Frequency = rate ? std::to_string(rate) : "Undefined";
    f.Padding = b.Padding ? "Yes" : "No";
    f.Private = b.Private ? "Yes" : "No";
    f.Mode = kModes[b.ChannelMode];
    f.ModeExtension = std::to_string(b.ModeExtension);
    f.Copyrighted = b.Copyright ? "Yes" : "No";
    f.Original = b.Original ? "Yes" : "No";
    f.Emphasis = std::string("Emphasis: ") + kEmphasis[b.Emphasis];
    return f;
}

bool TVBR_MPEGSync::ReadVbrHeader(const uint8_t* frame, size_t available) {
    Kind = None;
    Flags = 0;
    Frames = Bytes = -1;
    if (available < 4 || !IsValidFrameHeader(frame)) return false;
    const TFrameHeaderBits b = SplitFrameHeader(frame);
    IsMpeg1 = b.VersionIndex == 3 ? 1 : 0;
    SampleRate = SampleRateHz(b.VersionIndex, b.SamplingIndex);

    // Xing/Info after the side information (and after the CRC word when the frame has one).
    const size_t side = 4 + size_t(SideInfoLength(b.VersionIndex, b.ChannelMode));
    for (size_t at : {side, side + 2}) {
        if (at == side + 2 && !b.Protection) break;
        if (at + 8 > available) continue;
        const uint8_t* p = frame + at;
        const bool xing = std::memcmp(p, "Xing", 4) == 0;
        if (!xing && std::memcmp(p, "Info", 4) != 0) continue;
        Kind = xing ? Xing : Info;
        Flags = int32_t(BigEndian32(p + 4));
        size_t q = at + 8;
        if ((Flags & 1) && q + 4 <= available) {
            Frames = BigEndian32(frame + q);
            q += 4;
        }
        if ((Flags & 2) && q + 4 <= available) Bytes = BigEndian32(frame + q);
        return true;
    }
    // VBRI: marker, version, delay, quality, bytes, frames.
    if (available >= 36 + 18 && std::memcmp(frame + 36, "VBRI", 4) == 0) {
        Kind = VBRI;
        Bytes = BigEndian32(frame + 36 + 10);
        Frames = BigEndian32(frame + 36 + 14);
        return true;
    }
    return false;
}

}  // namespace velmar
