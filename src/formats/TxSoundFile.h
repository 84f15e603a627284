#pragma once
// TxSoundFile: the jobs' handle on one output file. It owns the format object, remembers the
// path and keeps a running write position in frames, so that a job can write, skip (silence)
// and write again without tracking frames itself. It also knows which file-name extension
// goes with each file type.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

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
    static std::unique_ptr<TxSoundFile> initWithType(std::uint32_t type, const std::string& path,
                                                     int channels, int wordLength, float sampleRate,
                                                     bool forOutput, void* specifics,
                                                     Status* failure = nullptr);
    ~TxSoundFile(); // closes the file if still open
    TxSoundFile(const TxSoundFile&) = delete;
    TxSoundFile& operator=(const TxSoundFile&) = delete;

    // Writes `frames` interleaved frames at pos and moves pos on. A failure raises a
    // QuillException named "TxSoundFileException" and leaves pos where it was.
    void write(std::uint32_t frames, double* buffer);
    // The same for frames already coded as the file codes its samples (soundFile()
    // ->GetSampleCoding()), as CSoundFile::WriteCoded takes them.
    void writeCoded(std::uint32_t frames, const std::uint8_t* bytes);
    // Moves pos without writing; the frames skipped stay silent in a new file.
    std::int32_t advanceSamples(std::int32_t frames);
    std::int32_t advanceTime(double seconds);

    std::int32_t pos() const { return position; }
    const std::string& path() const { return filePath; }
    CSoundFile* soundFile() { return sf.get(); }
    // Finishes and closes the file (a second close is harmless); pos returns to 0. A failure
    // (the header or the trailing chunks not written, the data not flushed to the disk) raises
    // a TxSoundFileException naming the file and the reason; the file is closed all the same.
    void close();

  private:
    TxSoundFile(std::unique_ptr<CSoundFile> soundFile, std::string path);
    std::int32_t Advance(std::int64_t frames);
    // Runs one write of `frames` at pos and moves pos on, or raises its failure.
    template <class WriteCall> void WriteAtPosition(std::uint32_t frames, WriteCall&& call);

    std::unique_ptr<CSoundFile> sf;
    std::string filePath;
    std::int32_t position = 0;
};
