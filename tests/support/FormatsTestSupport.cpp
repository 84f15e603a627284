#include "support/FormatsTestSupport.h"

#include <cstring>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"

std::unique_ptr<CSoundFile> NewSoundFile(FileKind kind, FileServices* services) {
    if (kind == FileKind::AIFF) return std::make_unique<CAIFFFile>(services);
    if (kind == FileKind::BWF) return std::make_unique<CBWFLinearFile>(services);
    return std::make_unique<CWAVEFile>(services);
}

std::int64_t SpecimenCode(std::int32_t frame, std::int16_t channel, std::int16_t bits) {
    const std::int64_t range = std::int64_t(1) << bits;
    const std::int64_t step = (range / 97) | 1;
    return (std::int64_t(frame) * step + std::int64_t(channel) * (range / 3)) % range - range / 2;
}

Status WriteSpecimen(const FSSpec& fileRef, const Specimen& s) {
    auto file = NewSoundFile(s.kind);
    std::uint8_t specifics[256] = {0}; // the Broadcast WAVE description block, empty
    file->SetChannelMask(s.channelMask);
    Status status = file->ISoundFile(&fileRef);
    if (status == kNoErr)
        status = file->Create(s.channels, s.bits, s.rate,
                              s.kind == FileKind::BWF ? specifics : nullptr, 0, nullptr);
    if (status != kNoErr) return status;
    std::vector<double> samples;
    for (std::int32_t i = 0; i < s.frames * s.channels; ++i)
        samples.push_back(
            double(SpecimenCode(i / s.channels, std::int16_t(i % s.channels), s.bits)) /
            double(std::int64_t(1) << (s.bits - 1)));
    double* block = samples.data();
    std::int32_t count = s.frames;
    status = file->Write(0, &count, &block);
    for (SFTMarker m : s.markers)
        if (status == kNoErr) status = file->AddMarker(&m);
    for (SFTLoop l : s.loops)
        if (status == kNoErr) status = file->AddLoop(&l);
    for (SFTRegion r : s.regions)
        if (status == kNoErr) status = file->AddRegion(&r);
    if (status == kNoErr && s.sampler) status = file->SetSamplerInfo(&*s.sampler);
    if (s.timeStamp) file->SetTimeStamp(*s.timeStamp);
    const Status closeStatus = file->Close();
    return status != kNoErr ? status : closeStatus;
}

Bytes SpecimenBytes(const TempDir& dir, const Specimen& specimen, const char* name) {
    EXPECT_EQ(WriteSpecimen(dir.Spec(name), specimen), kNoErr) << name;
    return ReadFileBytes(dir.File(name));
}

namespace {
template <class Record> Record Named(Record record, const std::string& name) {
    record.name[0] = std::uint8_t(std::min<std::size_t>(name.size(), kSFTMaxNameLength));
    std::memcpy(record.name + 1, name.data(), record.name[0]);
    return record;
}
} // namespace

SFTMarker MakeMarker(std::int32_t id, std::int32_t position, const std::string& name,
                     std::int16_t type, std::int16_t number) {
    return Named(SFTMarker{id, position, {}, type, number}, name);
}

SFTRegion MakeRegion(std::int32_t start, std::int32_t end, const std::string& name) {
    return Named(SFTRegion{0, start, end, start, 0, {}}, name);
}

std::string NameOf(const unsigned char* name) {
    return std::string(reinterpret_cast<const char*>(name + 1), name[0]);
}

std::int64_t ChunkAt(const Bytes& file, const char* id, std::vector<std::int64_t>* chunks) {
    std::int64_t found = -1;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        if (chunks) chunks->push_back(std::int64_t(at));
        if (found < 0 && std::memcmp(file.data() + at, id, 4) == 0) {
            found = std::int64_t(at);
            if (!chunks) break;
        }
        const std::uint32_t size = file[0] == 'F' ? byteorder::LoadBE32(file.data() + at + 4)
                                                  : byteorder::LoadLE32(file.data() + at + 4);
        at += 8 + std::size_t(size) + (size & 1);
    }
    return found;
}

Change Set(const char* chunk, std::size_t offset, std::uint64_t value, int bytes) {
    return [=](Bytes& f) {
        const std::int64_t at = chunk ? ChunkAt(f, chunk) : 0;
        ASSERT_GE(at, 0) << chunk;
        for (int i = 0; i < bytes; ++i)
            f[std::size_t(at) + offset + std::size_t(f[0] == 'F' ? bytes - 1 - i : i)] =
                std::uint8_t(value >> (8 * i));
    };
}

Status OpenBytes(const TempDir& dir, CSoundFile* file, const Bytes& bytes, const char* name) {
    EXPECT_TRUE(WriteFileBytes(dir.File(name), bytes)) << name;
    const FSSpec fileRef = dir.Spec(name);
    const Status status = file->ISoundFile(&fileRef);
    return status == kNoErr ? file->Open() : status;
}
