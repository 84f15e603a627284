// What a sound file holds, read through the engine for `quillgen info` and the inspector.
#include "jobs/SoundFileReport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/CBWFLinearFile.h"
#include "formats/OpenSoundFile.h"
#include "jobs/LoudnessMeter.h"
#include "shell/FSSpec.h"
#include "shell/PascalString.h"
#include "shell/Preferences.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

namespace {

std::string FormatName(std::uint32_t type) {
    switch (type) {
    case byteorder::FourCC("AIFF"):
        return "AIFF";
    case byteorder::FourCC("WAVE"):
        return "WAVE";
    case byteorder::FourCC("BWLN"):
        return "BWF";
    default: {
        std::string code(4, ' ');
        for (int i = 0; i < 4; ++i)
            code[i] = char((type >> (24 - 8 * i)) & 0xFF);
        return code;
    }
    }
}

// The readers give a file without regions one region over the whole file, named after the
// file (cut to 31 characters, or 29 by the WAVE readers). That region is not in the file.
bool IsAddedWholeFileRegion(CSoundFile& file, const SFTRegion& region) {
    if (file.GetNumRegions() != 1) return false;
    if (region.id != 0 || region.start != 0 || region.end != file.GetNumSFrames() ||
        region.sync != 0 || region.timeStampLS != 0)
        return false;
    const FSSpec fileRef = file.GetFSSpec();
    const int fileNameLength = fileRef.name[0];
    const int length = region.name[0];
    const bool cut =
        length == std::min(fileNameLength, 31) || length == std::min(fileNameLength, 29);
    return cut && std::memcmp(region.name + 1, fileRef.name + 1, std::size_t(length)) == 0;
}

// The speaker positions of a WAVE channel mask, bit 0 first.
std::string MaskSpeakers(std::uint32_t mask) {
    static const char* const kPositions[] = {"FL",  "FR",  "FC",  "LFE", "BL",  "BR",
                                             "FLC", "FRC", "BC",  "SL",  "SR",  "TC",
                                             "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
    std::string names;
    for (std::uint32_t bit = 0; bit < 32; ++bit) {
        if ((mask & (1u << bit)) == 0) continue;
        if (!names.empty()) names += ' ';
        names += bit < std::size(kPositions) ? kPositions[bit] : "bit" + std::to_string(bit);
    }
    return names.empty() ? "no positions" : names;
}

nlohmann::json Describe(CSoundFile& file, const std::string& path) {
    nlohmann::json info;
    info["path"] = path;
    info["format"] = FormatName(file.GetFType());
    // Only where they apply, so that the description of other files stays as it was.
    if (file.HasFloatSamples()) info["float"] = true;
    if (const auto* wave = dynamic_cast<const CWAVEFile*>(&file); wave && wave->IsRF64())
        info["rf64"] = true;
    info["channels"] = file.GetNumChannels();
    info["bits"] = file.GetWordSize();
    const double rate = file.GetSampleRate();
    // A whole rate is shown as an integer when one can hold it (an AIFF rate may reach 3.4e38).
    if (rate == std::floor(rate) && std::fabs(rate) < 0x1p63)
        info["sampleRate"] = std::int64_t(rate);
    else
        info["sampleRate"] = rate;
    info["frames"] = file.GetNumSFrames();
    if (const std::optional<std::uint32_t> mask = file.GetChannelMask())
        info["channelMask"] = {{"value", *mask}, {"speakers", MaskSpeakers(*mask)}};

    info["markers"] = nlohmann::json::array();
    for (std::int16_t i = 0; i < file.GetNumMarkers(); ++i) {
        SFTMarker m;
        if (file.GetIndMarker(i, &m) != kNoErr) break;
        nlohmann::json marker = {
            {"id", m.id}, {"position", m.position}, {"name", stringWithPascalString(m.name)}};
        if (m.type == kMarkerTypeNumbered) marker["number"] = m.number;
        info["markers"].push_back(marker);
    }
    info["loops"] = nlohmann::json::array();
    for (std::int16_t i = 0; i < file.GetNumLoops(); ++i) {
        SFTLoop l;
        if (file.GetIndLoop(i, &l) != kNoErr) break;
        info["loops"].push_back(
            {{"id", l.id}, {"start", l.start}, {"end", l.end}, {"type", l.type}});
    }
    info["regions"] = nlohmann::json::array();
    for (std::int16_t i = 0; i < file.GetNumRegions(); ++i) {
        SFTRegion r;
        if (file.GetIndRegion(i, &r) != kNoErr) break;
        if (IsAddedWholeFileRegion(file, r)) continue;
        info["regions"].push_back({{"id", r.id},
                                   {"start", r.start},
                                   {"end", r.end},
                                   {"sync", r.sync},
                                   {"name", stringWithPascalString(r.name)}});
    }
    SFTSamplerInfo s;
    if (file.GetSamplerInfo(&s) == kNoErr) {
        info["sampler"] = {{"baseNote", s.baseNote},
                           {"detune", s.detune},
                           {"lowNote", s.lowNote},
                           {"highNote", s.highNote},
                           {"lowVelocity", s.lowVelocity},
                           {"highVelocity", s.highVelocity},
                           {"gain", s.gain}};
    }
    return info;
}

// A Broadcast WAVE file: its bext fields, and the markers of its cue points, which the
// Broadcast WAVE reader leaves to the plain WAVE reader.
void DescribeBroadcast(CBWFLinearFile& file, const FSSpec& fileRef, nlohmann::json* info) {
    const BWFBextInfo& bext = file.GetBextInfo();
    (*info)["bext"] = {{"description", bext.description},
                       {"originator", bext.originator},
                       {"originatorReference", bext.originatorReference},
                       {"originationDate", bext.originationDate},
                       {"originationTime", bext.originationTime},
                       {"timeReference", bext.timeReference},
                       {"version", bext.version}};
    CWAVEFile wave;
    if (wave.ISoundFile(&fileRef) == kNoErr && wave.Open() == kNoErr)
        (*info)["markers"] = Describe(wave, "")["markers"];
    if (wave.IsOpen()) (void)wave.Close(); // read only: nothing to lose
}

// The engine names files with at most 63 Mac Roman bytes. A file whose name is longer or
// outside Mac Roman is reached through a short link in a private temporary folder, so that
// any file can be inspected.
class ShortNameLink {
  public:
    ~ShortNameLink() {
        if (folder.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    bool Make(const std::filesystem::path& target, FSSpec* fileRef) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(target, ec);
        if (ec) return false;
        std::string pattern =
            (std::filesystem::temp_directory_path(ec) / "quillgen-XXXXXX").string();
        if (ec || !::mkdtemp(pattern.data())) return false;
        folder = pattern;
        std::filesystem::create_symlink(absolute, folder + "/sound", ec);
        return !ec && MakeFSSpec(folder, "sound", fileRef);
    }

  private:
    std::string folder;
};

// Only a regular file is handed to the engine: a FIFO or a device would block its reads or
// never end. The descriptor is opened without blocking and examined itself, so nothing can be
// swapped in between the check and the open. An empty result means the file may be read.
std::string RegularFileProblem(const std::string& path, std::int64_t* size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return "cannot open '" + path + "': " + std::strerror(errno);
    struct stat status {};
    const bool statted = ::fstat(fd, &status) == 0;
    const int error = errno;
    ::close(fd);
    if (!statted) return "cannot examine '" + path + "': " + std::strerror(error);
    if (S_ISDIR(status.st_mode)) return "cannot read '" + path + "': " + std::strerror(EISDIR);
    if (!S_ISREG(status.st_mode)) return "cannot read '" + path + "': not a regular file";
    *size = status.st_size;
    return {};
}

// A file too short for a container header, or with an unknown one, is no sound file at all.
std::string OpenFailure(const std::string& path, Status status, std::int64_t size) {
    constexpr std::int64_t kContainerHeaderSize = 12;
    if (status == kErrNotSupported || (status == kErrEndOfFile && size < kContainerHeaderSize))
        return "'" + path + "' is not an AIFF or WAVE file";
    // Forms that are recognised but not read: the message says what the file is.
    if (status == kErrFloat32WAVE || status == kErrFloat64WAVE || status == kErrRF64)
        return "'" + path + "' is " + StatusText(status) + ", which quillgen does not read (" +
               std::to_string(status) + ")";
    return "cannot read '" + path + "': " + StatusText(status) + " (" + std::to_string(status) +
           ")";
}

// Hundredths of a decibel: finer than any meter shows, and stable in the text.
double Decibels(double power) {
    return std::round(1000.0 * std::log10(power)) / 100.0;
}

// A hundredth of a loudness unit, as the decibels are.
double Hundredths(double value) {
    return std::round(value * 100.0) / 100.0;
}

// Sample peak, RMS level (dBFS, and as AES17 reads it: a full-scale sine at 0 dB) and true peak
// (dBTP) of every channel, null for a channel of digital silence; the integrated loudness (LUFS,
// null when nothing passes the gates) and the loudness range (LU) of the whole file. The frames
// are read in blocks of a bounded number of samples, so memory does not depend on the length of
// the file (nor, beyond one frame, on its channel count); libebur128, which takes longer than
// everything else together, measures each block on a thread of its own while the next is read.
// Once `stop` is set, the reading ends at the next block with `*stopped` set. `progress`, when
// given, is told the fraction read after each block.
Status MeasureLevels(CSoundFile& file, const std::atomic<bool>* stop,
                     const std::function<void(double)>& progress, bool* stopped,
                     nlohmann::json* levels, nlohmann::json* loudness) {
    constexpr std::int32_t kBlockSamples = 1 << 16;
    const std::int32_t channels = file.GetNumChannels();
    const std::int32_t frames = file.GetNumSFrames();
    if (channels < 1) return kErrParameter;
    const std::int32_t blockFrames = std::max(kBlockSamples / channels, 1);
    TruePeakMeter peaks(channels);
    LoudnessMeter meter(channels, file.GetSampleRate(),
                        LoudnessChannelMap(channels, file.GetChannelMask()),
                        std::size_t(blockFrames), true);
    for (std::int32_t start = 0; start < frames;) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            *stopped = true;
            return kNoErr;
        }
        double* samples = meter.Buffer();
        std::int32_t count = std::min(blockFrames, frames - start);
        const Status status = file.Read(start, &count, &samples);
        if (status != kNoErr) return status;
        if (count <= 0 || count > blockFrames) return kErrEndOfFile;
        peaks.Add(samples, std::size_t(count));
        meter.Submit(std::size_t(count));
        start += count;
        if (progress) progress(double(start) / double(frames));
    }
    const Loudness measured = meter.Finish();
    *loudness = {{"integrated", nullptr}, {"range", Hundredths(measured.range)}};
    if (measured.integrated) (*loudness)["integrated"] = Hundredths(*measured.integrated);
    // A sine's RMS value is its peak / sqrt(2); AES17 reads it as its peak.
    const double aes17Offset = Decibels(2.0);
    *levels = nlohmann::json::array();
    for (std::int32_t c = 0; c < channels; ++c) {
        nlohmann::json level = {
            {"peak", nullptr}, {"rms", nullptr}, {"rmsAes17", nullptr}, {"truePeak", nullptr}};
        if (const double peak = peaks.SamplePeak(c); peak > 0.0) {
            level["peak"] = Decibels(peak * peak);
            const double rms = Decibels(peaks.SumOfSquares(c) / frames);
            level["rms"] = rms;
            level["rmsAes17"] = Hundredths(rms + aes17Offset);
            level["truePeak"] = Decibels(peaks.Peak(c) * peaks.Peak(c));
        }
        levels->push_back(level);
    }
    return kNoErr;
}

} // namespace

std::optional<nlohmann::json> ReadSoundFileReport(const std::string& path, bool levels,
                                                  std::string* why, const std::atomic<bool>* stop,
                                                  const std::function<void(double)>& progress) {
    // Read as the jobs' engine reads: with the readers' declared defaults.
    DeclareReaderDefaults();
    std::int64_t size = 0;
    if (std::string problem = RegularFileProblem(path, &size); !problem.empty()) {
        *why = std::move(problem);
        return std::nullopt;
    }
    const std::filesystem::path filePath(path);
    FSSpec fileRef;
    ShortNameLink link;
    if (!MakeFSSpec(filePath.parent_path().string(), filePath.filename().string(), &fileRef) &&
        !link.Make(filePath, &fileRef)) {
        *why = "cannot read '" + path +
               "': its name does not fit the sound file engine and no link to it could be made";
        return std::nullopt;
    }
    std::unique_ptr<CSoundFile> file;
    const Status status = OpenSoundFile(fileRef, &file);
    if (status != kNoErr) {
        *why = OpenFailure(path, status, size);
        return std::nullopt;
    }
    nlohmann::json info = Describe(*file, path);
    if (levels) {
        nlohmann::json measured;
        nlohmann::json loudness;
        bool stopped = false;
        const Status levelStatus =
            MeasureLevels(*file, stop, progress, &stopped, &measured, &loudness);
        if (levelStatus != kNoErr || stopped) {
            (void)file->Close(); // read only: nothing to lose
            *why = stopped
                       ? std::string(kSoundFileReportStopped)
                       : "cannot read the samples of '" + path + "': " + StatusText(levelStatus) +
                             " (" + std::to_string(levelStatus) + ")";
            return std::nullopt;
        }
        info["levels"] = measured;
        info["loudness"] = loudness;
    }
    (void)file->Close(); // read only: nothing to lose
    if (auto* broadcast = dynamic_cast<CBWFLinearFile*>(file.get()))
        DescribeBroadcast(*broadcast, fileRef, &info);
    return info;
}
