#include "formats/TxSoundFile.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "formats/SoundFileFactory.h"
#include "shell/QuillException.h"
#include "shell/TxPath.h"
#include "soundfile/FileServices.h"

const TxSoundFile::TypeTable& TxSoundFile::info() {
    static const TypeTable table = [] {
        TypeTable t;
        const std::pair<const char*, const char*> rows[] = {
            {"AIFF", "aif"}, {"WAVE", "wav"}, {"Sd2f", "sd2"}, {" paf", "paf"}, {"BWLN", "wav"}};
        for (auto [code, extension] : rows)
            t[std::string("'") + code + "'"] = {{TxSoundFileExtensionKey, extension}};
        return t;
    }();
    return table;
}

std::optional<std::string> TxSoundFile::extensionForType(const std::string& typeKey) {
    auto entry = info().find(typeKey);
    if (entry == info().end()) return std::nullopt;
    auto extension = entry->second.find(TxSoundFileExtensionKey);
    if (extension == entry->second.end()) return std::nullopt;
    return extension->second;
}

std::string TxSoundFile::typeKey(std::uint32_t type) {
    std::string key = "'";
    for (int shift = 24; shift >= 0; shift -= 8)
        key += static_cast<char>((type >> shift) & 0xFF);
    return key + "'";
}

TxSoundFile::TxSoundFile(std::shared_ptr<CSoundFile> soundFile, std::string path)
    : sf(std::move(soundFile)), filePath(std::move(path)) {}

std::unique_ptr<TxSoundFile>
TxSoundFile::initWithType(std::uint32_t type, const std::string& path, int channels, int wordLength,
                          float sampleRate, bool forOutput, void* specifics, Status* failure,
                          std::optional<std::uint32_t> channelMask, bool largeFile) {
    return Make(type, path, channels, wordLength, sampleRate, forOutput, specifics, channelMask,
                failure, largeFile);
}

std::vector<std::unique_ptr<TxSoundFile>> TxSoundFile::initChannelsWithType(
    std::uint32_t type, const std::string& path, const std::vector<Channel>& channels,
    int wordLength, float sampleRate, void* specifics, std::optional<std::uint32_t> channelMask,
    Status* failure, bool largeFile) {
    std::vector<std::unique_ptr<TxSoundFile>> handles;
    std::unique_ptr<TxSoundFile> file =
        Make(type, path, int(channels.size()), wordLength, sampleRate, true, specifics, channelMask,
             failure, largeFile);
    if (!file) return handles;
    for (const Channel& c : channels) {
        if (c.index < 0 || std::size_t(c.index) >= channels.size()) {
            if (failure) *failure = kErrParameter;
            handles.clear();
            return handles;
        }
        handles.emplace_back(new TxSoundFile(file->sf, path));
        handles.back()->channel = c.index;
        handles.back()->channelLabel = c.name;
    }
    return handles;
}

std::unique_ptr<TxSoundFile> TxSoundFile::Make(std::uint32_t type, const std::string& path,
                                               int channels, int wordLength, float sampleRate,
                                               bool forOutput, void* specifics,
                                               std::optional<std::uint32_t> channelMask,
                                               Status* failure, bool largeFile) {
    Status ignored = kNoErr;
    Status& status = failure ? *failure : ignored;
    status = kErrNotSupported;
    std::unique_ptr<CSoundFile> soundFile = CreateSoundFile(type);
    if (!soundFile) return nullptr;
    FSSpec fileRef;
    status = kErrParameter; // a folder that is not there, or a name no reference can hold
    if (!TxPath(path).toFSSpec(&fileRef)) return nullptr;
    if ((status = soundFile->ISoundFile(&fileRef)) != kNoErr) return nullptr;
    // From here on the wrapper owns the object, so every way out closes what was opened.
    std::unique_ptr<TxSoundFile> file(new TxSoundFile(std::move(soundFile), path));
    if (!forOutput) return file;
    unsigned char noExtension[1] = {0};
    file->sf->SetChannelMask(channelMask);
    file->sf->SetLargeFile(largeFile);
    status =
        file->sf->Create(static_cast<std::int16_t>(channels), static_cast<std::int16_t>(wordLength),
                         sampleRate, specifics, 0, noExtension);
    if (status == kNoErr) status = file->sf->InitOutputBuffer();
    return status == kNoErr ? std::move(file) : nullptr;
}

TxSoundFile::~TxSoundFile() {
    // The last owner gave up on the file: nothing to report.
    if (sf && sf.use_count() == 1 && sf->IsOpen()) (void)sf->Close();
}

template <class WriteCall>
void TxSoundFile::WriteAtPosition(std::uint32_t frames, WriteCall&& call) {
    Status status = kNoErr;
    std::int32_t count = static_cast<std::int32_t>(frames);
    // A count that does not fit the 32-bit frame positions is refused, not wrapped.
    if (frames > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max() - position))
        status = kErrIO;
    else
        status = call(&count);
    if (status != kNoErr)
        QuillException::Raise(kTxSoundFileException,
                              "could not write sample data into the file '%s': %s",
                              filePath.c_str(), FileStatusText(status).c_str());
    position += count;
}

void TxSoundFile::write(std::uint32_t frames, double* buffer) {
    WriteAtPosition(frames, [&](std::int32_t* count) {
        // A handle on one channel of a shared file writes that channel alone.
        return channel >= 0 ? sf->Write(channel, position, count, &buffer)
                            : sf->Write(position, count, &buffer);
    });
}

void TxSoundFile::writeCoded(std::uint32_t frames, const std::uint8_t* bytes) {
    WriteAtPosition(frames, [&](std::int32_t* count) {
        return channel >= 0 ? sf->WriteCoded(channel, position, count, bytes)
                            : sf->WriteCoded(position, count, bytes);
    });
}

std::int32_t TxSoundFile::Advance(std::int64_t frames) {
    // Saturates instead of overflowing the 32-bit position.
    std::int64_t target = std::int64_t{position} + frames;
    if (target > std::numeric_limits<std::int32_t>::max())
        target = std::numeric_limits<std::int32_t>::max();
    if (target < std::numeric_limits<std::int32_t>::min())
        target = std::numeric_limits<std::int32_t>::min();
    position = static_cast<std::int32_t>(target);
    return static_cast<std::int32_t>(frames);
}

std::int32_t TxSoundFile::advanceSamples(std::int32_t frames) {
    return Advance(frames);
}

std::int32_t TxSoundFile::advanceTime(double seconds) {
    double frames = std::trunc(static_cast<double>(sf->GetSampleRate()) * seconds);
    if (!(frames == frames)) frames = 0.0; // NaN
    if (frames > std::numeric_limits<std::int32_t>::max())
        frames = std::numeric_limits<std::int32_t>::max();
    if (frames < std::numeric_limits<std::int32_t>::min())
        frames = std::numeric_limits<std::int32_t>::min();
    return Advance(static_cast<std::int32_t>(frames));
}

void TxSoundFile::close() {
    position = 0;
    if (!sf->IsOpen()) return;
    const Status status = sf->Close();
    if (status != kNoErr)
        QuillException::Raise(kTxSoundFileException, "could not finish the file '%s': %s",
                              filePath.c_str(), FileStatusText(status).c_str());
}
