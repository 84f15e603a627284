// The phase and channel check, heard back through voices told apart by their lengths: which
// sample went into which speaker's file, in which polarity, and whether the files stay in step.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "jobs/JobProgress.h"
#include "jobs/PhaseCheck.h"
#include "jobs/SaveOptions.h"
#include "soundfile/ByteOrder.h"
#include "support/JobsTestSupport.h"
#include "support/TempDir.h"

namespace {

using Words = std::vector<std::string>;
constexpr double kRate = 48000.0;
constexpr std::int32_t kSilenceFrames = 480;

// The shipped table: one voice per speaker for L, C, R, Ls, Rs and LFE, two for the others.
const auto kSpeakers =
    nlohmann::json::parse(std::ifstream(std::string(QUILL_SOURCE_RESOURCES) + "/speakers.json"));

// What sounds at one moment: "speaker:sample" ("-" before an inverted one) for every file
// that plays then.
std::string Moment(const std::set<std::string>& parts) {
    std::string moment;
    for (const auto& part : parts)
        moment += (moment.empty() ? "" : " ") + part;
    return moment;
}

struct LayoutCase {
    std::int32_t channelSetup;
    const char* title;
    const char* speakers; // in file order
    bool announce;
    int repeats;
    const char* rings = nullptr; // closed rings of an immersive layout, "|" between rings
};

// The pairs a listener expects: an immersive layout's rings, each closed (a ring of two both
// ways); otherwise neighbours among the speakers but LFE and the back surrounds, in a ring up to
// four speakers.
std::vector<std::pair<std::string, std::string>> ExpectedPairs(const LayoutCase& layout) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (layout.rings != nullptr) {
        std::string rings = layout.rings;
        for (std::size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
            bar = rings.find('|', start);
            const Words ring = Split(rings.substr(start, bar - start));
            for (std::size_t i = 0; i < ring.size(); ++i)
                pairs.emplace_back(ring[i], ring[(i + 1) % ring.size()]);
        }
        return pairs;
    }
    Words ring;
    for (const auto& speaker : Split(layout.speakers))
        if (speaker != "LFE" && speaker != "LSB" && speaker != "RSB") ring.push_back(speaker);
    for (std::size_t i = 0; i + (ring.size() > 4 ? 1 : 0) < ring.size(); ++i)
        pairs.emplace_back(ring[i], ring[(i + 1) % ring.size()]);
    return pairs;
}

// The moments a listener expects, "pause" for the set's silence between them.
Words ExpectedMoments(const LayoutCase& layout) {
    Words moments;
    auto everyone = [&](const std::string& sample) {
        std::set<std::string> parts;
        for (const auto& speaker : Split(layout.speakers))
            parts.insert(speaker + ":" + sample);
        moments.insert(moments.end(), {Moment(parts), "pause"});
    };
    auto name = [&](const std::string& speaker) {
        for (const auto& sample : kSpeakers.at(speaker))
            moments.push_back(speaker + ":" + sample.get<std::string>());
        moments.push_back("pause");
    };
    everyone(kPhaseCheckOpening);
    if (layout.announce)
        for (const auto& speaker : Split(layout.speakers))
            name(speaker);
    for (const auto& [a, b] : ExpectedPairs(layout)) {
        name(a);
        name(b);
        for (int k = 0; k < layout.repeats; ++k)
            moments.insert(moments.end(),
                           {Moment({a + ":" + kInPhaseNoise, b + ":" + kInPhaseNoise}), "pause",
                            Moment({a + ":" + kOutOfPhaseNoise, b + ":-" + kOutOfPhaseNoise}),
                            "pause"});
    }
    everyone(kPhaseCheckClosing);
    moments.pop_back(); // nothing follows the closing
    return moments;
}

class PhaseCheckSequence : public testing::TestWithParam<LayoutCase> {};

// The set in AIFF files with every file's bursts merged by the frame they start at: "gap of
// <frames>" where the set's silence is not kept, and every file as long as the others.
TEST_P(PhaseCheckSequence, EveryFileHoldsItsPartInStep) {
    const LayoutCase& layout = GetParam();
    TempDir folder;
    BurstVoices voices(folder.Path(), std::string(kPhaseCheckOpening) + " " + kPhaseCheckClosing +
                                          " " + kInPhaseNoise + " " + kOutOfPhaseNoise +
                                          " Left Right Center LeftSurround RightSurround LFE "
                                          "Mono Surround Wide High SurroundBack Side Rear Top "
                                          "Front Middle");
    Settings settings;
    settings.setSampleRate(kRate);
    settings.setSilence(kSilenceFrames / kRate);
    settings.setChannelSetup(layout.channelSetup);
    settings.setAnnounce(layout.announce);
    settings.setNumRepeats(layout.repeats);
    SaveOptions options;
    options.setOutputType(kOutputPhaseCheck);
    JobProgress progress;
    Announcer announcer(settings, options, progress, voices.Lookup());
    PhaseCheck job(
        settings, progress, announcer, kSpeakers, PhaseCheckFileName(kRate, 16, layout.title),
        [](const std::string& base, const std::string& speaker, const std::string& dir) {
            return TxSoundFile::initWithType(byteorder::FourCC("AIFF"),
                                             dir + "/" + base + "." + speaker + ".aif", 1, 16,
                                             float(kRate), true, nullptr);
        },
        [](auto&&...) {}, [](const std::string& reason) { ADD_FAILURE() << "alert: " << reason; });
    job.makePhaseCheckFiles(folder.File("set"));
    EXPECT_FALSE(progress.error);
    EXPECT_EQ(progress.Poll(), 1.0);

    std::map<std::int32_t, std::pair<std::set<std::string>, std::int32_t>> byStart;
    std::set<std::size_t> lengths;
    for (const auto& speaker : Split(layout.speakers)) {
        auto samples = ReadWithLibsndfile(folder.File(std::string("set/48k_16b_PhaseChk.") +
                                                      layout.title + "." + speaker + ".aif"))
                           .samples;
        lengths.insert(samples.size());
        for (const auto& sample : voices.Listen(samples)) {
            auto& [parts, frames] = byStart[sample.start];
            parts.insert(speaker + ":" + (sample.inverted ? "-" : "") + sample.name);
            frames = std::max(frames, sample.frames);
        }
    }
    Words moments;
    for (std::int32_t end = 0; auto& [start, entry] : byStart) {
        if (start - end == kSilenceFrames)
            moments.push_back("pause");
        else if (!moments.empty() && start != end)
            moments.push_back("gap of " + std::to_string(start - end));
        moments.push_back(Moment(entry.first));
        end = start + entry.second;
    }
    EXPECT_EQ(moments, ExpectedMoments(layout));
    EXPECT_EQ(lengths.size(), 1u) << "the files end on different frames";
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, PhaseCheckSequence, testing::Values(
    LayoutCase{0, "Stereo", "L R", true, 1},
    LayoutCase{1, "Quad", "L R Rs Ls", true, 1},
    LayoutCase{2, "LCRS", "L C R S", true, 1},
    LayoutCase{3, "5.1", "L C R Rs Ls LFE", true, 1},
    LayoutCase{4, "6.1", "L C R Rs Cs Ls LFE", true, 1},
    LayoutCase{5, "7.1", "L Lc C Rc R Rs Ls LFE", true, 1},
    LayoutCase{6, "10.2", "Lh Lw L C R Rw Rh Rs Cs Ls LSB RSB", true, 1},
    LayoutCase{0, "Stereo", "L R", false, 3},
    LayoutCase{7, "7.1-Surround", "L R C LFE Lss Rss Lrs Rrs", true, 1, "L C R Rss Rrs Lrs Lss"},
    LayoutCase{8, "5.1.2", "L R C LFE Ls Rs Ltm Rtm", true, 1, "L C R Rs Ls|Ltm Rtm"},
    LayoutCase{9, "5.1.4", "L R C LFE Ls Rs Ltf Rtf Ltr Rtr", true, 1, "L C R Rs Ls|Ltf Rtf Rtr Ltr"},
    LayoutCase{10, "7.1.2", "L R C LFE Lss Rss Lrs Rrs Ltm Rtm", true, 1, "L C R Rss Rrs Lrs Lss|Ltm Rtm"},
    LayoutCase{11, "7.1.4", "L R C LFE Lss Rss Lrs Rrs Ltf Rtf Ltr Rtr", true, 1,
               "L C R Rss Rrs Lrs Lss|Ltf Rtf Rtr Ltr"},
    LayoutCase{12, "9.1.6", "L R C LFE Lss Rss Lrs Rrs Lw Rw Ltf Rtf Ltm Rtm Ltr Rtr", true, 1,
               "L C R Rw Rss Rrs Lrs Lss Lw|Ltf Rtf Rtm Rtr Ltr Ltm"}),
    [](const auto& info) {
        return "setup" + std::to_string(info.param.channelSetup) + (info.param.announce ? "" : "_noNames_3repeats");
    });
// clang-format on

} // namespace
