#pragma once
// MPEG audio frame headers: the displayable stream facts of a frame header,
// frame lengths and durations by version and layer, and the VBR headers
// ("Xing", "Info", "VBRI") that a first frame may carry.
#include <cstdint>
#include <optional>
#include <string>

namespace velmar {

enum class MpegVersion { V25 = 0, Reserved = 1, V2 = 2, V1 = 3 };

// The fields of a four-byte frame header.
struct TFrameHeaderBits {
    uint8_t VersionIndex = 0;  // byte 1 bits 4-3
    uint8_t LayerIndex = 0;    // byte 1 bits 2-1: 1 Layer III, 2 Layer II, 3 Layer I
    bool Protection = false;   // byte 1 bit 0 clear: a CRC follows the header
    uint8_t BitrateIndex = 0;
    uint8_t SamplingIndex = 0;
    bool Padding = false;
    bool Private = false;
    uint8_t ChannelMode = 0;
    uint8_t ModeExtension = 0;
    bool Copyright = false;
    bool Original = false;
    uint8_t Emphasis = 0;
};

TFrameHeaderBits SplitFrameHeader(const uint8_t h[4]);

// 0xFF followed by the upper four bits of the next byte all ones.
bool IsFrameSync(const uint8_t h[4]);
// Eleven sync bits and no reserved version, layer, bit-rate or sampling value.
bool IsValidFrameHeader(const uint8_t h[4]);

// Texts by the header's own version and layer; "Undefined" for reserved values.
std::string MpegVersionText(uint8_t versionIndex);  // "MPEG-1", "MPEG-2", "MPEG-2.5", "Undefined"
std::string LayerText(uint8_t layerIndex);          // "Layer I" ... or "Undefined"

// Bit rate in kbit/s, 0 for free format and reserved values.
int BitrateKbps(uint8_t versionIndex, uint8_t layerIndex, uint8_t bitrateIndex);
// Sampling rate in Hz, 0 for reserved values.
int SampleRateHz(uint8_t versionIndex, uint8_t samplingIndex);
// Samples in one frame: 384 (Layer I), 1152 (Layer II, MPEG-1 Layer III), 576 (MPEG-2/2.5 Layer III).
int SamplesPerFrame(uint8_t versionIndex, uint8_t layerIndex);
// Length in bytes of the frame this header starts, padding included; 0 when it
// cannot be known (free format or reserved values).
int FrameLength(const uint8_t h[4]);
// Bytes of side information after the header (and its CRC) of a Layer III frame.
int SideInfoLength(uint8_t versionIndex, uint8_t channelMode);

// The facts a frame header gives, as the file list and tag editor show them.
struct TFrameFacts {
    std::string MpegVersion, Layer, Bitrate, Frequency, Padding, Private, Mode, ModeExtension, Copyrighted, Original,
        Emphasis;
};
TFrameFacts DecodeFrameHeader(const uint8_t h[4]);

// The reader of the VBR header that the first frame of a file may carry:
// "Xing" (variable bit rate), "Info" (the same layout, written for constant bit
// rate) after the side information, or "VBRI" 32 bytes after the frame header.
class TVBR_MPEGSync {
public:
    enum TKind { None, Xing, Info, VBRI };
    // Reads the header from the bytes of a first frame; false when there is none.
    bool ReadVbrHeader(const uint8_t* frame, size_t available);

    TKind Kind = None;
    int32_t IsMpeg1 = 0;
    int32_t SampleRate = 0;
    int32_t Flags = 0;
    int64_t Frames = -1;  // -1: the header carries no frame count
    int64_t Bytes = -1;   // -1: the header carries no byte count
};

}  // namespace velmar
