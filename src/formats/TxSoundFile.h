#pragma once
// TxSoundFile: the jobs' handle on one output file. It owns the format object, remembers the
// path and keeps a running write position in frames, so that a job can write, skip (silence)
// and write again without tracking frames itself. It also knows which file-name extension
// goes with each file type. Several handles may share one interleaved file, each writing one
// channel of it at a position of its own.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "soundfile/CSoundFile.h"

// The key under which an entry of the type table holds its extension.
inline constexpr const char* TxSoundFileExtensionKey = "extension";

class TxSoundFile {
  public:
    // Type key ("'AIFF'") -> entry ({"extension": "aif"}), built once on first use.
    using TypeTable = std::map<std::string, std::map<std::string, std::string>>;
    static const TypeTable& info();
    // The extension for a type key such as "'BWLN'"; none for a type not in the table.
    static std::optional<std::string> extensionForType(const std::string& typeKey);
    // The key form of a four-character code: the characters between single quotes.
    static std::string typeKey(std::uint32_t type);

    // Makes the format object for `type` at `path`; for output it also creates the file,
    // writes its header and prepares the sample buffer. Null when any step fails (no class for
    // the type, the folder does not exist, the file cannot be created, no memory); `failure`,
    // when given, then receives the status of the step that failed.
    // `channelMask`, when given, is stored in formats that have room for one.
    // `wordLength` is the bits of an integer sample (16, 24, ...), or kFloat32WordSize
    // (soundfile/CSoundFile.h) for 32-bit IEEE floating-point samples: full scale +-1.0, never
    // clipped nor dithered. Broadcast WAVE ('BWLN') writes them; AIFF refuses them
    // (kErrNotSupported).
    // `largeFile`: the file may grow past 4 GiB; a Broadcast WAVE file then keeps room for the
    // 64-bit sizes it takes on (RF64) if it does (see CWAVEFile). Without it such a file fails
    // at its limit, as before.
    static std::unique_ptr<TxSoundFile>
    initWithType(std::uint32_t type, const std::string& path, int channels, int wordLength,
                 float sampleRate, bool forOutput, void* specifics, Status* failure = nullptr,
                 std::optional<std::uint32_t> channelMask = std::nullopt, bool largeFile = false);
    // One output file of `channels.size()` channels, one handle per entry of `channels`: that
    // handle's writes fill the channel at `index` alone (the others keep what they hold) and
    // it is known by `name`. `channelMask`, when given, is stored in formats that have room
    // for one. `wordLength` and `largeFile` as for initWithType. Empty when any step fails, as
    // initWithType.
    struct Channel {
        std::string name;
        std::int16_t index = 0;
    };
    static std::vector<std::unique_ptr<TxSoundFile>>
    initChannelsWithType(std::uint32_t type, const std::string& path,
                         const std::vector<Channel>& channels, int wordLength, float sampleRate,
                         void* specifics, std::optional<std::uint32_t> channelMask,
                         Status* failure = nullptr, bool largeFile = false);
    ~TxSoundFile(); // closes the file if still open and no other handle shares it
    TxSoundFile(const TxSoundFile&) = delete;
    TxSoundFile& operator=(const TxSoundFile&) = delete;

    // Writes `frames` interleaved frames at pos and moves pos on. A failure raises a
    // QuillException named "TxSoundFileException" and leaves pos where it was.
    void write(std::uint32_t frames, double* buffer);
    // The same for frames already coded as the file codes its samples (soundFile()
    // ->GetSampleCoding()), as CSoundFile::WriteCoded takes them (one sample per frame for a
    // handle on one channel).
    void writeCoded(std::uint32_t frames, const std::uint8_t* bytes);
    // Moves pos without writing; the frames skipped stay silent in a new file.
    std::int32_t advanceSamples(std::int32_t frames);
    std::int32_t advanceTime(double seconds);

    std::int32_t pos() const { return position; }
    const std::string& path() const { return filePath; }
    // The channel's name for a handle on one channel of a shared file; empty otherwise.
    const std::string& channelName() const { return channelLabel; }
    CSoundFile* soundFile() { return sf.get(); }
    // Finishes and closes the file (a second close is harmless, also through another handle on
    // the same file); pos returns to 0. A failure
    // (the header or the trailing chunks not written, the data not flushed to the disk) raises
    // a TxSoundFileException naming the file and the reason; the file is closed all the same.
    void close();

  private:
    TxSoundFile(std::shared_ptr<CSoundFile> soundFile, std::string path);
    static std::unique_ptr<TxSoundFile> Make(std::uint32_t type, const std::string& path,
                                             int channels, int wordLength, float sampleRate,
                                             bool forOutput, void* specifics,
                                             std::optional<std::uint32_t> channelMask,
                                             Status* failure, bool largeFile);
    std::int32_t Advance(std::int64_t frames);
    // Runs one write of `frames` at pos and moves pos on, or raises its failure.
    template <class WriteCall> void WriteAtPosition(std::uint32_t frames, WriteCall&& call);

    std::shared_ptr<CSoundFile> sf;
    std::string filePath;
    std::int16_t channel = -1; // every channel
    std::string channelLabel;
    std::int32_t position = 0;
};
