#pragma once
// Turning frames of ID3v2.2 and ID3v2.4 tags into their ID3v2.3 form.
#include <optional>
#include <string>
#include <string_view>

#include "base/iofunc.h"

namespace velmar {

// The ID3v2.3 identifier of an ID3v2.2 identifier; empty when there is none.
std::string UpgradeFrameID22(std::string_view id22);
// The body of an ID3v2.2 PIC frame as an APIC body (image format made a MIME type).
TBytes UpgradePictureBody22(std::span<const uint8_t> pic);

// A text frame body of ID3v2.4 (several values separated by zero characters)
// as one ID3v2.3 text: values joined with "/"; for TCON, numbers become
// references "(n)" in front of the text values.
std::string JoinTextValues24(std::string_view id, std::span<const uint8_t> body);
// The body of an ID3v2.4 chapter frame (CHAP, CTOC) with its embedded frames
// in ID3v2.3 form: plain sizes, no flags, texts in encodings 0 or 1.
TBytes DowngradeChapterBody24(std::string_view id, std::span<const uint8_t> body);
// A text body for an ID3v2.3 frame: encoding 0 when the text is Latin-1, else UTF-16.
TBytes TextBody23(std::string_view utf8);
// The parts of an ID3v2.4 time stamp "yyyy-MM-ddTHH:mm:ss": TYER "yyyy",
// TDAT "DDMM" and TIME "HHMM", each only when the stamp has it.
struct TTimestampParts {
    std::string Year, DayMonth, HourMinute;
};
TTimestampParts SplitTimestamp24(std::string_view stamp);

}  // namespace velmar
