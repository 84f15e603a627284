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

Bytes Int(std::uint64_t v, int n, bool bigEndian = false) {
    Bytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(std::uint8_t(v >> (8 * (bigEndian ? n - 1 - i : i))));
    return b;
}
void Append(Bytes& b, std::initializer_list<Bytes> parts) {
    for (const Bytes& p : parts)
        b.insert(b.end(), p.begin(), p.end());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    Append(b, parts);
    return b;
}
Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
// A chunk: ID, size in the container's byte order, data, pad byte.
Bytes Chunk(const std::string& id, const Bytes& data, bool bigEndian = false) {
    return Cat({Text(id), Int(data.size(), 4, bigEndian), data, Bytes(data.size() % 2, 0)});
}
Bytes Container(const char* id, const char* form, const std::vector<Bytes>& chunks,
                bool bigEndian) {
    Bytes body = Text(form);
    for (const Bytes& c : chunks)
        Append(body, {c});
    return Chunk(id, body, bigEndian);
}

// A WAVE file: `frames` frames, then the given chunks; with a bext chunk first when `broadcast`.
Bytes Wave(const std::vector<Bytes>& extra, std::uint32_t frames = 1000, bool broadcast = false,
           std::uint32_t channels = 1, std::uint32_t bits = 16) {
    std::vector<Bytes> chunks;
    if (broadcast) chunks.push_back(Chunk("bext", Bytes(602, 0)));
    chunks.push_back(Chunk("fmt ", Cat({Int(1, 2), Int(channels, 2), Int(44100, 4),
                                        Int(44100 * channels * bits / 8, 4),
                                        Int(channels * bits / 8, 2), Int(bits, 2)})));
    chunks.push_back(Chunk("data", Bytes(std::size_t(frames) * channels * bits / 8, 0)));
    chunks.insert(chunks.end(), extra.begin(), extra.end());
    return Container("RIFF", "WAVE", chunks, false);
}

// Cue points 0 .. n-1 at frame `position(i)`, and an adtl list of one sub-chunk per point:
// a label "m<i>", or a region of one frame.
std::vector<Bytes> CuesAndList(int n, const std::function<std::uint32_t(int)>& position,
                               bool regions) {
    Bytes cue = Int(std::uint32_t(n), 4), adtl = Text("adtl");
    for (int i = 0; i < n; ++i) {
        const Bytes id = Int(std::uint32_t(i), 4), at = Int(position(i), 4);
        Append(cue, {id, at, Text("data"), Int(0, 8), at});
        Append(adtl,
               {regions ? Chunk("ltxt", Cat({id, Int(1, 4), Text("rgn "), Int(0, 8)}))
                        : Chunk("labl", Cat({id, Bytes{'m'}, Text(std::to_string(i)), Bytes{0}}))});
    }
    return {Chunk("cue ", cue), Chunk("LIST", adtl)};
}

// A regn chunk of n regions: start, end and name of each.
struct RegnRecord {
    std::uint32_t start, end;
    std::string name;
};
Bytes Regn(int n, const std::function<RegnRecord(int)>& region) {
    Bytes r = Int(std::uint32_t(n), 4);
    for (int i = 0; i < n; ++i) {
        const RegnRecord rec = region(i);
        for (std::uint64_t v : {0u, 0u, rec.start, rec.end, rec.start, 0u, 0u})
            Append(r, {Int(v, 8)});
        Bytes name = Cat({Int(rec.name.size(), 1), Text(rec.name)});
        name.resize(32);
        Append(r, {name});
    }
    return Chunk("regn", r);
}

// An AIFF file with the given common chunk fields, MARK records and SSND data bytes.
Bytes Aiff(std::uint32_t channels, std::uint32_t frames, std::uint32_t bits,
           const std::vector<std::pair<std::int16_t, std::string>>& markers, std::size_t data) {
    const Bytes comm = Cat({Int(channels, 2, true), Int(frames, 4, true), Int(bits, 2, true),
                            Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}});
    std::vector<Bytes> chunks{Chunk("COMM", comm, true)};
    if (!markers.empty()) {
        Bytes mark = Int(markers.size(), 2, true);
        for (const auto& [id, name] : markers)
            Append(mark, {Int(std::uint16_t(id), 2, true), Int(0, 4, true), Int(name.size(), 1),
                          Text(name), Bytes(1 - name.size() % 2, 0)});
        chunks.push_back(Chunk("MARK", mark, true));
    }
    chunks.push_back(Chunk("SSND", Bytes(8 + data, 0), true));
    return Container("FORM", "AIFF", chunks, true);
}

constexpr int kMany = 30000;

std::uint32_t InOrder(int i) {
    return std::uint32_t(i);
}
// Regions given in an order that puts each in the middle of the list.
std::uint32_t OutOfOrder(int i) {
    return i ? std::uint32_t(i % 998) : 999u;
}
RegnRecord SameNames(int i) {
    return {0, std::uint32_t(i % 7), "Same"};
}
RegnRecord BadNames(int i) {
    return {std::uint32_t(i % 9), 9, std::string("a:").append(std::to_string(i % 5))};
}
// Every name the duplicates could be numbered with is taken: the numbers never run out (the
// numbered names are cut from a long prefix, so they repeat beyond two digits).
RegnRecord TakenNumbers(int i) {
    const std::string prefix(28, 'p');
    return {std::uint32_t(i), 300,
            prefix + (i < 98 ? std::string("#").append(std::to_string(i + 2)) : "dup")};
}
// Marker IDs that each land in the middle of the list or clash with one listed.
Bytes InterleavedMarkerIDs() {
    std::vector<std::pair<std::int16_t, std::string>> markers;
    for (int i = 0; i < 32000; ++i)
        markers.emplace_back(std::int16_t(i < 16000 ? 2 * i : 15999), "x");
    return Aiff(1, 100, 16, markers, 200);
}

struct Hostile {
    const char* name;
    std::function<Bytes()> bytes;
    std::size_t items; // markers + regions the file holds, for the bound on list work
};

const Hostile kHostile[] = {
    {"channels_wave", [] { return Wave({}, 0, false, 27650, 32); }, 0},
    {"channels_aiff", [] { return Aiff(32767, 16000, 32, {}, 0); }, 0},
    {"cue_labels", [] { return Wave(CuesAndList(kMany, InOrder, false)); }, kMany},
    {"regions_out_of_order", [] { return Wave(CuesAndList(kMany, OutOfOrder, true)); }, kMany},
    {"same_region_names", [] { return Wave({Regn(kMany, SameNames)}, 10, true); }, kMany},
    {"bad_region_names", [] { return Wave({Regn(kMany, BadNames)}, 10, true); }, kMany},
    {"numbered_names_taken", [] { return Wave({Regn(200, TakenNumbers)}, 300, true); }, 200},
    {"marker_ids_interleaved", InterleavedMarkerIDs, 32000},
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
        for (std::int16_t i = 0; i < file->GetNumMarkers(); ++i)
            file->GetIndMarker(i, &marker);
        for (std::int16_t i = 0; i < file->GetNumRegions(); ++i)
            file->GetIndRegion(i, &region);
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
