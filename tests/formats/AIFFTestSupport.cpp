#include "AIFFTestSupport.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>

#include "soundfile/ByteOrder.h"

std::int64_t SpecimenCode(std::int32_t frame, std::int16_t channel, std::int16_t bits) {
    const std::int64_t range = std::int64_t(1) << bits;
    const std::int64_t step = (range / 97) | 1;
    return (std::int64_t(frame) * step + std::int64_t(channel) * (range / 3)) % range - range / 2;
}

std::vector<double> SpecimenSamples(std::int32_t frames, std::int16_t channels,
                                    std::int16_t bits) {
    std::vector<double> samples;
    const double scale = double(std::int64_t(1) << (bits - 1));
    for (std::int32_t f = 0; f < frames; ++f)
        for (std::int16_t c = 0; c < channels; ++c)
            samples.push_back(double(SpecimenCode(f, c, bits)) / scale);
    return samples;
}

Status WriteSpecimen(const FSSpec& fileRef, const AIFFSpecimen& specimen) {
    CAIFFFile file;
    Status status = file.ISoundFile(&fileRef);
    if (status == kNoErr)
        status = file.Create(specimen.channels, specimen.bits, specimen.rate, nullptr, 0, nullptr);
    if (status != kNoErr) return status;
    std::vector<double> samples =
        SpecimenSamples(specimen.frames, specimen.channels, specimen.bits);
    double* block = samples.data();
    std::int32_t count = specimen.frames;
    status = file.Write(0, &count, &block);
    for (SFTMarker marker : specimen.markers)
        if (status == kNoErr) status = file.AddMarker(&marker);
    for (SFTLoop loop : specimen.loops)
        if (status == kNoErr) status = file.AddLoop(&loop);
    if (status == kNoErr && specimen.sampler) status = file.SetSamplerInfo(&*specimen.sampler);
    const Status closeStatus = file.Close();
    return status != kNoErr ? status : closeStatus;
}

SFTMarker MakeMarker(std::int32_t id, std::int32_t position, const std::string& name,
                     std::int16_t type, std::int16_t number) {
    SFTMarker marker{};
    marker.id = id;
    marker.position = position;
    marker.name[0] = std::uint8_t(std::min<std::size_t>(name.size(), kSFTMaxNameLength));
    std::memcpy(marker.name + 1, name.data(), marker.name[0]);
    marker.type = type;
    marker.number = number;
    return marker;
}

std::string MarkerName(const SFTMarker& marker) {
    return std::string(reinterpret_cast<const char*>(marker.name + 1), marker.name[0]);
}

std::int64_t ChunkOffset(const std::vector<std::uint8_t>& file, const char* id) {
    std::size_t offset = 12;
    while (offset + 8 <= file.size()) {
        const std::uint32_t size = byteorder::LoadBE32(file.data() + offset + 4);
        if (std::memcmp(file.data() + offset, id, 4) == 0) return std::int64_t(offset);
        offset += 8 + std::size_t(size) + (size & 1);
    }
    return -1;
}

std::optional<std::vector<std::uint8_t>> ChunkBody(const std::vector<std::uint8_t>& file,
                                                   const char* id) {
    const std::int64_t offset = ChunkOffset(file, id);
    if (offset < 0) return std::nullopt;
    const std::uint32_t size = byteorder::LoadBE32(file.data() + offset + 4);
    const auto begin = file.begin() + offset + 8;
    if (std::size_t(offset) + 8 + size > file.size()) return std::nullopt;
    return std::vector<std::uint8_t>(begin, begin + size);
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        *status = -1;
        return output;
    }
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}
