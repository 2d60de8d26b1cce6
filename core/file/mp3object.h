#pragma once
// One audio file: its tags at both ends, its first MPEG frame and the stream
// facts worked out from it; loading and saving the whole file.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "mpeg/mpegframe.h"
#include "tags/ID3v1obj.h"
#include "tags/Lyrics3Obj.h"
#include "tags/id3v2obj.h"

namespace velmar {

class TFileForChange;
struct TSplice;

class EMP3Object : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// File attribute bits as the file list shows them.
enum : uint16_t { faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faArchive = 0x20 };

class TMP3Object {
public:
    explicit TMP3Object(TMessageSink& sink);

    // Reads the file's tags and stream facts; with `loadAudio` also the bytes
    // between the tags. Failures are reported to the sink; returns false then, with
    // LoadFailure set. The name is kept as Name() (a temporary is moved there).
    bool LoadFile(std::filesystem::path fileName, bool loadAudio);
    // The name the file was last loaded or saved by.
    const std::filesystem::path& Name() const { return LoadedName; }
    // Loads a file that is about to be changed, without its audio: a save of it that
    // was cut short is finished first, so that the change starts from whole tags.
    bool LoadForChange(const std::filesystem::path& fileName);
    // Writes the tags: ID3v2 tag, the bytes between the tags as they were, Lyrics3
    // tag, ID3v1 tag, each tag only when asked for. When the new ID3v2 tag fits in
    // the old one's space, the tags are written in place and the audio is not
    // touched (see file/inplace.h); otherwise the new file, its ID3v2 tag padded for
    // later edits, is written beside the old one and renamed over it. Either way a
    // failure leaves the original untouched. Returns false after reporting a failure.
    // While a group of saves is open (TSaveGroup), a save in place is written when the
    // group commits: load the object again before saving it once more.
    bool SaveFile(const std::filesystem::path& fileName, bool writeID3v2, bool writeLyrics3, bool writeID3v1);
    // Removes the tags asked for, every other byte as it was read (the kept tags are
    // not rendered again), the same safe way as SaveFile (in place when the ID3v2 tag stays).
    // The object must be loaded again before it is used after that.
    bool RemoveTags(bool removeID3v2, bool removeLyrics3, bool removeID3v1);
    // Writes these bytes in place of the tags as they were read (everything before
    // the audio, everything after it), the same safe way. Load the object again to use it.
    bool WriteTagBytes(const TBytes& head, const TBytes& tail);
    // Rewrites the file with these splices (in order of offset, apart, all between the
    // tag at its start and the tags at its end) the same safe way: a full rewrite
    // beside it, every byte that stays copied by the kernel, renamed over it. Refused,
    // leaving the file as it is, when the file no longer holds each splice's old bytes.
    // The caller has found the file's audio (two frames of one stream that agree, as
    // a repair's check does): damage may keep the first frames from following each other.
    // Load the object again to use it.
    bool WriteSplices(const std::vector<TSplice>& splices);

    void AllocateAudioBuffer(int64_t size);
    void FreeAudioBuffer();

    TID3v2Object& ID3v2() { return ID3v2Tag; }
    TLyricsObject& Lyrics3() { return Lyrics3Tag; }
    TID3v1Object& ID3v1() { return ID3v1Tag; }
    const TID3v2Object& ID3v2() const { return ID3v2Tag; }
    const TLyricsObject& Lyrics3() const { return Lyrics3Tag; }
    const TID3v1Object& ID3v1() const { return ID3v1Tag; }

    // The message the last load reported its failure with, among the sink's other
    // messages; empty after a load that succeeded.
    std::string LoadFailure;

    bool IsVbr = false;
    bool HasFrame = false;  // an MPEG frame was found
    bool HadTag = false;    // an ID3v2 or ID3v1 tag was found when the file was read
    bool ReadThroughLink = false;  // the name read is a link
    uint16_t Attributes = 0;
    int64_t FileSize = -1;
    int64_t AudioLength = -1;  // AudioEnd - AudioStart
    int64_t AudioStart = -1;   // offset of the first frame (of the data, when there is no frame)
    int64_t AudioEnd = -1;     // where a Lyrics3 or ID3v1 tag begins, or the file size
    int64_t DataStart = -1;    // end of the ID3v2 tag: the bytes from here to AudioEnd are kept on saving
    TBytes AudioData;          // the bytes from DataStart to AudioEnd, when loaded
    int64_t AudioBufferSize = -1;
    bool HasAudioData = false;
    TVBR_MPEGSync VbrHeader;

    std::string AttributeLetters;
    std::string MpegType;
    std::string MpegVersion, Bitrate, BitrateType, Frequency, Layer, Padding, Private, Mode, ModeExtension, Copyrighted,
        Original, Emphasis;
    std::string TotalFrames;
    std::string SongLength;
    double PlaySeconds = 0;  // play length with its fraction
    int64_t Frames = 0;
    // Where the first frame's bit rate or the VBR header promise another stream than
    // a few looks into the audio find (damage, a VBR stream without a header, a
    // header that counts other bytes), the frames are counted by walking the stream,
    // and Frames and the length come from that count. For one file about to be played:
    // the looks cost reads into the audio that a listing of many files does not make.
    bool CountDoubtfulFrames = false;
    bool FramesCounted = false;  // the last load counted the frames

private:
    // Ends a failed load: drops the audio, keeps the message and reports it.
    void LoadFailed(const std::string& message);
    void ReadAttributes(const std::filesystem::path& fileName, const struct stat& st);
    // The ID3v1 and Lyrics3 tags at the end; sets AudioEnd before them.
    void ReadTrailingTags(TFileStream& file);
    bool ReadLyrics3Ending(TFileStream& file, int64_t blockEnd);  // a Lyrics3 block that ends at blockEnd
    // Where the search for the first frame starts: the "data" chunk of a RIFF wrapper, else DataStart.
    int64_t FindRiffData(TFileStream& file);
    bool FindFirstFrame(TFileStream& file, int64_t from, uint8_t header[4], int64_t& offset);
    void WorkOutStreamFacts(TFileStream& file, const uint8_t header[4]);
    // Writes the new tags in place when the head keeps its length and the file is the
    // one read, else writes the file anew.
    void WriteTags(const std::filesystem::path& target, bool sameFile, const TBytes& head, const TBytes& tail);
    // Writes the file anew under `temp`, beside it, and renames that over it.
    void WriteNewFile(TFileForChange& file, bool sameFile, const TBytes& head, const TBytes& tail,
                      const std::filesystem::path& temp);
    // Takes the locked file that is to be written: finishes a save of it cut short,
    // and refuses one changed since it was read or that holds no audio and no tag
    // (unless `audioFound`: the caller found frames of one stream that agree).
    void CheckBeforeWriting(TFileForChange& file, bool sameFile, bool audioFound);
    // Whether frames of one stream follow the first frame found (three more, or up to
    // the end of the audio), read from the open file: bytes that only look like a frame
    // header somewhere in a file that is not audio do not pass.
    bool AudioFollowsFirstFrame(int fd) const;

    TMessageSink* Sink;
    std::filesystem::path LoadedName;
    int64_t LoadedModification = 0;  // the file's modification time when it was read
    TID3v2Object ID3v2Tag;
    TLyricsObject Lyrics3Tag;
    TID3v1Object ID3v1Tag;
};

}  // namespace velmar
