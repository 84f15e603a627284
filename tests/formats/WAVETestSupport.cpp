#include "WAVETestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "soundfile/ByteOrder.h"

Status WriteWAVESpecimen(const FSSpec& fileRef, const WAVESpecimen& specimen) {
    std::unique_ptr<CWAVEFile> file;
    if (specimen.broadcast) file = std::make_unique<CBWFLinearFile>();
    else file = std::make_unique<CWAVEFile>();
    Status status = file->ISoundFile(&fileRef);
    std::uint8_t specifics[256] = {0};
    file->SetChannelMask(specimen.channelMask);
    if (status == kNoErr)
        status = file->Create(specimen.channels, specimen.bits, specimen.rate,
                              specimen.broadcast ? specifics : nullptr, 0, nullptr);
    if (status != kNoErr) return status;
    std::vector<double> samples =
        SpecimenSamples(specimen.frames, specimen.channels, specimen.bits);
    double* block = samples.data();
    std::int32_t count = specimen.frames;
    status = file->Write(0, &count, &block);
    for (SFTMarker marker : specimen.markers)
        if (status == kNoErr) status = file->AddMarker(&marker);
    for (SFTRegion region : specimen.regions)
        if (status == kNoErr) status = file->AddRegion(&region);
    if (specimen.timeStamp) file->SetTimeStamp(*specimen.timeStamp);
    const Status closeStatus = file->Close();
    return status != kNoErr ? status : closeStatus;
}

Status OpenBytes(const TempDir& dir, CSoundFile* file, const std::vector<std::uint8_t>& bytes,
                 const char* name) {
    EXPECT_TRUE(WriteFileBytes(dir.File(name), bytes)) << name;
    const FSSpec fileRef = dir.Spec(name);
    const Status status = file->ISoundFile(&fileRef);
    return status == kNoErr ? file->Open() : status;
}

SFTRegion MakeRegion(std::int32_t start, std::int32_t end, std::int32_t sync,
                     const std::string& name, std::int32_t timeStampLS) {
    SFTRegion region{};
    region.start = start;
    region.end = end;
    region.sync = sync;
    region.timeStampLS = timeStampLS;
    region.name[0] = std::uint8_t(std::min<std::size_t>(name.size(), kSFTMaxNameLength));
    std::memcpy(region.name + 1, name.data(), region.name[0]);
    return region;
}

std::vector<std::pair<std::int64_t, std::string>> RiffChunks(const std::vector<std::uint8_t>& file) {
    std::vector<std::pair<std::int64_t, std::string>> chunks;
    std::size_t offset = 12;
    while (offset + 8 <= file.size()) {
        chunks.emplace_back(std::int64_t(offset), TextAt(file, std::int64_t(offset), 4));
        const std::uint32_t size = byteorder::LoadLE32(file.data() + offset + 4);
        offset += 8 + std::size_t(size) + (size & 1);
    }
    return chunks;
}

std::int64_t RiffChunkOffset(const std::vector<std::uint8_t>& file, const char* id) {
    for (const auto& [offset, name] : RiffChunks(file))
        if (name == id) return offset;
    return -1;
}

std::uint32_t LE32At(const std::vector<std::uint8_t>& bytes, std::int64_t offset) {
    return byteorder::LoadLE32(bytes.data() + offset);
}
std::uint16_t LE16At(const std::vector<std::uint8_t>& bytes, std::int64_t offset) {
    return byteorder::LoadLE16(bytes.data() + offset);
}
std::string TextAt(const std::vector<std::uint8_t>& bytes, std::int64_t offset, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset), n);
}

WAVEReaderPreferences::WAVEReaderPreferences()
    : dir(std::make_unique<TempDir>()),
      store(std::make_unique<Preferences>(dir->File("preferences.json"))),
      scope(std::make_unique<ScopedSharedPreferences>(*store)) {
    DeclareReaderDefaults();
}

WAVEReaderPreferences::~WAVEReaderPreferences() = default;
