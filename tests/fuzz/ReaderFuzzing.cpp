#include "ReaderFuzzing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
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

// A FileServices whose files are byte vectors held in memory, keyed by their full path, with the
// POSIX service's contract (statuses, end-of-file and position rules, read-only references that
// refuse writes), so that the readers are driven by bytes alone. Files grow to kCapacity bytes
// at most; beyond that a write fails as on a full disk.
class MemoryFileServices : public FileServices {
  public:
    static constexpr std::int64_t kCapacity = 64 << 20;

    void Put(const FSSpec& fileRef, const std::uint8_t* bytes, std::size_t size) {
        files[FSSpecFullPath(fileRef)].assign(bytes, bytes + size);
    }
    // References still open.
    int OpenCount() const {
        return int(std::count_if(open.begin(), open.end(), [](const OpenFile& f) { return f.bytes; }));
    }

    Status Create(const FSSpec& fileRef, std::uint32_t, std::uint32_t) override {
        return files.try_emplace(FSSpecFullPath(fileRef)).second ? kNoErr : kErrDuplicateFile;
    }
    Status Open(const FSSpec& fileRef, FilePermission permission, std::int16_t* refNum) override {
        const auto it = files.find(FSSpecFullPath(fileRef));
        if (it == files.end()) return kErrFileNotFound;
        auto slot = std::find_if(open.begin(), open.end(), [](const OpenFile& f) { return !f.bytes; });
        if (slot == open.end()) {
            if (open.size() >= std::size_t(std::numeric_limits<std::int16_t>::max())) return kErrIO;
            slot = open.insert(open.end(), OpenFile{});
        }
        *slot = OpenFile{&it->second, 0, permission == FilePermission::ReadWrite};
        *refNum = std::int16_t(slot - open.begin() + 1);
        return kNoErr;
    }
    Status Read(std::int16_t refNum, std::int32_t* count, void* buffer) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        if (*count < 0) return kErrParameter;
        const std::int64_t size = std::int64_t(file->bytes->size());
        const std::int64_t n = std::clamp<std::int64_t>(size - file->position, 0, *count);
        if (n > 0) std::memcpy(buffer, file->bytes->data() + file->position, std::size_t(n));
        file->position += n;
        const bool short_ = n < *count;
        *count = std::int32_t(n);
        return short_ ? kErrEndOfFile : kNoErr;
    }
    Status Write(std::int16_t refNum, std::int32_t* count, const void* buffer) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        if (*count < 0) return kErrParameter;
        const std::int64_t end = file->position + *count;
        if (!file->writable || end > kCapacity) {
            *count = 0; // as a descriptor opened for reading, or a full disk
            return file->writable ? kErrDiskFull : kErrIO;
        }
        if (std::size_t(end) > file->bytes->size()) file->bytes->resize(std::size_t(end));
        if (*count > 0) std::memcpy(file->bytes->data() + file->position, buffer, std::size_t(*count));
        file->position = end;
        return kNoErr;
    }
    Status SetPosition(std::int16_t refNum, FilePositionMode mode, std::int64_t offset) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        const std::int64_t size = std::int64_t(file->bytes->size());
        const std::int64_t target = offset + (mode == FilePositionMode::FromCurrent ? file->position
                                              : mode == FilePositionMode::FromEnd  ? size
                                                                                   : 0);
        if (target < 0) return kErrPositionBeforeStart;
        file->position = std::min(target, size);
        return target > size ? kErrEndOfFile : kNoErr;
    }
    Status GetPosition(std::int16_t refNum, std::int64_t* position) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        *position = file->position;
        return kNoErr;
    }
    Status GetEndOfFile(std::int16_t refNum, std::int64_t* length) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        *length = std::int64_t(file->bytes->size());
        return kNoErr;
    }
    Status SetEndOfFile(std::int16_t refNum, std::int64_t length) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        if (length < 0) return kErrParameter;
        if (!file->writable) return kErrIO;
        if (length > kCapacity) return kErrDiskFull;
        file->bytes->resize(std::size_t(length));
        return kNoErr;
    }
    Status Close(std::int16_t refNum) override {
        OpenFile* file = Find(refNum);
        if (!file) return kErrFileNotOpen;
        *file = OpenFile{};
        return kNoErr;
    }
    Status GetInformation(const FSSpec& fileRef, FileInformation* information) override {
        if (files.find(FSSpecFullPath(fileRef)) == files.end()) return kErrFileNotFound;
        information->isDirectory = false;
        information->parentDirectory = fileRef.directory;
        return kNoErr;
    }

  private:
    struct OpenFile {
        std::vector<std::uint8_t>* bytes = nullptr; // null: the slot is free
        std::int64_t position = 0;
        bool writable = false;
    };
    OpenFile* Find(std::int16_t refNum) {
        if (refNum < 1 || std::size_t(refNum) > open.size()) return nullptr;
        OpenFile& file = open[std::size_t(refNum) - 1];
        return file.bytes ? &file : nullptr;
    }

    std::map<std::string, std::vector<std::uint8_t>> files;
    std::vector<OpenFile> open; // refNum n is open[n - 1]
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

void CheckSamples(const double* samples, std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i)
        FuzzCheck(samples[i] >= -1.0 && samples[i] <= 1.0, "sample within full scale");
}

void ReadAllSamples(CSoundFile& file) {
    const std::int32_t frames = file.GetNumSFrames();
    const std::int32_t channels = file.GetNumChannels();
    const std::int32_t chunk = std::max(kBlockSamples / channels, 1);
    std::vector<double> block(std::size_t(chunk) * channels);
    for (std::int32_t pos = 0; pos < frames;) {
        const std::int32_t asked = std::min(chunk, frames - pos);
        std::int32_t count = asked;
        double* out = block.data();
        const Status status = file.Read(pos, &count, &out);
        FuzzCheck(count >= 0 && count <= asked, "interleaved read count");
        CheckSamples(block.data(), std::int64_t(count) * channels);
        if (status != kNoErr || count == 0) break;
        pos += count;
    }

    // The other read forms over the first frames, one channel forms on the last channel.
    const std::int32_t first = std::min(std::min(chunk, kBlockSamples / 2), frames);
    std::vector<double> left(std::size_t(first) + 1), right(std::size_t(first) + 1);
    std::int32_t count = first;
    double* l = left.data();
    double* r = right.data();
    file.Read(std::int16_t(channels - 1), 0, &count, &l);
    FuzzCheck(count >= 0 && count <= first, "one-channel read count");
    CheckSamples(left.data(), count);
    count = first;
    file.Read(0, &count, &l, &r);
    FuzzCheck(count >= 0 && count <= first, "two-channel read count");
    CheckSamples(left.data(), count);
    CheckSamples(right.data(), count);
    std::vector<float> leftFloat(std::size_t(first) + 1), rightFloat(std::size_t(first) + 1);
    count = first;
    file.Read(0, &count, leftFloat.data(), rightFloat.data());
    FuzzCheck(count >= 0 && count <= first, "float read count");
    for (std::int32_t i = 0; i < count; ++i)
        FuzzCheck(std::fabs(leftFloat[std::size_t(i)]) <= 1.0f &&
                      std::fabs(rightFloat[std::size_t(i)]) <= 1.0f,
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
                FuzzCheck(std::fabs(value) <= 1.0, "single sample");
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
        file.GetMarkerByID(marker.id, &byID);
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
    file.GetSamplerInfo(&info);
}

void CheckFormat(CSoundFile& file) {
    FuzzCheck(file.GetNumChannels() >= 1, "at least one channel");
    const std::int16_t bits = file.GetWordSize();
    FuzzCheck(bits == 8 || bits == 16 || bits == 24 || bits == 32, "a word size the buffer holds");
    FuzzCheck(file.GetNumSFrames() >= 0, "frame count");
}

void RunPass(const std::uint8_t* data, std::size_t size, ReaderFactory make, ReaderExtra extra,
             const Pass& pass) {
    MemoryFileServices files;
    FSSpec fileRef;
    FuzzCheck(MakeFSSpec("/fuzz", pass.name, &fileRef), "file reference");
    files.Put(fileRef, data, size);
    FileServicesScope filesScope(files);
    ScopedSharedPreferences preferencesScope(ReaderPreferences(pass.declaredDefaults));

    {
        std::unique_ptr<CSoundFile> probe = make();
        std::int16_t info = 0;
        if (probe->ISoundFile(&fileRef) == kNoErr) probe->GetOfflineInfo(&info);
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
    if (file->IsOpen()) file->Close();
    file.reset();
    FuzzCheck(files.OpenCount() == 0, "the reader closes every reference");
}

} // namespace

void FuzzReader(const std::uint8_t* data, std::size_t size, ReaderFactory make, ReaderExtra extra) {
    for (const Pass& pass : kPasses)
        RunPass(data, size, make, extra, pass);
}
