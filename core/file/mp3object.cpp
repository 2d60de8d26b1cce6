#include "mp3object.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "base/sysio.h"
#include "file/changewatch.h"
#include "file/inplace.h"
#include "file/mpegchecker.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr size_t kHeadRead = 4 * 1024;        // the ID3v2 tag and first frame of most files
constexpr size_t kRoomAfterTag = 1536;        // a first frame and the next frame's header, in most streams
constexpr size_t kTailRead = 256;             // ID3v1, with a Lyrics3 or APEv2 footer before it
constexpr size_t kFirstScanBlock = 4 * 1024;  // the first frame is nearly always right at the start
constexpr size_t kScanBlock = 64 * 1024;
constexpr size_t kCopyBlock = 1024 * 1024;
// Frames of one stream that must follow the first one, where the audio goes on that
// long, before a file with no tag counts as MPEG audio to be written: bytes that only
// happen to look like a frame header are not followed by more.
constexpr int kFramesThatShowAudio = 3;

std::string ErrnoMessage(const std::string& what) { return what + ": " + std::strerror(errno); }

bool SameStream(const uint8_t a[4], const uint8_t b[4]) {
    // Version, layer and sampling index agree.
    return (a[1] & 0x1E) == (b[1] & 0x1E) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

// Places looked into, evenly through the audio, when the length is worked out from
// the first frame: damage that none of them meets is shorter than a quarter of the
// audio, and so changes the length by less. Each look is one read.
constexpr int kStreamProbes = 3;
constexpr size_t kProbeRead = 12 * 1024;  // three frames of the largest kind, from anywhere in the first
constexpr int kProbeFrames = 3;           // frames in a row that show the stream there
constexpr size_t kProbeStart = 3 * 1024;  // where the first of them must begin: within a frame of the look

// Whether the audio [start, end) holds what its first frame `header` promises, as far
// as a few looks show: at each look three frames of the stream follow each other, and
// in a stream without a VBR header (`vbr` false) they have the first frame's bit rate.
bool StreamAsPromised(TFileStream& file, int64_t start, int64_t end, const uint8_t header[4], bool vbr) {
    std::vector<uint8_t> buffer(kProbeRead);
    int64_t looked = -1;
    for (int k = 1; k <= kStreamProbes; ++k) {
        // A look near the end starts early enough to take in whole frames before it.
        const int64_t at =
            std::max(start, std::min(start + (end - start) * k / (kStreamProbes + 1), end - int64_t(kProbeRead)));
        if (at == looked) continue;  // a short audio is taken in by one look
        looked = at;
        const size_t n = file.ReadAt(at, buffer.data(), size_t(std::min<int64_t>(int64_t(kProbeRead), end - at)));
        bool found = false;
        for (size_t i = 0; !found && i < kProbeStart && i + 4 <= n; ++i) {
            size_t pos = i;
            int frames = 0;
            while (frames < kProbeFrames && pos + 4 <= n) {
                const uint8_t* h = buffer.data() + pos;
                const int length = IsValidFrameHeader(h) && SameStream(header, h) ? FrameLength(h) : 0;
                if (length <= 0) break;
                if (!vbr && (h[2] & 0xF0) != (header[2] & 0xF0)) return false;  // another bit rate: VBR after all
                ++frames;
                pos += size_t(length);
            }
            // The end of the audio may come before three frames.
            found = frames == kProbeFrames || (frames > 0 && at + int64_t(pos) >= end);
        }
        if (!found) return false;
    }
    return true;
}

}  // namespace

TMP3Object::TMP3Object(TMessageSink& sink) : Sink(&sink), ID3v2Tag(sink) {}

void TMP3Object::AllocateAudioBuffer(int64_t size) {
    AudioData.assign(size_t(size), 0);
    AudioBufferSize = size;
    HasAudioData = true;
}

void TMP3Object::FreeAudioBuffer() {
    TBytes().swap(AudioData);
    AudioBufferSize = -1;
    HasAudioData = false;
}

namespace {

// The process's identity, taken once per thread: who may write a file is worked out
// from its permission bits without a look at the file system per file.
struct TIdentity {
    uid_t User = ::geteuid();
    std::vector<gid_t> Groups;
    TIdentity() {
        Groups.push_back(::getegid());
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            std::vector<gid_t> more(static_cast<size_t>(n));
            more.resize(size_t(std::max(0, ::getgroups(n, more.data()))));
            Groups.insert(Groups.end(), more.begin(), more.end());
        }
    }
};

// Counts the process's forks in the child: a child of a root process may become another
// user, and takes the identity again instead of asking for it per file.
std::atomic<unsigned> gForks{0};

bool MayWrite(const struct stat& st) {
    static const int registered = ::pthread_atfork(nullptr, nullptr, [] { gForks.fetch_add(1); });
    (void)registered;
    thread_local TIdentity me;
    thread_local unsigned takenAt = gForks.load();
    if (const unsigned forks = gForks.load(); takenAt != forks) {
        me = TIdentity();
        takenAt = forks;
    }
    if (me.User == 0) return true;  // the superuser writes any file
    if (st.st_uid == me.User) return (st.st_mode & S_IWUSR) != 0;
    if (std::find(me.Groups.begin(), me.Groups.end(), st.st_gid) != me.Groups.end()) return (st.st_mode & S_IWGRP) != 0;
    return (st.st_mode & S_IWOTH) != 0;
}

}  // namespace

void TMP3Object::ReadAttributes(const fs::path& fileName, const struct stat& st) {
    LoadedModification = ModificationTime(st);
    Attributes = 0;
    if (!MayWrite(st)) Attributes |= faReadOnly;
    const std::string& path = fileName.native();
    const size_t slash = path.rfind('/');
    if (path.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0) Attributes |= faHidden;
    AttributeLetters.clear();
    if (Attributes & faArchive) AttributeLetters += "A";
    if (Attributes & faHidden) AttributeLetters += "H";
    if (Attributes & faReadOnly) AttributeLetters += "R";
    if (Attributes & faSysFile) AttributeLetters += "S";
}

bool TMP3Object::ReadLyrics3Ending(TFileStream& file, int64_t blockEnd) {
    uint8_t footer[15];
    if (blockEnd - DataStart < 15 + 11 || file.ReadAt(blockEnd - 15, footer, 15) != 15 ||
        std::memcmp(footer + 6, "LYRICS200", 9) != 0)
        return false;
    int64_t size = 0;
    for (int i = 0; i < 6; ++i) {
        if (footer[i] < '0' || footer[i] > '9') return false;
        size = size * 10 + (footer[i] - '0');
    }
    size += 15;
    if (size > blockEnd - DataStart) return false;
    TBytes block(size_t(size), 0);
    if (file.ReadAt(blockEnd - size, block.data(), block.size()) != block.size() ||
        std::memcmp(block.data(), "LYRICSBEGIN", 11) != 0)
        return false;
    Lyrics3Tag.Size = int32_t(size);
    Lyrics3Tag.ReadTag(block);
    return true;
}

void TMP3Object::ReadTrailingTags(TFileStream& file) {
    // A Lyrics3 block ends the file, or an ID3v1 tag does, with a Lyrics3 block possibly right before it.
    if (!ReadLyrics3Ending(file, FileSize) && FileSize - 128 >= DataStart) {
        uint8_t tag[128];
        if (file.ReadAt(FileSize - 128, tag, 128) == 128 && std::memcmp(tag, "TAG", 3) == 0) {
            ID3v1Tag.ReadTag(tag + 3);
            ReadLyrics3Ending(file, FileSize - 128);
        }
    }
    AudioEnd = FileSize - (Lyrics3Tag.Present ? Lyrics3Tag.Size : 0) - (ID3v1Tag.Present ? 128 : 0);
}

int64_t TMP3Object::FindRiffData(TFileStream& file) {
    // A RIFF wrapper is walked chunk by chunk to its "data" chunk.
    MpegType = "Normal";
    uint8_t riff[12];
    if (file.ReadAt(DataStart, riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0) return DataStart;
    MpegType = "Wave/PCM";
    for (int64_t pos = DataStart + 12; pos + 8 <= AudioEnd;) {
        uint8_t chunk[8];
        if (file.ReadAt(pos, chunk, 8) != 8) break;
        const int64_t size =
            int64_t(chunk[4]) | int64_t(chunk[5]) << 8 | int64_t(chunk[6]) << 16 | int64_t(chunk[7]) << 24;
        if (std::memcmp(chunk, "data", 4) == 0) return pos + 8;
        pos += 8 + size + (size & 1);
    }
    return DataStart;
}

bool TMP3Object::LoadFile(fs::path name, bool loadAudio) {
    AudioStart = AudioEnd = FileSize = DataStart = 0;
    IsVbr = HasFrame = HadTag = ReadThroughLink = false;
    LoadFailure.clear();
    LoadedName = std::move(name);
    const fs::path& fileName = LoadedName;
    try {
        // One open and one status, then the head and the tail in one read each: every
        // look below at tags, footers and the first frame is served from those two.
        TFileStream file(fileName, TFileStream::OpenRead);
        ReadThroughLink = file.OpenedThroughLink();
        ReadAttributes(fileName, file.Status());
        FileSize = AudioEnd = file.Size();
        const size_t head = file.KeepHead(kHeadRead);
        const std::span<const uint8_t> start = file.HeadFrom(0);
        const bool tagged = start.size() >= 3 && std::memcmp(start.data(), "ID3", 3) == 0;
        if (tagged && start.size() >= 10) {
            // The head is read again, once, when the tag (or the room after it where
            // the first frame lies) reaches past it.
            TID3v2Header header;
            header.ReadFromBytes(start.data() + 3);
            const int64_t tagEnd = 10 + header.Size + (header.Footer ? 10 : 0);
            if (tagEnd + int64_t(kRoomAfterTag) > int64_t(head)) file.KeepHead(size_t(tagEnd) + kHeadRead);
        }
        file.KeepTail(kTailRead);
        HadTag = tagged;
        if (tagged) {
            file.Seek(3);
            ID3v2Tag.Read(file);
            DataStart = std::min<int64_t>(ID3v2Tag.TagSizeOnDisk(), FileSize);
        }
        ReadTrailingTags(file);
        HadTag = HadTag || ID3v1Tag.Present;
        const int64_t scanFrom = FindRiffData(file);

        uint8_t header[4] = {};
        int64_t frameAt = DataStart;
        HasFrame = FindFirstFrame(file, scanFrom, header, frameAt);
        AudioStart = HasFrame ? frameAt : DataStart;
        AudioLength = AudioEnd - AudioStart;

        FreeAudioBuffer();
        if (loadAudio) {
            AllocateAudioBuffer(AudioEnd - DataStart);
            if (file.ReadAt(DataStart, AudioData.data(), AudioData.size()) != AudioData.size())
                throw EMP3Object("The file \"" + fileName.string() + "\" became shorter while it was read");
        }
        if (HasFrame) {
            WorkOutStreamFacts(file, header);
        } else {
            TotalFrames = "0";
            SongLength = FormatPlayLength(0);
        }
        return true;
    } catch (const std::bad_alloc&) {
        LoadFailed("MP3Object::Error allocating memory");
    } catch (const std::exception& e) {
        LoadFailed(std::string("MP3Object Unknown Exception: ") + e.what());
    }
    return false;
}

void TMP3Object::LoadFailed(const std::string& message) {
    FreeAudioBuffer();
    LoadFailure = message;
    Sink->Error(message);
}

bool TMP3Object::LoadForChange(const fs::path& fileName) {
    try {
        std::string report;
        if (RecoverInterruptedSave(WriteTargetOf(fileName), &report) == TRecovery::SetAside) Sink->Error(report);
    } catch (const std::exception& e) {
        Sink->Error(e.what());
        return false;
    }
    return LoadFile(fileName, false);
}

bool TMP3Object::FindFirstFrame(TFileStream& file, int64_t from, uint8_t header[4], int64_t& offset) {
    // A header counts when the frame it announces is followed by a header of the
    // same stream, or ends at (or runs past) the end of the audio. Free-format
    // headers, whose length is unknown, count only when nothing better is found.
    int64_t freeFormatAt = -1;
    uint8_t freeFormat[4] = {};
    // The first block is the kept head from `from` on, looked at where it is, when the
    // head reaches that far. Later blocks are read into a buffer that is not cleared
    // first: only the bytes read are looked at.
    const std::span<const uint8_t> kept = file.HeadFrom(from);
    size_t block = kept.empty() ? kFirstScanBlock : kept.size();
    std::unique_ptr<uint8_t[]> buffer;
    for (int64_t pos = from; pos + 4 <= AudioEnd;) {
        const uint8_t* data = kept.data();
        size_t n = size_t(std::min<int64_t>(block, AudioEnd - pos));
        if (pos != from || kept.empty()) {
            if (!buffer) buffer = std::make_unique_for_overwrite<uint8_t[]>(block);
            data = buffer.get();
            n = file.ReadAt(pos, buffer.get(), n);
        }
        if (n < 4) break;
        for (size_t i = 0; i + 4 <= n; ++i) {
            const uint8_t* p = static_cast<const uint8_t*>(std::memchr(data + i, 0xFF, n - 3 - i));
            if (!p) break;
            i = size_t(p - data);
            if (!IsValidFrameHeader(p)) continue;
            const int64_t at = pos + int64_t(i);
            const int len = FrameLength(p);
            if (len == 0) {
                if (freeFormatAt < 0) {
                    freeFormatAt = at;
                    std::memcpy(freeFormat, p, 4);
                }
                continue;
            }
            bool accept = at + len + 4 > AudioEnd;
            if (!accept) {
                uint8_t next[4];
                const int64_t nextAt = at + len;
                if (nextAt + 4 <= pos + int64_t(n))
                    std::memcpy(next, data + (nextAt - pos), 4);
                else if (file.ReadAt(nextAt, next, 4) != 4)
                    continue;
                accept = IsValidFrameHeader(next) && SameStream(p, next);
            }
            if (accept) {
                std::memcpy(header, p, 4);
                offset = at;
                return true;
            }
        }
        if (n < block) break;
        pos += int64_t(n) - 3;
        if (block < kScanBlock) buffer = std::make_unique_for_overwrite<uint8_t[]>(block = kScanBlock);
    }
    if (freeFormatAt >= 0) {
        std::memcpy(header, freeFormat, 4);
        offset = freeFormatAt;
        return true;
    }
    return false;
}

void TMP3Object::WorkOutStreamFacts(TFileStream& file, const uint8_t header[4]) {
    const TFrameFacts facts = DecodeFrameHeader(header);
    MpegVersion = facts.MpegVersion;
    Layer = facts.Layer;
    Bitrate = facts.Bitrate;
    Frequency = facts.Frequency;
    Padding = facts.Padding;
    Private = facts.Private;
    Mode = facts.Mode;
    ModeExtension = facts.ModeExtension;
    Copyrighted = facts.Copyrighted;
    Original = facts.Original;
    Emphasis = facts.Emphasis;

    const TFrameHeaderBits bits = SplitFrameHeader(header);
    const int rate = SampleRateHz(bits.VersionIndex, bits.SamplingIndex);
    const int samples = SamplesPerFrame(bits.VersionIndex, bits.LayerIndex);
    const int kbps = BitrateKbps(bits.VersionIndex, bits.LayerIndex, bits.BitrateIndex);
    const int64_t audioBytes = AudioEnd - AudioStart;

    // A VBR header lies inside the first frame.
    uint8_t first[2048];
    const int length = FrameLength(header);
    const size_t want = length > 0 ? std::min<size_t>(sizeof first, size_t(length)) : sizeof first;
    const size_t got = file.ReadAt(AudioStart, first, size_t(std::min<int64_t>(int64_t(want), audioBytes)));
    VbrHeader.ReadVbrHeader(first, got);
    IsVbr = VbrHeader.Kind == TVBR_MPEGSync::Xing || VbrHeader.Kind == TVBR_MPEGSync::VBRI;
    BitrateType = IsVbr ? "VBR (Variable Bit Ratio)" : "CBR (Constant Bit Ratio)";

    if (VbrHeader.Kind != TVBR_MPEGSync::None && VbrHeader.Frames >= 0) {
        Frames = VbrHeader.Frames;
    } else if (kbps > 0 && rate > 0) {
        const double frameBytes = samples / 8.0 * kbps * 1000.0 / rate;
        Frames = std::max<int64_t>(1, std::llround(double(audioBytes) / frameBytes));  // the first frame is there
    } else {
        Frames = 0;
    }
    // The promise is checked where it can be kept: a stream whose frames have a length.
    int64_t countedBytes = -1;
    FramesCounted = false;
    if (CountDoubtfulFrames && length > 0 && rate > 0) {
        // A VBR header that counts other bytes than the audio has (beyond what tags
        // written since may account for) was written for another stream.
        const bool bytesAgree = VbrHeader.Bytes <= 0 || std::abs(VbrHeader.Bytes - audioBytes) <= audioBytes / 64;
        if (!bytesAgree ||
            !StreamAsPromised(file, AudioStart, AudioEnd, header, VbrHeader.Kind != TVBR_MPEGSync::None)) {
            TMPEGChecker checker;
            const TCheckResult walked = checker.CheckFile(LoadedName);
            if (walked.Frames > 0) {
                // A VBR header's frame holds no audio.
                const bool headerFrame = VbrHeader.Kind != TVBR_MPEGSync::None && walked.FirstFrame == AudioStart;
                Frames = std::max<int64_t>(0, walked.Frames - (headerFrame ? 1 : 0));
                countedBytes = walked.StreamBytes - (headerFrame ? length : 0);
                FramesCounted = true;
            }
        }
    }
    PlaySeconds = rate > 0 ? double(Frames) * samples / rate : 0;
    if (FramesCounted) {
        // The bit rate the counted frames average, whatever the first one says; the
        // first frame's where no whole frame of audio is left.
        if (PlaySeconds > 0 && countedBytes > 0)
            Bitrate = std::to_string(std::llround(countedBytes * 8.0 / PlaySeconds / 1000.0));
    } else if (IsVbr) {
        // A Xing header counts its own frame in the bytes but not in the frames: that frame holds no audio.
        const int64_t headerFrame = VbrHeader.Kind == TVBR_MPEGSync::Xing ? FrameLength(header) : 0;
        const int64_t bytes = (VbrHeader.Bytes > 0 ? VbrHeader.Bytes : audioBytes) - headerFrame;
        if (PlaySeconds > 0) Bitrate = std::to_string(std::llround(bytes * 8.0 / PlaySeconds / 1000.0));
    }
    TotalFrames = std::to_string(Frames);
    SongLength = FormatPlayLength(int64_t(PlaySeconds));
}

bool TMP3Object::SaveFile(const fs::path& fileName, bool writeID3v2, bool writeLyrics3, bool writeID3v1) {
    try {
        if (FileSize < 0) throw EMP3Object("the file has not been loaded");
        const fs::path target = WriteTargetOf(fileName);
        const bool sameFile = target == WriteTargetOf(LoadedName);
        // Written over another file, the audio read here would replace that file's own.
        if (!sameFile && !HasAudioData)
            throw EMP3Object("\"" + fileName.string() + "\" is not the file that was read: it is left as it is");
        TBytes head;
        if (writeID3v2) {
            // Padded to the old tag's space when it fits there, so that it is written in place.
            TMemoryStream tag;
            if (!ID3v2Tag.Save(tag, sameFile && !HasAudioData ? DataStart : 0)) return false;
            head = std::move(tag.Data);
        }
        const TBytes lyrics = writeLyrics3 ? Lyrics3Tag.Render(Sink) : TBytes();
        TBytes tail = lyrics;
        if (writeID3v1) {
            const auto v1 = ID3v1Tag.Render();
            tail.insert(tail.end(), v1.begin(), v1.end());
        }
        WriteTags(target, sameFile, head, tail);

        const int64_t dataLength = AudioEnd - DataStart;
        const int64_t shift = int64_t(head.size()) - DataStart;
        DataStart += shift;
        AudioStart += shift;
        AudioEnd += shift;
        FileSize = DataStart + dataLength + int64_t(tail.size());
        Lyrics3Tag.Present = !lyrics.empty();
        if (Lyrics3Tag.Present) Lyrics3Tag.Size = int32_t(lyrics.size());
        ID3v1Tag.Present = writeID3v1;
        LoadedName = target;
        return true;
    } catch (const std::exception& e) {
        Sink->Error(std::string("Error MP3Object::SaveFile. Message: ") + e.what());
        return false;
    }
}

bool TMP3Object::WriteTagBytes(const TBytes& head, const TBytes& tail) {
    try {
        if (FileSize < 0) throw EMP3Object("the file has not been loaded");
        WriteTags(WriteTargetOf(LoadedName), true, head, tail);
        FileSize = -1;  // the object no longer describes the file: load it again to use it
        return true;
    } catch (const std::exception& e) {
        Sink->Error(std::string("Error MP3Object::SaveFile. Message: ") + e.what());
        return false;
    }
}

bool TMP3Object::RemoveTags(bool removeID3v2, bool removeLyrics3, bool removeID3v1) {
    TBytes head, tail;
    try {
        if (FileSize < 0) throw EMP3Object("the file has not been loaded");
        TFileStream in(LoadedName, TFileStream::OpenRead);
        auto bytes = [this, &in](int64_t offset, int64_t count) {
            TBytes out(size_t(std::max<int64_t>(count, 0)));
            if (in.ReadAt(offset, out.data(), out.size()) != out.size())
                throw EMP3Object("the file \"" + LoadedName.string() + "\" became shorter since it was read");
            return out;
        };
        const int64_t lyricsSize = Lyrics3Tag.Present ? Lyrics3Tag.Size : 0;
        if (!removeID3v2) head = bytes(0, DataStart);
        if (!removeLyrics3) tail = bytes(AudioEnd, lyricsSize);
        if (ID3v1Tag.Present && !removeID3v1) {
            const TBytes v1 = bytes(AudioEnd + lyricsSize, 128);
            tail.insert(tail.end(), v1.begin(), v1.end());
        }
    } catch (const std::exception& e) {
        Sink->Error(std::string("Error MP3Object::SaveFile. Message: ") + e.what());
        return false;
    }
    return WriteTagBytes(head, tail);
}

namespace {

// The name a file is written anew under, beside it. One name per file: under the
// file's lock no other save uses it, so one found there was left by a save that was
// killed, and goes, whichever way this save writes. One that cannot go (another
// user's, in a folder where only owners remove files) is passed over for a name of
// this save's own.
fs::path TemporaryBeside(const fs::path& target) {
    const fs::path temp = NameBeside(target, ".velmar-new");
    struct stat left {};
    if (::lstat(temp.c_str(), &left) != 0 || sysio::Unlink(temp.c_str()) == 0) return temp;
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string own = ".velmar-new-";
    for (int i = 0; i < 8; ++i) own += kLetters[random() % (sizeof kLetters - 1)];
    return NameBeside(target, own);
}

}  // namespace

bool TMP3Object::AudioFollowsFirstFrame(int fd) const {
    uint8_t first[4], next[4];
    if (!HasFrame || sysio::Pread(fd, first, 4, off_t(AudioStart)) != 4 || !IsValidFrameHeader(first)) return false;
    std::memcpy(next, first, 4);
    int64_t at = AudioStart;
    for (int links = 0; links < kFramesThatShowAudio; ++links) {
        const int length = FrameLength(next);
        if (length == 0) return AudioStart == 0;  // free format: only where the file begins
        at += length;
        if (at + 4 > AudioEnd) return links > 0 || AudioStart == 0;  // the stream ends within this frame
        if (sysio::Pread(fd, next, 4, off_t(at)) != 4 || !IsValidFrameHeader(next) || !SameStream(first, next))
            return false;
    }
    return true;
}

void TMP3Object::CheckBeforeWriting(TFileForChange& file, bool sameFile, bool audioFound) {
    const fs::path& target = file.Name();
    // A save cut short earlier is finished first; when that changed the file, what
    // was read from it no longer holds and the save is refused.
    std::string report;
    const TRecovery recovered = RecoverLocked(file, &report);
    if (recovered == TRecovery::RestoredOld)
        throw EMP3Object("an earlier save of \"" + target.string() +
                         "\" had been cut short and was undone: read the file again");
    if (recovered == TRecovery::SetAside) Sink->Error(report);
    // Under the lock, up to the end of the save: a file changed since it was read
    // (by another program, or by another save that got there first) is not written.
    if (sameFile &&
        (int64_t(file.Status().st_size) != FileSize || ModificationTime(file.Status()) != LoadedModification))
        throw EMP3Object("the file \"" + target.string() + "\" was changed by another program since it was read");
    // Only a file that holds MPEG audio or an ID3 tag (or nothing yet) is written:
    // anything else named like an audio file (a text, a picture, a program) is left as it is.
    // (Written over another file, what counts is the audio read, which replaces that file's.)
    if (!HadTag && !audioFound && FileSize > 0 && !(sameFile ? AudioFollowsFirstFrame(file.Fd()) : HasFrame))
        throw EMP3Object("\"" + target.string() + "\" holds neither MPEG audio nor an ID3 tag: it is left as it is");
}

void TMP3Object::WriteTags(const fs::path& target, bool sameFile, const TBytes& head, const TBytes& tail) {
    TFileForChange file(target);
    CheckBeforeWriting(file, sameFile, false);
    TChangeWatch* watch = sameFile ? ChangeWatch() : nullptr;
    const bool inPlace = sameFile && !HasAudioData && int64_t(head.size()) == DataStart;
    TSaveGroup* group = inPlace ? SaveGroup() : nullptr;
    if (watch) watch->BeforeWrite(target, file.Fd(), DataStart, AudioEnd, group != nullptr);
    const fs::path temp = TemporaryBeside(target);
    const int64_t size = int64_t(head.size() + tail.size()) + (AudioEnd - DataStart);
    if (inPlace) {
        // In a group of saves the file is written, and the save recorded, when the group commits.
        if (group) {
            auto done = [watch, target, head, tail, size](int64_t modified) {
                if (watch) watch->AfterWrite(target, head, tail, size, modified);
            };
            if (group->Defer(file, {head, AudioEnd, tail}, std::move(done))) return;
        } else {
            WriteInPlace(file, {head, AudioEnd, tail});
        }
        LoadedModification = ModificationTime(file.Status());
    } else {
        WriteNewFile(file, sameFile, head, tail, temp);
        struct stat now {};
        if (::stat(target.c_str(), &now) == 0) LoadedModification = ModificationTime(now);
    }
    if (watch) watch->AfterWrite(target, head, tail, size, LoadedModification);
}

namespace {

// Copies `count` bytes from `in` at `from` to the end of `out`, by the kernel when it
// can (no data pass through the program), else through one block of memory.
void CopyBytes(int in, int64_t from, TFileStream& out, int64_t count, const fs::path& name) {
    off_t inAt = off_t(from), outAt = off_t(out.Position());
    bool kernel = true;
    TBytes block;
    for (int64_t left = count; left > 0;) {
        const size_t want = size_t(std::min<int64_t>(left, int64_t(kCopyBlock)));
        if (kernel) {
            const ssize_t n = sysio::CopyFileRange(in, &inAt, out.Handle(), &outAt, want);
            if (n > 0) {
                left -= n;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // Not between these files (other file systems, old kernels): copy by hand.
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernel = false;
                block.resize(kCopyBlock);
                continue;
            }
            if (n < 0) throw EMP3Object(ErrnoMessage("Cannot copy the audio of \"" + name.string() + "\""));
            throw EMP3Object("the file \"" + name.string() + "\" became shorter while it was copied");
        }
        if (sysio::Pread(in, block.data(), want, inAt) != ssize_t(want))
            throw EMP3Object("the file \"" + name.string() + "\" became shorter while it was copied");
        out.Seek(outAt);
        out.Write(block.data(), want);
        inAt += off_t(want);
        outAt += off_t(want);
        left -= int64_t(want);
    }
    out.Seek(outAt);
}

}  // namespace

namespace {

// A part of a file written anew: bytes from memory, or `Count` bytes of the source from `From`.
struct TPiece {
    const uint8_t* Data = nullptr;
    int64_t From = 0, Count = 0;
};

// Writes the pieces to a new file `temp` beside the locked `file`, owned as it is and
// with its permissions, checks its length, flushes it and renames it over `file`.
// Bytes not in memory are copied by the kernel from `from` (named `source`).
void WriteFileAnew(TFileForChange& file, int from, const fs::path& source, const std::vector<TPiece>& pieces,
                   const fs::path& temp) {
    const fs::path& target = file.Name();
    const struct stat& original = file.Status();
    const unsigned mode = unsigned(original.st_mode & 07777);
    const fs::path folder = temp.parent_path().empty() ? fs::path(".") : temp.parent_path();
    try {
        TFileStream out(temp, TFileStream::CreateNew, mode);
        // The new file must belong to whoever owned the old one; a user who may write
        // another user's file cannot give a file away, so such a save is refused.
        struct stat made {};
        if (sysio::Fstat(out.Handle(), &made) != 0) throw EMP3Object(ErrnoMessage("Cannot read the new file's owner"));
        if ((made.st_uid != original.st_uid || made.st_gid != original.st_gid) &&
            ::fchown(out.Handle(), original.st_uid, original.st_gid) != 0)
            throw EMP3Object(
                ErrnoMessage("Cannot keep the owner and group of \"" + target.string() + "\", so it is left as it is"));
        ::fchmod(out.Handle(), mode);  // after the owner: the creation mask may have taken bits away
        int64_t expected = 0;
        for (const TPiece& p : pieces) {
            if (p.Data)
                out.Write(p.Data, size_t(p.Count));
            else
                CopyBytes(from, p.From, out, p.Count, source);
            expected += p.Count;
        }
        if (out.Size() != expected)
            throw EMP3Object("the new file has " + std::to_string(out.Size()) + " bytes instead of " +
                             std::to_string(expected));
        out.Flush();
        out.Close();
        if (sysio::Rename(temp.c_str(), target.c_str()) != 0)
            throw EMP3Object(ErrnoMessage("Cannot replace \"" + target.string() + "\""));
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

void TMP3Object::WriteNewFile(TFileForChange& file, bool sameFile, const TBytes& head, const TBytes& tail,
                              const fs::path& temp) {
    // The bytes between the tags come from memory when loaded, else from the file as
    // loaded: the locked file itself when it is the one read.
    std::unique_ptr<TFileStream> source;
    int from = file.Fd();
    if (!HasAudioData && !sameFile) {
        source = std::make_unique<TFileStream>(LoadedName, TFileStream::OpenRead);
        if (source->Size() != FileSize || ModificationTime(source->Status()) != LoadedModification)
            throw EMP3Object("the file \"" + LoadedName.string() +
                             "\" was changed by another program since it was read");
        from = source->Handle();
    }
    const int64_t dataLength = AudioEnd - DataStart;
    const TPiece audio = HasAudioData ? TPiece{AudioData.data(), 0, int64_t(AudioData.size())}
                                      : TPiece{nullptr, DataStart, dataLength};
    WriteFileAnew(file, from, LoadedName,
                  {{head.data(), 0, int64_t(head.size())}, audio, {tail.data(), 0, int64_t(tail.size())}}, temp);
}

bool TMP3Object::WriteSplices(const std::vector<TSplice>& splices) {
    try {
        if (FileSize < 0) throw EMP3Object("the file has not been loaded");
        const fs::path target = WriteTargetOf(LoadedName);
        TFileForChange file(target);
        CheckBeforeWriting(file, true, true);
        // Every splice lies in the audio, in order, and finds its old bytes there.
        std::vector<TPiece> pieces;
        int64_t at = 0;
        for (const TSplice& s : splices) {
            const int64_t end = s.Offset + int64_t(s.Old.size());
            if (s.Offset < at || s.Offset < DataStart || end > AudioEnd)
                throw EMP3Object("a change of \"" + target.string() + "\" lies outside its audio: it is left as it is");
            TBytes now(s.Old.size());
            if (sysio::Pread(file.Fd(), now.data(), now.size(), off_t(s.Offset)) != ssize_t(now.size()) ||
                now != s.Old)
                throw EMP3Object("the file \"" + target.string() +
                                 "\" does not hold the bytes the change takes away: it is left as it is");
            pieces.push_back({nullptr, at, s.Offset - at});
            pieces.push_back({s.New.data(), 0, int64_t(s.New.size())});
            at = end;
        }
        pieces.push_back({nullptr, at, FileSize - at});
        TChangeWatch* watch = ChangeWatch();
        if (watch) watch->BeforeSplice(target, file.Fd(), splices, DataStart, FileSize - AudioEnd);
        WriteFileAnew(file, file.Fd(), target, pieces, TemporaryBeside(target));
        struct stat now {};
        if (::stat(target.c_str(), &now) != 0) throw EMP3Object(ErrnoMessage("Cannot read \"" + target.string() + "\""));
        if (watch) watch->AfterSplice(target, int64_t(now.st_size), ModificationTime(now));
        FileSize = -1;  // the object no longer describes the file: load it again to use it
        return true;
    } catch (const std::exception& e) {
        Sink->Error(std::string("Error MP3Object::SaveFile. Message: ") + e.what());
        return false;
    }
}

}  // namespace velmar
