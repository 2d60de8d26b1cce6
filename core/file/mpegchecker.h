#pragma once
// The MPEG stream checker: walks the frame chain of a file's audio, from the
// end of the tag at its start to the first tag at its end, and reports either
// that no error was found or where the chain breaks first, and then every
// damaged stretch of the audio with its offset, kind and length.
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

// What a damaged stretch of the audio is.
enum class TProblemKind {
    Garbage,       // bytes that are neither frames nor tags
    CutFrame,      // a frame that the next frame begins inside of
    ForeignFrame,  // whole frames of another version, layer, sampling rate or channel count than the stream's
    VbrHeader,     // the first frame's Xing, Info or VBRI header counts other frames or bytes than the stream has
    Tag,           // an ID3v2, ID3v1, APE or Lyrics3 tag between frames
    CutLastFrame,  // the audio ends inside its last frame
};

// One damaged stretch. A repair removes [Offset, Offset + Bytes), except for a VBR
// header, whose frame it rewrites in place.
struct TCheckProblem {
    TProblemKind Kind = TProblemKind::Garbage;
    int64_t Offset = 0;
    int64_t Bytes = 0;
    std::string Name;          // Tag: "ID3v2", "ID3v1", "APE", "Lyrics3"; VbrHeader: "Xing", "Info", "VBRI";
                               // ForeignFrame: what stream its first frame belongs to
    int64_t FrameLength = 0;   // CutFrame, CutLastFrame: the length its header gives, 0 when unknown
    int64_t Frames = 0;        // ForeignFrame: how many frames
    int64_t SaidFrames = -1;   // VbrHeader: the counts the header gives (-1: none)
    int64_t SaidBytes = -1;    //
    int64_t StreamFrames = 0;  // VbrHeader: the counts of the stream it should give
    int64_t StreamBytes = 0;   //
};

struct TCheckResult {
    TCheckOutcome Outcome = TCheckOutcome::Ok;  // the verdict on the first break of the frame chain
    int64_t Offset = -1;                        // where the walk stopped, for every outcome but Ok and OpenError
    int64_t FileSize = 0;
    int64_t AudioStart = 0;  // the part of the file that was walked
    int64_t AudioEnd = 0;
    int64_t Frames = 0;       // whole frames of the stream, over the whole audio
    int64_t StreamBytes = 0;  // the bytes of those frames
    int64_t FirstFrame = -1;  // where the stream's first frame starts; -1 when none was found

    // Every damaged stretch, in order of offset; at most the checker's limit of them,
    // while ProblemCount counts them all.
    std::vector<TCheckProblem> Problems;
    int64_t ProblemCount = 0;

    std::vector<std::string> Lines;  // the report of this file

    // Ok and FreeFormat are no errors: the stream is whole as far as it can be checked.
    bool IsError() const {
        return ProblemCount > 0 || (Outcome != TCheckOutcome::Ok && Outcome != TCheckOutcome::FreeFormat);
    }
};

// Reads the file in large blocks and walks the frame headers in memory, so a
// check runs at the speed of reading the file. One checker reuses its buffer
// from file to file; blocks of 256 KiB stay in the processor's cache while the
// walk reads their headers, which makes the walk faster than with larger ones.
// At a break the walk looks for the next frame that two frames of the stream's
// kind follow, and goes on from there.
class TMPEGChecker {
public:
    explicit TMPEGChecker(size_t blockSize = kBlockSize, size_t maxProblems = kMaxProblems);
    TCheckResult CheckFile(const std::filesystem::path& fileName);

    static constexpr size_t kBlockSize = 256 * 1024;
    // A file damaged all through keeps the list (and the report) of a sensible size.
    static constexpr size_t kMaxProblems = 10000;

private:
    std::vector<uint8_t> Buffer;
    std::vector<uint8_t> AheadBuffer;  // for searches far ahead of the walk; made when first needed
    size_t MaxProblems;
};

// "garbage", "cut-frame", "foreign-frame", "vbr-header", "tag", "cut-last-frame".
const char* ProblemKindName(TProblemKind kind);
// What a problem is, without its offset: "300 bytes of garbage".
std::string ProblemText(const TCheckProblem& problem);
// "1 problem", "3 problems".
std::string ProblemCountText(int64_t count);

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
inline constexpr const char* kProblemsFound = "Problems found: ";    // followed by their number
}  // namespace checktext

}  // namespace velmar
