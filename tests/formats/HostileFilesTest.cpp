// Files whose headers declare far more than they hold: opening one and reading all of it ends
// in a status, asks for little memory, and walks the marker and region lists a number of times
// in proportion to what the file holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "formats/OpenSoundFile.h"
#include "soundfile/Memory.h"
#include "support/FormatsTestSupport.h"

namespace {

void Put(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }
void PutInt(Bytes& b, std::uint64_t v, int n, bool bigEndian = false) {
    for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * (bigEndian ? n - 1 - i : i))));
}
// A chunk: ID, size in the container's byte order, data, pad byte.
Bytes Chunk(const std::string& id, const Bytes& data, bool bigEndian = false) {
    Bytes b;
    Put(b, id);
    PutInt(b, data.size(), 4, bigEndian);
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2) b.push_back(0);
    return b;
}
Bytes Container(const std::string& id, const std::string& form, const std::vector<Bytes>& chunks,
                bool bigEndian) {
    Bytes body;
    Put(body, form);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk(id, body, bigEndian);
}

// A WAVE file: `frames` frames, then the given chunks; with a bext chunk first when `broadcast`.
Bytes Wave(const std::vector<Bytes>& extra, std::uint32_t frames = 1000, bool broadcast = false,
           std::uint32_t channels = 1, std::uint32_t bits = 16) {
    std::vector<Bytes> chunks;
    if (broadcast) chunks.push_back(Chunk("bext", Bytes(602, 0)));
    Bytes fmt;
    for (auto [v, n] : {std::pair<std::uint64_t, int>{1, 2}, {channels, 2}, {44100, 4},
                        {44100 * channels * bits / 8, 4}, {channels * bits / 8, 2}, {bits, 2}})
        PutInt(fmt, v, n);
    chunks.push_back(Chunk("fmt ", fmt));
    chunks.push_back(Chunk("data", Bytes(std::size_t(frames) * channels * bits / 8, 0)));
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    return Container("RIFF", "WAVE", chunks, false);
}

// Cue points 0 .. n-1 at frame `position(i)`, and an adtl list of one sub-chunk per point.
std::vector<Bytes> CuesAndList(int n, const std::function<std::uint32_t(int)>& position,
                               const std::function<Bytes(int)>& sub) {
    Bytes cue, adtl;
    PutInt(cue, std::uint32_t(n), 4);
    Put(adtl, "adtl");
    for (int i = 0; i < n; ++i) {
        PutInt(cue, std::uint32_t(i), 4);
        PutInt(cue, position(i), 4);
        Put(cue, "data");
        PutInt(cue, 0, 8);
        PutInt(cue, position(i), 4);
        const Bytes s = sub(i);
        adtl.insert(adtl.end(), s.begin(), s.end());
    }
    return {Chunk("cue ", cue), Chunk("LIST", adtl)};
}
Bytes Label(int i) {
    Bytes b;
    PutInt(b, std::uint32_t(i), 4);
    Put(b, "m" + std::to_string(i) + '\0');
    return Chunk("labl", b);
}
Bytes Ltxt(int i) {
    Bytes b;
    PutInt(b, std::uint32_t(i), 4);
    PutInt(b, 1, 4);
    Put(b, "rgn ");
    PutInt(b, 0, 8);
    return Chunk("ltxt", b);
}

// A regn chunk of n regions: start, end and name of each.
struct RegnRecord {
    std::uint32_t start, end;
    std::string name;
};
Bytes Regn(int n, const std::function<RegnRecord(int)>& region) {
    Bytes r;
    PutInt(r, std::uint32_t(n), 4);
    for (int i = 0; i < n; ++i) {
        const RegnRecord rec = region(i);
        for (std::uint64_t v : {0u, 0u, rec.start, rec.end, rec.start, 0u, 0u}) PutInt(r, v, 8);
        Bytes name(32, 0);
        name[0] = std::uint8_t(rec.name.size());
        std::copy(rec.name.begin(), rec.name.end(), name.begin() + 1);
        r.insert(r.end(), name.begin(), name.end());
    }
    return Chunk("regn", r);
}

// An AIFF file with the given common chunk fields, MARK records and SSND data bytes.
Bytes Aiff(std::uint32_t channels, std::uint32_t frames, std::uint32_t bits,
           const std::vector<std::pair<std::int16_t, std::string>>& markers, std::size_t data) {
    Bytes comm;
    PutInt(comm, channels, 2, true);
    PutInt(comm, frames, 4, true);
    PutInt(comm, bits, 2, true);
    comm.insert(comm.end(), {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0});
    std::vector<Bytes> chunks{Chunk("COMM", comm, true)};
    if (!markers.empty()) {
        Bytes mark;
        PutInt(mark, markers.size(), 2, true);
        for (const auto& [id, name] : markers) {
            PutInt(mark, std::uint16_t(id), 2, true);
            PutInt(mark, 0, 4, true);
            mark.push_back(std::uint8_t(name.size()));
            Put(mark, name);
            if (name.size() % 2 == 0) mark.push_back(0);
        }
        chunks.push_back(Chunk("MARK", mark, true));
    }
    chunks.push_back(Chunk("SSND", Bytes(8 + data, 0), true));
    return Container("FORM", "AIFF", chunks, true);
}

constexpr int kMany = 30000;
const std::string kPrefix(28, 'p'); // numbered names cut from it repeat beyond two digits

struct Hostile {
    const char* name;
    std::function<Bytes()> bytes;
    std::size_t items; // markers + regions the file holds, for the bound on list work
};

const Hostile kHostile[] = {
    {"channels_wave", [] { return Wave({}, 0, false, 27650, 32); }, 0},
    {"channels_aiff", [] { return Aiff(32767, 16000, 32, {}, 0); }, 0},
    {"cue_labels", [] { return Wave(CuesAndList(kMany, [](int i) { return i; }, Label)); }, kMany},
    // Regions given in an order that puts each in the middle of the list.
    {"regions_out_of_order",
     [] { return Wave(CuesAndList(kMany, [](int i) { return i == 0 ? 999u : std::uint32_t(i % 998); }, Ltxt)); },
     kMany},
    {"same_region_names",
     [] { return Wave({Regn(kMany, [](int i) { return RegnRecord{0, std::uint32_t(i % 7), "Same"}; })}, 10, true); },
     kMany},
    {"bad_region_names",
     [] {
         return Wave({Regn(kMany, [](int i) { return RegnRecord{std::uint32_t(i % 9), 9, "a:" + std::to_string(i % 5)}; })},
                     10, true);
     },
     kMany},
    // Every name the duplicates could be numbered with is taken: the numbers never run out.
    {"numbered_names_taken",
     [] {
         return Wave({Regn(200,
                           [](int i) {
                               return RegnRecord{std::uint32_t(i), 300,
                                                 i < 98 ? kPrefix + "#" + std::to_string(i + 2) : kPrefix + "dup"};
                           })},
                     300, true);
     },
     200},
    // Marker IDs that each land in the middle of the list or clash with one listed.
    {"marker_ids_interleaved",
     [] {
         std::vector<std::pair<std::int16_t, std::string>> markers;
         for (int i = 0; i < 32000; ++i) markers.emplace_back(std::int16_t(i < 16000 ? 2 * i : 15999), "x");
         return Aiff(1, 100, 16, markers, 200);
     },
     32000},
};

class HostileFiles : public ::testing::TestWithParam<Hostile> {
protected:
    void TearDown() override { SetAllocationHook({}); }
    ReaderPreferences preferences;
    TempDir dir;
};

TEST_P(HostileFiles, CostFollowsWhatTheFileHolds) {
    const Hostile& c = GetParam();
    const std::string name = std::string(c.name) + ".snd";
    ASSERT_TRUE(WriteFileBytes(dir.File(name), c.bytes()));
    std::size_t largest = 0;
    SetAllocationHook([&](std::size_t size) {
        largest = std::max(largest, size);
        return false;
    });
    const std::uint64_t stepsBefore = CList::LinkSteps();
    std::unique_ptr<CSoundFile> file;
    Status status = OpenSoundFile(dir.Spec(name), &file);
    if (status == kNoErr) {
        // Everything a caller may then do: list every item by index, read every sample.
        SFTMarker marker;
        SFTRegion region;
        for (std::int16_t i = 0; i < file->GetNumMarkers(); ++i) file->GetIndMarker(i, &marker);
        for (std::int16_t i = 0; i < file->GetNumRegions(); ++i) file->GetIndRegion(i, &region);
        std::vector<double> block(std::size_t(file->GetNumChannels()) * 16);
        double* samples = block.data();
        std::int32_t start = 0;
        do {
            std::int32_t count = 16;
            status = file->Read(start, &count, &samples);
            start += std::max(count, 1);
        } while (status == kNoErr && start < file->GetNumSFrames());
    }
    EXPECT_TRUE(status == kNoErr || status == kErrEndOfFile) << status;
    EXPECT_LT(largest, std::size_t(4) << 20);
    EXPECT_LT(CList::LinkSteps() - stepsBefore, 40 * c.items + 1000);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileFiles, ::testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
