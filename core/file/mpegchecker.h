#pragma once
// The MPEG stream checker: walks the frame chain of a file's audio, from the
// end of the tag at its start to the first tag at its end, and reports either
// that no error was found or where the chain breaks.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmar {

enum class TCheckOutcome {
    Ok,          // the frames run from the start of the audio exactly to its end
    FreeFormat,  // a free-format frame: its length is unknown, the rest cannot be walked
    NoAudio,     // nothing between the tags
    ReadError,   // fewer than four bytes left for a header, or the file could not be read
    SyncError,   // bytes that are no frame header where one should start
    CutShort,    // the last frame runs past the end of the audio
    OpenError,   // the file could not be opened
};

struct TCheckResult {
    TCheckOutcome Outcome = TCheckOutcome::Ok;
    int64_t Offset = -1;  // where the walk stopped, for every outcome but Ok and OpenError
    int64_t FileSize = 0;
    int64_t AudioStart = 0;  // the part of the file that was walked
    int64_t AudioEnd = 0;
    int64_t Frames = 0;              // frames walked
    std::vector<std::string> Lines;  // the report of this file

    // Ok and FreeFormat are no errors: the stream is whole as far as it can be checked.
    bool IsError() const { return Outcome != TCheckOutcome::Ok && Outcome != TCheckOutcome::FreeFormat; }
};

// Reads the file in large blocks and walks the frame headers in memory, so a
// check runs at the speed of reading the file. One checker reuses its buffer
// from file to file; blocks of 256 KiB stay in the processor's cache while the
// walk reads their headers, which makes the walk faster than with larger ones.
class TMPEGChecker {
public:
    explicit TMPEGChecker(size_t blockSize = kBlockSize);
    TCheckResult CheckFile(const std::filesystem::path& fileName);

    static constexpr size_t kBlockSize = 256 * 1024;

private:
    std::vector<uint8_t> Buffer;
};

// The line that closes a run: "3 file(s) checked.".
std::string CheckedFilesLine(size_t count);

// Every text of a report, in one place.
namespace checktext {
inline constexpr const char* kReportHeader = "Sync Check Report:";
inline constexpr const char* kNoErrors = "No error(s) found.";
inline constexpr const char* kFatal = "FATAL ERROR:";
inline constexpr const char* kReadHeader = "Could not read MPEG Header.";
inline constexpr const char* kNoSync = "No MPEG Sync nibbles.";
inline constexpr const char* kCutShort = "Last MPEG frame is cut short.";
inline constexpr const char* kNoAudio = "No MPEG audio data.";
inline constexpr const char* kFreeFormat = "Free-format stream: frames cannot be checked.";
inline constexpr const char* kCannotOpen = "Could not open file: ";  // followed by the reason and "."
}  // namespace checktext

}  // namespace velmar
