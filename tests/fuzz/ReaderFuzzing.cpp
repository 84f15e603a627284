#include "ReaderFuzzing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/FSSpec.h"
#include "shell/Preferences.h"
#include "soundfile/FileServices.h"

void FuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

namespace {

// The folder goes when the process ends normally; after a crash it stays for inspection.
struct InputFolder {
    std::string path = (std::filesystem::temp_directory_path() / "quill-fuzz-XXXXXX").string();
    InputFolder() { FuzzCheck(::mkdtemp(path.data()) != nullptr, "a private temporary folder"); }
    ~InputFolder() {
        std::error_code error;
        std::filesystem::remove_all(path, error);
    }
};

// One file held in memory, read-only, with the POSIX service's statuses and its end-of-file
// and position rules, so that the readers are driven by bytes alone (and fast).
class MemoryFileServices : public FileServices {
  public:
    MemoryFileServices(std::string path, const std::uint8_t* data, std::size_t size)
        : path(std::move(path)), bytes(data, data + size) {}
    // References still open.
    int OpenCount() const {
        return int(std::count_if(open.begin(), open.end(), [](auto at) { return at >= 0; }));
    }

    Status Create(const FSSpec&, std::uint32_t, std::uint32_t) override { return kErrIO; }
    Status Open(const FSSpec& fileRef, FilePermission, std::int16_t* refNum) override {
        if (FSSpecFullPath(fileRef) != path) return kErrFileNotFound;
        auto slot = std::find(open.begin(), open.end(), -1);
        if (slot == open.end()) slot = open.insert(open.end(), 0);
        *slot = 0;
        *refNum = std::int16_t(slot - open.begin() + 1);
        return kNoErr;
    }
    Status Read(std::int16_t refNum, std::int32_t* count, void* buffer) override {
        std::int64_t* position = Find(refNum);
        if (!position) return kErrFileNotOpen;
        if (*count < 0) return kErrParameter;
        const std::int64_t size = std::int64_t(bytes.size());
        const std::int64_t n = std::clamp<std::int64_t>(size - *position, 0, *count);
        if (n > 0) std::memcpy(buffer, bytes.data() + *position, std::size_t(n));
        *position += n;
        const bool short_ = n < *count;
        *count = std::int32_t(n);
        return short_ ? kErrEndOfFile : kNoErr;
    }
    Status Write(std::int16_t refNum, std::int32_t* count, const void*) override {
        *count = 0; // as a descriptor opened for reading
        return Find(refNum) ? kErrIO : kErrFileNotOpen;
    }
    Status SetPosition(std::int16_t refNum, FilePositionMode mode, std::int64_t offset) override {
        std::int64_t* position = Find(refNum);
        if (!position) return kErrFileNotOpen;
        const std::int64_t size = std::int64_t(bytes.size());
        const std::int64_t target = offset + (mode == FilePositionMode::FromCurrent ? *position
                                              : mode == FilePositionMode::FromEnd   ? size
                                                                                    : 0);
        if (target < 0) return kErrPositionBeforeStart;
        *position = std::min(target, size);
        return target > size ? kErrEndOfFile : kNoErr;
    }
    Status GetPosition(std::int16_t refNum, std::int64_t* position) override {
        const std::int64_t* at = Find(refNum);
        if (at) *position = *at;
        return at ? kNoErr : kErrFileNotOpen;
    }
    Status GetEndOfFile(std::int16_t refNum, std::int64_t* length) override {
        if (!Find(refNum)) return kErrFileNotOpen;
        *length = std::int64_t(bytes.size());
        return kNoErr;
    }
    Status SetEndOfFile(std::int16_t refNum, std::int64_t) override {
        return Find(refNum) ? kErrIO : kErrFileNotOpen;
    }
    Status Close(std::int16_t refNum) override {
        std::int64_t* position = Find(refNum);
        if (position) *position = -1;
        return position ? kNoErr : kErrFileNotOpen;
    }
    Status GetInformation(const FSSpec& fileRef, FileInformation* information) override {
        if (FSSpecFullPath(fileRef) != path) return kErrFileNotFound;
        information->isDirectory = false;
        information->parentDirectory = fileRef.directory;
        return kNoErr;
    }

  private:
    std::int64_t* Find(std::int16_t refNum) {
        if (refNum < 1 || std::size_t(refNum) > open.size()) return nullptr;
        std::int64_t& position = open[std::size_t(refNum) - 1];
        return position >= 0 ? &position : nullptr;
    }
    std::string path;
    std::vector<std::uint8_t> bytes;
    std::vector<std::int64_t> open; // the position of refNum n is open[n - 1]; -1: closed
};

// The caller's sample arrays stay this small whatever the file declares.
constexpr std::int32_t kBlockSamples = 1 << 16;

struct Pass {
    const char* name;
    bool declaredDefaults;
};
// The first name is the longest a file reference holds (63 bytes), longer than any region name:
// a file without regions gets one named after the file.
constexpr Pass kPasses[] = {
    {"a-file-name-of-the-longest-length-that-a-file-reference-holds-x", true},
    {"input.s32", false}};

// A store that never touches the user's preferences file.
Preferences& ReaderPreferences(bool declaredDefaults) {
    static Preferences* stores[2] = {};
    Preferences*& store = stores[declaredDefaults ? 1 : 0];
    if (!store) {
        store = new Preferences("/nonexistent/quillwavecaster-fuzz/preferences.json");
        store->RegisterDefaults({{kIgnoreRegionsContainingWholeFile, declaredDefaults},
                                 {kProcessFileIfNoRegions, declaredDefaults},
                                 {kSkipBadRegion, declaredDefaults ? 0 : 1}});
    }
    return *store;
}

// Integer samples lie within full scale; floating-point samples may lie anywhere but are never
// NaN (the reader makes a NaN silence).
bool SampleInRange(double x, bool floating) {
    return floating ? !std::isnan(x) : (x >= -1.0 && x <= 1.0);
}

void CheckSamples(const double* samples, std::int64_t n, bool floating) {
    for (std::int64_t i = 0; i < n; ++i)
        FuzzCheck(SampleInRange(samples[i], floating), "sample within full scale");
}

void ReadAllSamples(CSoundFile& file) {
    const std::int32_t frames = file.GetNumSFrames();
    const std::int32_t channels = file.GetNumChannels();
    const bool floating = file.HasFloatSamples();
    const std::int32_t chunk = std::max(kBlockSamples / channels, 1);
    std::vector<double> block(std::size_t(chunk) * channels);
    for (std::int32_t pos = 0; pos < frames;) {
        const std::int32_t asked = std::min(chunk, frames - pos);
        std::int32_t count = asked;
        double* out = block.data();
        const Status status = file.Read(pos, &count, &out);
        FuzzCheck(count >= 0 && count <= asked, "interleaved read count");
        CheckSamples(block.data(), std::int64_t(count) * channels, floating);
        if (status != kNoErr || count == 0) break;
        pos += count;
    }

    // The other read forms over the first frames, one channel forms on the last channel.
    const std::int32_t first = std::min(std::min(chunk, kBlockSamples / 2), frames);
    std::vector<double> left(std::size_t(first) + 1), right(std::size_t(first) + 1);
    std::int32_t count = first;
    double* l = left.data();
    double* r = right.data();
    // Any status will do for hostile bytes: what counts is what the reads leave behind.
    (void)file.Read(std::int16_t(channels - 1), 0, &count, &l);
    FuzzCheck(count >= 0 && count <= first, "one-channel read count");
    CheckSamples(left.data(), count, floating);
    count = first;
    (void)file.Read(0, &count, &l, &r);
    FuzzCheck(count >= 0 && count <= first, "two-channel read count");
    CheckSamples(left.data(), count, floating);
    CheckSamples(right.data(), count, floating);
    std::vector<float> leftFloat(std::size_t(first) + 1), rightFloat(std::size_t(first) + 1);
    count = first;
    (void)file.Read(0, &count, leftFloat.data(), rightFloat.data());
    FuzzCheck(count >= 0 && count <= first, "float read count");
    for (std::int32_t i = 0; i < count; ++i)
        FuzzCheck(SampleInRange(leftFloat[std::size_t(i)], floating) &&
                      SampleInRange(rightFloat[std::size_t(i)], floating),
                  "float sample within full scale");

    // Single samples at the ends, in the middle, and outside the file.
    const std::int32_t probes[] = {0, frames / 2, frames - 1, frames, -1};
    for (const std::int32_t frame : probes) {
        for (const std::int32_t channel : {0, channels - 1, channels}) {
            double value = 2.0;
            const Status status = file.GetSample(std::int16_t(channel), frame, &value);
            if (channel == channels)
                FuzzCheck(status != kNoErr, "no sample past the channels");
            else if (status == kNoErr)
                FuzzCheck(SampleInRange(value, floating), "single sample");
        }
    }
}

void WalkLists(CSoundFile& file) {
    const std::int16_t markers = file.GetNumMarkers();
    FuzzCheck(markers >= 0, "marker count");
    for (std::int16_t i = 0; i < markers; ++i) {
        SFTMarker marker;
        FuzzCheck(file.GetIndMarker(i, &marker) == kNoErr, "every counted marker");
        FuzzCheck(marker.name[0] <= kSFTMaxNameLength, "marker name length");
        SFTMarker byID;
        (void)file.GetMarkerByID(marker.id, &byID); // IDs may repeat; the lookup must not fault
    }
    const std::int16_t loops = file.GetNumLoops();
    FuzzCheck(loops >= 0, "loop count");
    for (std::int16_t i = 0; i < loops; ++i) {
        SFTLoop loop;
        FuzzCheck(file.GetIndLoop(i, &loop) == kNoErr, "every counted loop");
    }
    const std::int16_t regions = file.GetNumRegions();
    FuzzCheck(regions >= 0, "region count");
    for (std::int16_t i = 0; i < regions; ++i) {
        SFTRegion region;
        FuzzCheck(file.GetIndRegion(i, &region) == kNoErr, "every counted region");
        FuzzCheck(region.name[0] <= kSFTMaxNameLength, "region name length");
    }
    // The walks a region processor makes, bounded by the number of regions.
    std::int32_t pos = 0;
    for (int i = 0; i <= regions; ++i) {
        std::int32_t start = 0, end = 0;
        if (file.GetNextBlock(pos, &start, &end) != kNoErr) break;
        pos = std::max(end, start + 1);
    }
    SFTRegion next{}, previous{};
    pos = -1;
    for (int i = 0; i <= regions; ++i) {
        if (file.FindNextRegion(pos, &next, i > 0 ? &previous : nullptr) != kNoErr) break;
        previous = next;
        pos = next.start;
    }
    SFTSamplerInfo info;
    (void)file.GetSamplerInfo(&info); // a file may have none; reading it must not fault
}

void CheckFormat(CSoundFile& file) {
    FuzzCheck(file.GetNumChannels() >= 1, "at least one channel");
    const std::int16_t bits = file.GetWordSize();
    FuzzCheck(bits == 8 || bits == 16 || bits == 24 || bits == 32, "a word size the buffer holds");
    FuzzCheck(file.GetNumSFrames() >= 0, "frame count");
}

void RunPass(const std::uint8_t* data, std::size_t size, ReaderFactory make, ReaderExtra extra,
             const Pass& pass) {
    FSSpec fileRef;
    FuzzCheck(MakeFSSpec("/fuzz", pass.name, &fileRef), "file reference");
    MemoryFileServices files(FSSpecFullPath(fileRef), data, size);
    FileServicesScope filesScope(files);
    ScopedSharedPreferences preferencesScope(ReaderPreferences(pass.declaredDefaults));

    {
        std::unique_ptr<CSoundFile> probe = make();
        std::int16_t info = 0;
        // Any status will do; the file must be closed again.
        if (probe->ISoundFile(&fileRef) == kNoErr) (void)probe->GetOfflineInfo(&info);
        FuzzCheck(!probe->IsOpen(), "GetOfflineInfo closes the file");
    }
    FuzzCheck(files.OpenCount() == 0, "GetOfflineInfo closes its reference");

    std::unique_ptr<CSoundFile> file = make();
    Status status = file->ISoundFile(&fileRef);
    if (status == kNoErr) status = file->Open();
    if (status == kNoErr) {
        CheckFormat(*file);
        WalkLists(*file);
        ReadAllSamples(*file);
        if (extra) extra(*file);
    }
    if (file->IsOpen()) (void)file->Close(); // read only: the references are what is checked
    file.reset();
    FuzzCheck(files.OpenCount() == 0, "the reader closes every reference");
}

} // namespace

void FuzzReader(const std::uint8_t* data, std::size_t size, ReaderFactory make, ReaderExtra extra) {
    for (const Pass& pass : kPasses)
        RunPass(data, size, make, extra, pass);
}

const std::string& FuzzFolder() {
    static const InputFolder folder;
    return folder.path;
}

void FuzzWriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FuzzCheck(file != nullptr, "the input file can be written");
    FuzzCheck(std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0,
              "the input file is written whole");
}
