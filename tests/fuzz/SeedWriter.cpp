// Writes the seed files the fuzz corpora take from this project's own writer and from
// libsndfile: short files (a few frames) that carry the chunks the readers parse beyond the
// samples — markers, loops and sampler information, cue points and labels, regions, bext.
// tools/make-fuzz-corpus.sh runs it; `fuzz_seed_writer FOLDER` writes into FOLDER.
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "formats/CWAVEFile.h"

namespace {

template <class Record> void Name(Record* record, const char* name) {
    record->name[0] = std::uint8_t(std::strlen(name));
    std::memcpy(record->name + 1, name, record->name[0]);
}

SFTMarker Marker(std::int32_t id, std::int32_t position, const char* name, bool numbered) {
    SFTMarker marker{};
    marker.id = id;
    marker.position = position;
    Name(&marker, name);
    marker.type = numbered ? kMarkerTypeNumbered : kMarkerTypeOrdinary;
    marker.number = numbered ? std::int16_t(id) : -1;
    return marker;
}

SFTRegion Region(std::int32_t start, std::int32_t end, const char* name) {
    SFTRegion region{};
    region.start = region.sync = start;
    region.end = end;
    Name(&region, name);
    return region;
}

// A few frames of a falling ramp through every channel, full scale included.
std::vector<double> Ramp(int channels, int frames) {
    std::vector<double> samples(std::size_t(channels * frames));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = 1.0 - 2.0 * double(i) / double(samples.size());
    return samples;
}

using Maker = std::unique_ptr<CSoundFile> (*)();
template <class File> std::unique_ptr<CSoundFile> Make() {
    return std::make_unique<File>();
}

struct EngineSeed {
    const char* name;
    Maker make;
    int channels, bits, frames;
    std::vector<SFTMarker> markers;
    std::vector<SFTRegion> regions;
    bool loopsAndSampler = false;
    std::int32_t timeStamp = 0;                              // 0: none
    std::optional<std::uint32_t> channelMask = std::nullopt; // the extensible format when set
    bool rf64 = false; // written large, then given the RF64 header of a file past 4 GiB
};

// Turns a file written large (its JUNK chunk at 12) into the RF64 form a file past 4 GiB takes
// at closing: ds64 with the sizes, 0xFFFFFFFF in the RIFF and data size fields.
bool MakeRF64(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) return false;
    std::vector<std::uint8_t> bytes(1 << 16);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    const auto le = [&](std::size_t at, std::uint64_t value, int width) {
        for (int i = 0; i < width; ++i)
            bytes[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    };
    // The header chunks are short: their sizes fit 16 bits.
    const auto size16 = [&](std::size_t at) {
        return std::size_t(bytes[at + 4]) | (std::size_t(bytes[at + 5]) << 8);
    };
    std::size_t data = 12;
    while (data + 8 <= bytes.size() && std::memcmp(&bytes[data], "data", 4) != 0)
        data += 8 + ((size16(data) + 1) & ~std::size_t(1));
    bool ok =
        bytes.size() > 48 && std::memcmp(&bytes[12], "JUNK", 4) == 0 && data + 8 <= bytes.size();
    if (ok) {
        const auto dataSize = std::uint32_t(size16(data));
        const std::uint32_t blockAlign = 4; // the seed's frames: stereo 16-bit
        std::memcpy(&bytes[0], "RF64", 4);
        le(4, 0xFFFFFFFF, 4);
        std::memcpy(&bytes[12], "ds64", 4);
        le(20, bytes.size() - 8, 8);
        le(28, dataSize, 8);
        le(36, dataSize / blockAlign, 8);
        le(data + 4, 0xFFFFFFFF, 4);
        ok = std::fseek(file, 0, SEEK_SET) == 0 &&
             std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    return std::fclose(file) == 0 && ok;
}

bool WriteEngineSeed(const std::string& folder, const EngineSeed& seed) {
    FSSpec fileRef;
    if (!MakeFSSpec(folder, seed.name, &fileRef)) return false;
    std::remove(FSSpecFullPath(fileRef).c_str());
    unsigned char specifics[256] = {0};
    specifics[22] = 4;
    std::memcpy(specifics + 23, "seed", 4); // the description
    const std::unique_ptr<CSoundFile> made = seed.make();
    CSoundFile& file = *made;
    Status status = file.ISoundFile(&fileRef);
    file.SetChannelMask(seed.channelMask);
    file.SetLargeFile(seed.rf64);
    if (status == kNoErr)
        status = file.Create(std::int16_t(seed.channels), std::int16_t(seed.bits), 8000.0f,
                             specifics, 0, nullptr);
    if (status == kNoErr) status = file.InitOutputBuffer();
    std::vector<double> samples = Ramp(seed.channels, seed.frames);
    double* block = samples.data();
    std::int32_t count = seed.frames;
    if (status == kNoErr) status = file.Write(0, &count, &block);
    for (SFTMarker marker : seed.markers)
        if (status == kNoErr) status = file.AddMarker(&marker);
    for (SFTRegion region : seed.regions)
        if (status == kNoErr) status = file.AddRegion(&region);
    if (seed.loopsAndSampler) {
        SFTLoop loops[] = {{1, 1, 3, 1}, {2, 2, 4, 2}}; // sustain, release
        SFTSamplerInfo info;
        info.baseNote = 57;
        info.detune = -5;
        info.gain = -3;
        info.validSamplerInfo = 1;
        for (SFTLoop& loop : loops)
            if (status == kNoErr) status = file.AddLoop(&loop);
        if (status == kNoErr) status = file.SetSamplerInfo(&info);
    }
    if (seed.timeStamp) file.SetTimeStamp(seed.timeStamp);
    const Status closeStatus = file.IsOpen() ? file.Close() : kNoErr;
    if (status == kNoErr) status = closeStatus;
    if (status != kNoErr) std::fprintf(stderr, "%s: status %d\n", seed.name, status);
    if (status == kNoErr && seed.rf64 && !MakeRF64(FSSpecFullPath(fileRef))) {
        std::fprintf(stderr, "%s: no RF64 header\n", seed.name);
        return false;
    }
    return status == kNoErr;
}

bool WriteSndfileSeed(const std::string& folder, const char* name, int format, int channels,
                      bool extras) {
    SF_INFO info{};
    info.samplerate = 11025;
    info.channels = channels;
    info.format = format;
    const std::string path = folder + "/" + name;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", name, sf_strerror(nullptr));
        return false;
    }
    if (extras) {
        SF_CUES cues{};
        cues.cue_count = 2;
        for (std::uint32_t i = 0; i < 2; ++i) {
            SF_CUE_POINT& cue = cues.cue_points[i];
            cue.indx = std::int32_t(i + 1);
            cue.position = cue.sample_offset = 2 * i + 1;
            cue.fcc_chunk = 0x61746164; // "data"
            std::snprintf(cue.name, sizeof cue.name, i ? "Second cue" : "Cue");
        }
        sf_command(file, SFC_SET_CUE, &cues, sizeof cues); // written for WAVE only
        SF_INSTRUMENT instrument{};
        instrument.basenote = 60;
        instrument.velocity_hi = 127;
        instrument.key_hi = 127;
        instrument.loop_count = 1;
        instrument.loops[0] = {SF_LOOP_FORWARD, 1, 4, 0};
        sf_command(file, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
        if ((format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
            SF_BROADCAST_INFO bext{};
            std::snprintf(bext.description, sizeof bext.description, "libsndfile seed");
            std::snprintf(bext.originator, sizeof bext.originator, "sndfile");
            std::memcpy(bext.origination_date, "2024-01-02", 10);
            std::memcpy(bext.origination_time, "03:04:05", 8);
            bext.time_reference_low = 44100;
            bext.version = 1;
            sf_command(file, SFC_SET_BROADCAST_INFO, &bext, sizeof bext);
        }
    }
    std::vector<double> samples = Ramp(channels, 6);
    const sf_count_t written = sf_writef_double(file, samples.data(), 6);
    sf_close(file);
    return written == 6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const EngineSeed engine[] = {{"engine-stereo16-markers-loops.aif",
                                  Make<CAIFFFile>,
                                  2,
                                  16,
                                  6,
                                  {Marker(7, 0, "Start", false), Marker(8, 5, "Chorus", true)},
                                  {},
                                  true},
                                 {"engine-mono8-odd.aif", Make<CAIFFFile>, 1, 8, 3, {}, {}},
                                 {"engine-mono24-markers-region.wav",
                                  Make<CWAVEFile>,
                                  1,
                                  24,
                                  5,
                                  {Marker(0, 1, "Label", false), Marker(1, 4, "Four", false)},
                                  {Region(1, 4, "Verse")}},
                                 {"engine-mono8-odd.wav", Make<CWAVEFile>, 1, 8, 3, {}, {}},
                                 {"engine-stereo16-regions-marker.bwf.wav",
                                  Make<CBWFLinearFile>,
                                  2,
                                  16,
                                  6,
                                  {Marker(0, 2, "Hit", false)},
                                  {Region(0, 3, "Intro"), Region(2, 6, "Outro")},
                                  false,
                                  3723 * 8000},
                                 {"engine-mono32.bwf.wav", Make<CBWFLinearFile>, 1, 32, 4, {}, {}},
                                 {"engine-6ch16-mask-marker.bwf.wav",
                                  Make<CBWFLinearFile>,
                                  6,
                                  16,
                                  3,
                                  {Marker(0, 1, "One", false)},
                                  {},
                                  false,
                                  0,
                                  0x3F},
                                 {"engine-stereo-float-marker.bwf.wav",
                                  Make<CBWFLinearFile>,
                                  2,
                                  kFloat32WordSize,
                                  5,
                                  {Marker(0, 3, "Float", false)},
                                  {}},
                                 {"engine-4ch-float-mask.wav",
                                  Make<CWAVEFile>,
                                  4,
                                  kFloat32WordSize,
                                  3,
                                  {},
                                  {},
                                  false,
                                  0,
                                  0x33},
                                 {"engine-stereo16-marker-region.rf64.bwf.wav",
                                  Make<CBWFLinearFile>,
                                  2,
                                  16,
                                  6,
                                  {Marker(0, 2, "Far", false)},
                                  {Region(1, 5, "Wide")},
                                  false,
                                  0,
                                  std::nullopt,
                                  true}};
    bool ok = true;
    for (const EngineSeed& seed : engine)
        ok &= WriteEngineSeed(folder, seed);
    ok &= WriteSndfileSeed(folder, "sndfile-stereo16-cues-inst-bext.wav",
                           SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, true);
    ok &=
        WriteSndfileSeed(folder, "sndfile-mono24.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, false);
    ok &= WriteSndfileSeed(folder, "sndfile-mono8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, false);
    ok &= WriteSndfileSeed(folder, "sndfile-stereo32.aif", SF_FORMAT_AIFF | SF_FORMAT_PCM_32, 2,
                           false);
    ok &= WriteSndfileSeed(folder, "sndfile-stereo16-cues-bext.rf64.wav",
                           SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 2, true);
    ok &= WriteSndfileSeed(folder, "sndfile-mono-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1,
                           false);
    return ok ? 0 : 1;
}
