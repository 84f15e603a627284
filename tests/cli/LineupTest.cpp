// The line-up job's files as a player sees them: which speaker each channel of the file is (the
// film ident's clockwise turns and BLITS's channel ident found in the samples), a set of mono
// files holding the interleaved file channel by channel, the timecode a file is placed at, and
// the options refused before anything is written.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "support/QuillgenProcess.h"
#include "support/SndfileReader.h"
#include "support/TempDir.h"

using namespace quillgen_test;

namespace {

constexpr int kRate = 8000;

std::vector<std::string> Words(const std::string& text) {
    std::istringstream words(text);
    return {std::istream_iterator<std::string>(words), {}};
}

struct Channels {
    std::vector<int> samples;
    int count = 0;
    // Whether channel `c` sounds around `seconds` (a 0.1 s window).
    bool Sounds(int c, double seconds) const {
        const auto from = std::size_t(seconds * kRate) - kRate / 20;
        double peak = 0.0;
        for (std::size_t i = from; i < from + kRate / 10; ++i)
            peak = std::max(
                peak, std::abs(samples[i * std::size_t(count) + std::size_t(c)] / 2147483648.0));
        return peak > 0.01;
    }
    // The channels that sound around `seconds`.
    std::vector<int> Sounding(double seconds) const {
        std::vector<int> sounding;
        for (int c = 0; c < count; ++c)
            if (Sounds(c, seconds)) sounding.push_back(c);
        return sounding;
    }
};

Channels Written(const TempDir& dir, const std::string& args) {
    const Outcome run = RunQuillgen(dir.Path(), args);
    EXPECT_EQ(run.exit, 0) << run.err;
    SF_INFO info{};
    Channels channels;
    channels.samples = SndfileSamples(dir.File(run.out.substr(0, run.out.size() - 1)), &info);
    channels.count = info.channels;
    return channels;
}

struct IdentCase {
    const char* args;
    const char* channels;  // the speakers in the file's channel order
    const char* clockwise; // the ident's turns
};

class FilmIdent : public testing::TestWithParam<IdentCase> {};

// After 3 s on every main channel and 0.5 s of silence, each main speaker sounds alone in its
// clockwise turn of 1 s; LFE sounds throughout. Masked Broadcast WAVE files hold the speakers in
// the mask's order, so the turns move around the file's channels.
TEST_P(FilmIdent, TurnsFollowTheSpeakersClockwise) {
    const IdentCase& c = GetParam();
    TempDir dir;
    const Channels file = Written(dir, std::string("lineup film-ident --rate 8000 --length 1 ") +
                                           c.args + " -o ident");
    const auto speakers = Words(c.channels), turns = Words(c.clockwise);
    ASSERT_EQ(file.count, int(speakers.size()));
    const int lfe = int(std::find(speakers.begin(), speakers.end(), "LFE") - speakers.begin());
    EXPECT_EQ(file.Sounding(1.5).size(), speakers.size());
    EXPECT_EQ(file.Sounding(3.25), std::vector<int>{lfe});
    for (std::size_t k = 0; k < turns.size(); ++k) {
        const std::vector<int> sounding = file.Sounding(3.5 + double(k) + 0.25);
        ASSERT_EQ(sounding.size(), 2u) << "turn " << k;
        const int other = sounding[0] == lfe ? sounding[1] : sounding[0];
        EXPECT_EQ(speakers[std::size_t(other)], turns[k]) << "turn " << k;
        EXPECT_TRUE(file.Sounding(3.5 + double(k) + 0.75) == std::vector<int>{lfe}) << k;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, FilmIdent, testing::Values(
    IdentCase{"--layout 5.1", "L C R Rs Ls LFE", "L C R Rs Ls"},
    IdentCase{"--layout 5.1 --format bwf", "L R C LFE Ls Rs", "L C R Rs Ls"},
    IdentCase{"--layout 7.1-surround --format bwf", "L R C LFE Lrs Rrs Lss Rss",
              "L C R Rss Rrs Lrs Lss"},
    IdentCase{"--layout 7.1.4 --format bwf", "L R C LFE Lrs Rrs Lss Rss Ltf Rtf Ltr Rtr",
              "L C R Rss Rrs Lrs Lss Ltf Rtf Rtr Ltr"},
    IdentCase{"--layout 7.1.4", "L R C LFE Lss Rss Lrs Rrs Ltf Rtf Ltr Rtr",
              "L C R Rss Rrs Lrs Lss Ltf Rtf Rtr Ltr"},
    IdentCase{"--layout 9.1.6 --format bwf",
              "L R C LFE Lss Rss Lrs Rrs Lw Rw Ltf Rtf Ltm Rtm Ltr Rtr",
              "L C R Rw Rss Rrs Lrs Lss Lw Ltf Rtf Rtm Rtr Ltr Ltm"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });
// clang-format on

// BLITS's channel ident sounds L R C LFE Ls Rs in turn, 0.8 s apart; split into one file per
// speaker, each file holds its channel of the interleaved file sample for sample.
TEST(Blits, ChannelIdentInOrderAndTheSplitSetHoldsTheSameChannels) {
    TempDir dir;
    const Channels file = Written(dir, "lineup blits --rate 8000 --length 1 -o blits");
    ASSERT_EQ(file.count, 6);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(file.Sounding(0.8 * k + 0.3), std::vector<int>{k}) << k;
    const Outcome split =
        RunQuillgen(dir.Path(), "lineup blits --rate 8000 --length 1 --split -o set");
    ASSERT_EQ(split.exit, 0) << split.err;
    const auto speakers = Words("L R C LFE Ls Rs");
    for (std::size_t c = 0; c < speakers.size(); ++c) {
        SF_INFO info{};
        const std::vector<int> mono =
            SndfileSamples(dir.File("set/set." + speakers[c] + ".aif"), &info);
        ASSERT_EQ(mono.size() * 6, file.samples.size()) << speakers[c];
        bool same = true;
        for (std::size_t i = 0; i < mono.size() && same; ++i)
            same = mono[i] == file.samples[i * 6 + c];
        EXPECT_TRUE(same) << speakers[c];
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("set")), {}), 6);
}

struct TimecodeCase {
    const char* args;
    std::uint64_t reference; // frames since midnight
};

class Timecode : public testing::TestWithParam<TimecodeCase> {};

// A non-drop timecode counts pictures; at 23.976 and 29.97 each lasts 1001/24000 and 1001/30000 s.
// A day at 192 kHz passes 2^32 frames: the reference is 64 bits wide.
TEST_P(Timecode, PlacesTheFileAtItsFrameSinceMidnight) {
    TempDir dir;
    const Outcome run =
        RunQuillgen(dir.Path(), std::string("lineup pop --format bwf -o pop ") + GetParam().args);
    ASSERT_EQ(run.exit, 0) << run.err;
    const Outcome info = RunQuillgen(dir.Path(), "info pop.wav");
    EXPECT_NE(info.out.find("time reference " + std::to_string(GetParam().reference) + "\n"),
              std::string::npos)
        << info.out;
    EXPECT_NE(info.out.find("\"Sync pop\""), std::string::npos) << info.out;
}

INSTANTIATE_TEST_SUITE_P(
    Rates, Timecode,
    testing::Values(TimecodeCase{"--fps 29.97 --timecode 00:59:58:00", 172876704},
                    TimecodeCase{"--fps 23.976 --timecode 01:00:00:00", 172972800},
                    TimecodeCase{"--fps 25 --timecode 10:00:00:00", 1728000000},
                    TimecodeCase{"--fps 24 --timecode 23:59:59:23 --rate 192000", 16588792000}));

struct RefusedCase {
    const char* args;
    const char* says;
};

class RefusedLineup : public testing::TestWithParam<RefusedCase> {};

// Refused with a usage error that says why, before anything is written.
TEST_P(RefusedLineup, SaysWhyAndWritesNothing) {
    TempDir dir;
    const Outcome run = RunQuillgen(dir.Path(), std::string("lineup ") + GetParam().args);
    EXPECT_EQ(run.exit, 2);
    EXPECT_NE(run.err.find(GetParam().says), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedLineup,
    testing::Values(RefusedCase{"blits --layout 5.1", "blits has channels of its own"},
                    RefusedCase{"pop --timecode 00:59:58:00", "an AIFF file has no time reference"},
                    RefusedCase{"pop --format bwf --timecode 24:00:00:00", "is not a timecode"},
                    RefusedCase{"pop --format bwf --fps 24 --timecode 00:00:00:24",
                                "is not a timecode"},
                    RefusedCase{"r68 --length 1e9", "--length 1e+09 is out of range"},
                    RefusedCase{"tone-burst", "tone-burst not in"}));

} // namespace
