#include "mpegrepair.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/sysio.h"
#include "file/mp3object.h"
#include "mpeg/mpegframe.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

class TReadFd {
public:
    explicit TReadFd(const fs::path& file)
        : Fd(sysio::Open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY)) {}
    ~TReadFd() {
        if (Fd >= 0) sysio::Close(Fd);
    }
    TReadFd(const TReadFd&) = delete;
    TReadFd& operator=(const TReadFd&) = delete;
    int Fd;
};

bool ReadAt(int fd, int64_t offset, uint8_t* out, size_t count) {
    while (count > 0) {
        const ssize_t got = sysio::Pread(fd, out, count, off_t(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += got;
        count -= size_t(got);
    }
    return true;
}

// The frame headers of the stream, read a block at a time.
class THeaderReader {
public:
    explicit THeaderReader(int fd) : Fd(fd), Buf(256 * 1024) {}
    // The four bytes at `pos`, or null when they cannot be read.
    const uint8_t* At(int64_t pos) {
        if (pos < Start || pos + 4 > Start + Length) {
            Start = pos;
            Length = 0;
            while (Length < 4) {
                const ssize_t got = sysio::Pread(Fd, Buf.data() + Length, Buf.size() - size_t(Length),
                                                 off_t(Start + Length));
                if (got < 0 && errno == EINTR) continue;
                if (got <= 0) return nullptr;
                Length += got;
            }
        }
        return Buf.data() + (pos - Start);
    }

private:
    int Fd;
    TBytes Buf;
    int64_t Start = 0, Length = 0;
};

void PutBigEndian(uint8_t* p, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) p[i] = uint8_t(v);
}

uint32_t BigEndian(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
    return v;
}

// CRC-16 (polynomial 0x8005, reflected, start 0), as the LAME tag checks its frame with.
uint16_t Crc16(const uint8_t* p, size_t n) {
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

std::string ByteCount(int64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// What a removed stretch was, for the summary.
std::string RemovedText(const TCheckProblem& p) {
    switch (p.Kind) {
        case TProblemKind::Garbage: return ByteCount(p.Bytes) + " of garbage";
        case TProblemKind::CutFrame:
            return "a frame cut short (" +
                   (p.FrameLength > 0 ? std::to_string(p.Bytes) + " of " + ByteCount(p.FrameLength)
                                      : ByteCount(p.Bytes)) +
                   ")";
        case TProblemKind::CutLastFrame: return "the last frame cut short (" + ByteCount(p.Bytes) + ")";
        case TProblemKind::Tag:
            return std::string(p.Name == "Lyrics3" ? "a " : "an ") + p.Name + " tag (" + ByteCount(p.Bytes) + ")";
        default: return ProblemText(p);
    }
}

bool Removable(TProblemKind kind) {
    return kind == TProblemKind::Garbage || kind == TProblemKind::CutFrame || kind == TProblemKind::Tag ||
           kind == TProblemKind::CutLastFrame;
}

// A frame of the stream after the repair: where it starts in the repaired file, counted
// from the stream's first frame, and its length.
struct TKeptFrame {
    int64_t At = 0, Length = 0;
};

// The bytes of the stream's frames (frames of another stream between them not counted).
int64_t StreamBytes(const std::vector<TKeptFrame>& frames) {
    int64_t total = 0;
    for (const TKeptFrame& f : frames) total += f.Length;
    return total;
}

// Rewrites the counts (and the table) of the VBR header in `frame` to describe
// `frames`, the stream after the repair, whose first frame is `frame`. False when the
// header cannot hold them.
bool RewriteVbrHeader(TBytes& frame, const TVBR_MPEGSync& vbr, const std::vector<TKeptFrame>& frames) {
    const int64_t total = StreamBytes(frames);
    const int64_t audioFrames = int64_t(frames.size()) - 1;  // the header's own frame holds no audio
    if (total > 0xFFFFFFFFLL) return false;
    const size_t length = frame.size();
    if (vbr.Kind == TVBR_MPEGSync::VBRI) {
        constexpr size_t v = 36;
        if (v + 26 > length) return false;
        PutBigEndian(&frame[v + 10], uint64_t(total), 4);
        PutBigEndian(&frame[v + 14], uint64_t(audioFrames), 4);
        const uint32_t entries = BigEndian(&frame[v + 18], 2), scale = BigEndian(&frame[v + 20], 2);
        const uint32_t size = BigEndian(&frame[v + 22], 2), perEntry = BigEndian(&frame[v + 24], 2);
        if (entries == 0) return true;
        if (size < 1 || size > 4 || scale == 0 || perEntry == 0 || v + 26 + size_t(entries) * size > length)
            return false;
        // Each entry: the bytes of its run of frames, divided by the scale.
        for (uint32_t e = 0; e < entries; ++e) {
            const int64_t first = 1 + int64_t(e) * perEntry, last = std::min<int64_t>(first + perEntry, audioFrames + 1);
            const int64_t bytes = first > audioFrames ? 0 : frames[size_t(last - 1)].At +
                                                                frames[size_t(last - 1)].Length - frames[size_t(first)].At;
            const uint64_t value = uint64_t(bytes) / scale;
            if (size < 4 && value >> (8 * size)) return false;
            PutBigEndian(&frame[v + 26 + size_t(e) * size], value, int(size));
        }
        return true;
    }
    // Xing or Info after the side information (and after the CRC word when the frame has one).
    const TFrameHeaderBits b = SplitFrameHeader(frame.data());
    size_t at = 4 + size_t(SideInfoLength(b.VersionIndex, b.ChannelMode));
    const char* marker = vbr.Kind == TVBR_MPEGSync::Xing ? "Xing" : "Info";
    if (at + 8 <= length && std::memcmp(&frame[at], marker, 4) != 0) at += 2;
    if (at + 8 > length || std::memcmp(&frame[at], marker, 4) != 0) return false;
    const uint32_t flags = BigEndian(&frame[at + 4], 4);
    size_t q = at + 8;
    if (flags & 1) {
        if (q + 4 > length) return false;
        PutBigEndian(&frame[q], uint64_t(audioFrames), 4);
        q += 4;
    }
    if (flags & 2) {
        if (q + 4 > length) return false;
        PutBigEndian(&frame[q], uint64_t(total), 4);
        q += 4;
    }
    if (flags & 4) {
        if (q + 100 > length) return false;
        // Entry i: where the frame at i per cent of the audio frames starts, in 256ths of the stream.
        for (int i = 0; i < 100; ++i) {
            const size_t k = audioFrames > 0 ? 1 + size_t(i * audioFrames / 100) : 0;
            frame[q + size_t(i)] = uint8_t(std::min<int64_t>(255, frames[k].At * 256 / std::max<int64_t>(total, 1)));
        }
        q += 100;
    }
    return true;
}

// The same, and the LAME tag that may follow a Xing or Info header keeps the stream's
// length and a checksum of the frame's first bytes: both are made anew when the
// checksum held before the rewrite (`old` is the frame as it was; else it is not LAME's).
bool RewriteFirstFrame(TBytes& frame, const TBytes& old, const TVBR_MPEGSync& vbr,
                       const std::vector<TKeptFrame>& frames) {
    if (!RewriteVbrHeader(frame, vbr, frames)) return false;
    if (vbr.Kind == TVBR_MPEGSync::VBRI) return true;
    const TFrameHeaderBits b = SplitFrameHeader(frame.data());
    size_t at = 4 + size_t(SideInfoLength(b.VersionIndex, b.ChannelMode));
    if (std::memcmp(&frame[at], "Xing", 4) != 0 && std::memcmp(&frame[at], "Info", 4) != 0) at += 2;
    const uint32_t flags = BigEndian(&frame[at + 4], 4);
    const size_t q = at + 8 + ((flags & 1) ? 4 : 0) + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) +
                     ((flags & 8) ? 4 : 0);
    if (q + 36 > frame.size()) return true;
    if (BigEndian(&old[q + 34], 2) != Crc16(old.data(), q + 34)) return true;
    PutBigEndian(&frame[q + 28], uint64_t(StreamBytes(frames)), 4);
    PutBigEndian(&frame[q + 34], Crc16(frame.data(), q + 34), 2);
    return true;
}

const char* VbrName(TVBR_MPEGSync::TKind kind) {
    return kind == TVBR_MPEGSync::Xing ? "Xing" : kind == TVBR_MPEGSync::Info ? "Info" : "VBRI";
}

TRepairPlan Refused(std::string reason) {
    TRepairPlan plan;
    plan.Verdict = TRepairPlan::Cannot;
    plan.Reason = std::move(reason);
    return plan;
}

}  // namespace

TRepairPlan PlanRepair(const fs::path& file, const TCheckResult& check) {
    if (check.Outcome == TCheckOutcome::OpenError)
        return Refused(check.Lines.size() > 1 ? check.Lines[1] : "the file could not be opened");
    if (!check.IsError()) return {};
    if (check.ProblemCount == 0)
        return Refused(check.Lines.size() > 1 ? check.Lines[1] : "the file could not be read");
    if (check.FirstFrame < 0 || check.Frames < 2) return Refused("no two frames of one stream agree");
    if (check.ProblemCount > int64_t(check.Problems.size()))
        return Refused("it has more damaged places (" + std::to_string(check.ProblemCount) + ") than are listed");

    TReadFd in(file);
    struct stat st {};
    if (in.Fd < 0 || sysio::Fstat(in.Fd, &st) != 0 || int64_t(st.st_size) != check.FileSize)
        return Refused("the file changed while it was checked");

    TRepairPlan plan;
    plan.Verdict = TRepairPlan::Repair;
    bool vbrProblem = false;
    for (const TCheckProblem& p : check.Problems) {
        if (Removable(p.Kind)) {
            TSplice s{p.Offset, TBytes(size_t(p.Bytes)), {}};
            if (!ReadAt(in.Fd, p.Offset, s.Old.data(), s.Old.size())) return Refused("the file could not be read");
            plan.Splices.push_back(std::move(s));
            plan.Steps.push_back({false, p.Offset, RemovedText(p)});
            ++plan.Repaired;
        } else if (p.Kind == TProblemKind::ForeignFrame) {
            plan.Left.push_back(std::to_string(p.Frames) + (p.Frames == 1 ? " frame" : " frames") +
                                " of another stream at " + std::to_string(p.Offset));
        } else if (p.Kind == TProblemKind::VbrHeader) {
            vbrProblem = true;
        }
    }

    // The stream as the repair leaves it, frame by frame: the walk passes what is taken
    // away and the frames of other streams, and must find the frames the check counted.
    std::vector<TKeptFrame> frames;
    THeaderReader headers(in.Fd);
    int64_t removed = 0;
    auto next = check.Problems.begin();
    for (int64_t pos = check.FirstFrame; pos < check.AudioEnd;) {
        while (next != check.Problems.end() && (next->Offset < pos || next->Kind == TProblemKind::VbrHeader)) {
            if (next->Kind != TProblemKind::VbrHeader && next->Offset + next->Bytes > pos)
                return Refused("its damaged places could not be followed");
            ++next;
        }
        if (next != check.Problems.end() && next->Offset == pos) {
            if (Removable(next->Kind)) removed += next->Bytes;
            pos += next->Bytes;
            ++next;
            continue;
        }
        const uint8_t* h = headers.At(pos);
        const int length = h && IsValidFrameHeader(h) ? FrameLength(h) : 0;
        const int64_t limit = next != check.Problems.end() ? next->Offset : check.AudioEnd;
        if (length <= 0 || pos + length > limit) return Refused("its frames could not be followed");
        frames.push_back({pos - removed - check.FirstFrame, length});
        pos += length;
    }
    if (int64_t(frames.size()) != check.Frames) return Refused("its frames could not be followed");
    plan.Frames = check.Frames;

    // The VBR header of the first frame counts the stream as the repair leaves it.
    TBytes first(size_t(frames.empty() ? 0 : frames.front().Length));
    if (first.empty() || !ReadAt(in.Fd, check.FirstFrame, first.data(), first.size()))
        return Refused("the file could not be read");
    TVBR_MPEGSync vbr;
    // A header whose counts agree with the repaired stream (as the check takes them) is
    // left whole: its table was made from the stream as it was encoded, which the
    // removal of garbage and tags gives back.
    const int64_t audioFrames = int64_t(frames.size()) - 1;
    const bool agrees = (vbr.ReadVbrHeader(first.data(), first.size()), true) &&
                        (vbr.Frames < 0 || vbr.Frames == audioFrames || vbr.Frames == audioFrames + 1) &&
                        (vbr.Bytes < 0 || vbr.Bytes == StreamBytes(frames));
    if (vbr.Kind != TVBR_MPEGSync::None && !agrees) {
        TBytes rewritten = first;
        if (RewriteFirstFrame(rewritten, first, vbr, frames)) {
            if (rewritten != first) {
                plan.Splices.push_back({check.FirstFrame, first, rewritten});
                const int64_t audio = audioFrames;
                plan.Steps.push_back({true, check.FirstFrame,
                                      std::string("the ") + VbrName(vbr.Kind) + " header (" + std::to_string(audio) +
                                          (audio == 1 ? " frame, " : " frames, ") +
                                          ByteCount(StreamBytes(frames)) + ")"});
            }
        } else {
            // A header that cannot hold the stream's counts goes with its frame, which holds no audio.
            plan.Splices.push_back({check.FirstFrame, first, {}});
            plan.Steps.push_back(
                {false, check.FirstFrame, std::string("the ") + VbrName(vbr.Kind) + " header, which cannot be corrected"});
            --plan.Frames;
        }
        if (vbrProblem) ++plan.Repaired;
    }
    std::sort(plan.Splices.begin(), plan.Splices.end(),
              [](const TSplice& a, const TSplice& b) { return a.Offset < b.Offset; });
    std::stable_sort(plan.Steps.begin(), plan.Steps.end(),
                     [](const TRepairStep& a, const TRepairStep& b) { return a.Offset < b.Offset; });
    if (plan.Splices.empty()) plan.Verdict = TRepairPlan::Nothing;
    return plan;
}

TRepairOutcome RepairFile(const fs::path& file, bool dryRun, TMessageSink& sink) {
    TRepairOutcome out;
    TMP3Object object(sink);
    // A dry run reads only; a repair first finishes a save of the file that was cut short.
    if (!(dryRun ? object.LoadFile(file, false) : object.LoadForChange(file))) {
        out.Failed = true;
        out.Plan = Refused(object.LoadFailure);
        return out;
    }
    TMPEGChecker checker;
    out.Plan = PlanRepair(file, checker.CheckFile(file));
    if (out.Plan.Verdict == TRepairPlan::Cannot) {
        out.Failed = true;
        return out;
    }
    if (out.Plan.Verdict == TRepairPlan::Repair && !dryRun) {
        out.Written = object.WriteSplices(out.Plan.Splices);
        out.Failed = !out.Written;
    }
    return out;
}

std::string RepairSummary(const TRepairOutcome& outcome, bool dryRun) {
    const TRepairPlan& plan = outcome.Plan;
    if (plan.Verdict == TRepairPlan::Cannot) return "cannot be repaired: " + plan.Reason + "; left as it is";
    std::string text;
    if (plan.Verdict == TRepairPlan::Nothing) {
        text = "nothing to repair";
    } else {
        for (const TRepairStep& s : plan.Steps) {
            if (!text.empty()) text += ", ";
            const char* verb = s.Rewrite ? (dryRun ? "would rewrite " : "rewrote ")
                                         : (dryRun ? "would remove " : "removed ");
            text += verb + s.What + " at " + std::to_string(s.Offset);
        }
        text += "; " + ProblemCountText(plan.Repaired) + (dryRun ? " to repair" : " repaired");
    }
    for (size_t i = 0; i < plan.Left.size(); ++i) text += (i == 0 ? "; left " : ", ") + plan.Left[i];
    return text;
}

}  // namespace velmar
