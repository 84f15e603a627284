// quillgen tone | full-sweep | sweep end to end: the files are read back with libsndfile and
// with Python's aifc / a RIFF chunk walk, tools that share no code with the writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "QuillgenProcess.h"
#include "synth/Levels.h"

namespace fs = std::filesystem;
using namespace quillgen_test;
using testing::HasSubstr;

namespace {

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "quillgen-test-XXXXXX").string();
        path = mkdtemp(pattern.data());
        fs::create_directory(path / "out");
    }
    ~ScratchDir() { fs::remove_all(path); }
    fs::path out() const { return path / "out"; }
    fs::path path;
};

struct RunResult {
    int exit = -1;
    std::string out, err;
};

// Starts quillgen in `scratch.out()`. These tests look at the signal alone, so the spoken
// announcement (on by default) is turned off unless `withDefaults` asks for the program's own
// defaults.
pid_t Start(const ScratchDir& scratch, std::vector<std::string> args, bool withDefaults = false) {
    if (!args.empty() && args[0] != "info" && !withDefaults) args.push_back("--no-announce");
    return StartQuillgen(scratch.out(), scratch.path, args);
}

RunResult Finish(const ScratchDir& scratch, pid_t pid) {
    RunResult run;
    run.exit = WaitQuillgen(pid, scratch.path, run.out, run.err);
    return run;
}

RunResult Quillgen(const ScratchDir& scratch, const std::vector<std::string>& args,
                   bool withDefaults = false) {
    return Finish(scratch, Start(scratch, args, withDefaults));
}

// What Python sees in a file: frames, rate, bits, markers (position, name), bext present.
const char* kPythonReader = R"(
import json, struct, sys, warnings
warnings.simplefilter('ignore')
path = sys.argv[1]
if path.endswith('.aif'):
    import aifc
    f = aifc.open(path, 'rb')
    out = dict(frames=f.getnframes(), rate=f.getframerate(), bits=f.getsampwidth() * 8,
               channels=f.getnchannels(),
               markers=sorted([m[1], m[2].decode('mac_roman')] for m in (f.getmarkers() or [])))
else:
    import wave
    f = wave.open(path, 'rb')
    out = dict(frames=f.getnframes(), rate=f.getframerate(), bits=f.getsampwidth() * 8,
               channels=f.getnchannels(), bext=False)
    data = open(path, 'rb').read()
    cues, labels, pos = {}, {}, 12
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b'cue ':
            for i in range(struct.unpack('<I', body[:4])[0]):
                ident, _, _, _, _, offset = struct.unpack('<II4sIII', body[4 + 24 * i:28 + 24 * i])
                cues[ident] = offset
        elif cid == b'LIST' and body[:4] == b'adtl':
            p = 4
            while p + 8 <= len(body):
                sid, ssz = body[p:p + 4], struct.unpack('<I', body[p + 4:p + 8])[0]
                if sid == b'labl':
                    ident = struct.unpack('<I', body[p + 8:p + 12])[0]
                    labels[ident] = body[p + 12:p + 8 + ssz].split(b'\0')[0].decode('latin-1')
                p += 8 + ssz + (ssz & 1)
        elif cid == b'bext':
            out['bext'] = True
        pos += 8 + size + (size & 1)
    out['markers'] = sorted([cues[i], labels.get(i, '')] for i in cues)
print(json.dumps(out))
)";

nlohmann::json PythonView(const ScratchDir& scratch, const fs::path& file) {
    std::ofstream(scratch.path / "reader.py") << kPythonReader;
    std::string command = std::string(PYTHON3_PATH) + " '" + (scratch.path / "reader.py").string() +
                          "' '" + file.string() + "' > '" + (scratch.path / "view.json").string() +
                          "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return nlohmann::json::parse(ReadText(scratch.path / "view.json"));
}

struct SndView {
    SF_INFO info{};
    std::vector<double> samples;
};

SndView LibsndfileView(const fs::path& file) {
    SndView view;
    SNDFILE* f = sf_open(file.c_str(), SFM_READ, &view.info);
    EXPECT_NE(f, nullptr) << sf_strerror(nullptr);
    if (!f) return view;
    view.samples.resize(static_cast<std::size_t>(view.info.frames * view.info.channels));
    sf_readf_double(f, view.samples.data(), view.info.frames);
    sf_close(f);
    return view;
}

std::string Name(double freq, double level) {
    char name[64] = {0};
    FreqWithAmpsprintf(name, freq, level);
    return name;
}

} // namespace

struct WrittenCase {
    std::vector<std::string> args;
    std::string fileName;
    int rate;
    std::int64_t frames;
    int bits;
    std::string firstMarker, lastMarker;
    double freqFrom, levelFrom, freqTo, levelTo;
    bool sweep;
};

class Written : public testing::TestWithParam<WrittenCase> {};

TEST_P(Written, FileReadsBackAlikeInIndependentReaders) {
    const WrittenCase& c = GetParam();
    ScratchDir scratch;
    RunResult run = Quillgen(scratch, c.args);
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, c.fileName + "\n");
    EXPECT_THAT(Entries(scratch.out()), testing::ElementsAre(c.fileName));
    fs::path file = scratch.out() / c.fileName;

    nlohmann::json py = PythonView(scratch, file);
    EXPECT_EQ(py["frames"], c.frames);
    EXPECT_EQ(py["rate"], c.rate);
    EXPECT_EQ(py["bits"], c.bits);
    EXPECT_EQ(py["channels"], 1);
    if (py.contains("bext")) {
        EXPECT_TRUE(py["bext"].get<bool>());
    }
    auto markers = py["markers"];
    ASSERT_GE(markers.size(), 2u);
    EXPECT_THAT(markers, testing::Contains(nlohmann::json::array({0, c.firstMarker})));
    EXPECT_EQ(markers.back(), nlohmann::json::array({c.frames, c.lastMarker}));
    EXPECT_EQ(markers.front()[0], 0);
    if (c.sweep)
        EXPECT_GT(markers.size(), 2u);
    else
        EXPECT_EQ(markers.size(), 2u);

    SndView snd = LibsndfileView(file);
    EXPECT_EQ(snd.info.frames, c.frames);
    EXPECT_EQ(snd.info.samplerate, c.rate);
    // From phase 0, the frequency moves exponentially and the level linearly in dB.
    double amplitude = std::pow(10.0, c.levelFrom / 20.0);
    double quantum = std::ldexp(1.0, 1 - c.bits);
    double frames = static_cast<double>(c.frames);
    double frequencyRatio = std::pow(c.freqTo / c.freqFrom, 1.0 / frames);
    double levelRatio = std::pow(std::pow(10.0, (c.levelTo - c.levelFrom) / 20.0), 1.0 / frames);
    ASSERT_EQ(snd.samples.size(), static_cast<std::size_t>(c.frames));
    double phase = 0.0, increment = 2.0 * M_PI * c.freqFrom / c.rate;
    for (std::int64_t n = 0; n < c.frames; ++n) {
        if (n < 2000 || n % 997 == 0) {
            ASSERT_NEAR(snd.samples[n], amplitude * std::sin(phase), 2 * quantum + 1e-6)
                << "frame " << n;
        }
        phase += increment;
        increment *= frequencyRatio;
        amplitude *= levelRatio;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, Written,
    testing::Values(
        WrittenCase{{"tone", "--quiet"}, "VivuZira 1000 Hz, -10.00 dB, 10 sec.aif", 44100, 441000,
                    16, Name(1000, -10), Name(1000, -10), 1000, -10, 1000, -10, false},
        WrittenCase{{"tone", "--format", "bwf", "--bits", "24", "--freq", "440", "--level", "0",
                     "--length", "2", "--rate", "96000"},
                    "VivuZira 440 Hz,  0.00 dB, 2 sec.wav", 96000, 192000, 24, Name(440, 0),
                    Name(440, 0), 440, 0, 440, 0, false},
        WrittenCase{{"full-sweep"}, "Full Sweep -20.00 dB, 48.0 kHz, 30 sec.aif", 48000, 1440000,
                    16, Name(5, -20), Name(24000, -20), 5, -20, 24000, -20, true},
        WrittenCase{{"sweep", "--quiet"}, "Custom Sweep 20-20000 Hz in 15 sec.aif", 48000, 720000,
                    16, Name(20, -20), Name(20000, -20), 20, -20, 20000, -20, true},
        WrittenCase{{"sweep", "--format", "bwf", "--from", "10000", "--to", "100", "--from-level",
                     "-6", "--to-level", "-30", "--length", "3", "--rate", "44100"},
                    "Custom Sweep 10000-100 Hz in 3 sec.wav", 44100, 132300, 16, Name(10000, -6),
                    Name(100, -30), 10000, -6, 100, -30, true}));

struct OutputCase {
    std::vector<std::string> args;
    std::string written; // relative to the output folder; empty: refused as a usage error
    const char* magic;   // what the file starts with: "FORM" for AIFF, "RIFF" for WAVE
};
class OutputPath : public testing::TestWithParam<OutputCase> {};
TEST_P(OutputPath, FollowsTheExtensionFormatAndFolder) {
    const OutputCase& c = GetParam();
    ScratchDir scratch;
    fs::create_directory(scratch.out() / "sub");
    fs::create_directory(scratch.out() / "dir.wav");
    std::vector<std::string> args{"tone", "--length", "0.1", "--quiet"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult run = Quillgen(scratch, args);
    if (c.written.empty()) {
        EXPECT_EQ(run.exit, 2);
        EXPECT_THAT(run.err, HasSubstr(c.args[1])); // names both -o and --format
        EXPECT_THAT(run.err, HasSubstr("--format " + c.args[3]));
        EXPECT_THAT(Entries(scratch.out()), testing::ElementsAre("dir.wav", "sub"));
        EXPECT_TRUE(fs::is_empty(scratch.out() / "sub"));
        return;
    }
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, c.written + "\n");
    EXPECT_EQ(ReadText(scratch.out() / c.written).substr(0, 4), c.magic);
}
const std::string kProposed = "VivuZira 1000 Hz, -10.00 dB, 0 sec";
INSTANTIATE_TEST_SUITE_P(
    Names, OutputPath,
    testing::Values(OutputCase{{"-o", "x"}, "x.aif", "FORM"},
                    OutputCase{{"-o", "x.aif"}, "x.aif", "FORM"},
                    OutputCase{{"-o", "take.wav"}, "take.wav", "RIFF"},
                    OutputCase{{"-o", "TAKE.WAV"}, "TAKE.WAV", "RIFF"},
                    OutputCase{{"-o", "take.aiff"}, "take.aiff", "FORM"},
                    OutputCase{{"-o", "x.txt", "--format", "bwf"}, "x.txt.wav", "RIFF"},
                    OutputCase{{"-o", "sub/x.wav", "--format", "bwf"}, "sub/x.wav", "RIFF"},
                    OutputCase{{"-o", "sub/"}, "sub/" + kProposed + ".aif", "FORM"},
                    OutputCase{{"-o", "dir.wav"}, "dir.wav/" + kProposed + ".aif", "FORM"},
                    OutputCase{{"-o", "take.wav", "--format", "aiff"}, "", ""},
                    OutputCase{{"-o", "sub/take.AIF", "--format", "bwf"}, "", ""}));

// By default the parameters are spoken first: "Announcement" at 0, the signal behind it.
TEST(ToneCommand, AnnouncesByDefault) {
    ScratchDir scratch;
    RunResult run = Quillgen(scratch, {"tone", "--length", "1", "--quiet"}, true);
    ASSERT_EQ(run.exit, 0) << run.err;
    const nlohmann::json py =
        PythonView(scratch, scratch.out() / "VivuZira 1000 Hz, -10.00 dB, 1 sec.aif");
    ASSERT_EQ(py["markers"].size(), 3u) << py.dump();
    EXPECT_EQ(py["markers"][0], nlohmann::json::array({0, "Announcement"}));
    const int announced = py["markers"][1][0];
    EXPECT_GT(announced, 44100); // a whole spoken sentence
    EXPECT_EQ(py["markers"][1][1], "1.000 kHz/-10.000 dB");
    EXPECT_EQ(py["markers"][2][0], announced + 44100);
    EXPECT_EQ(py["frames"], announced + 44100);
}

// A folder in the way is the job's to refuse (see the job tests); a file is replaced.
TEST(ToneCommand, ReplacesAnExistingFile) {
    ScratchDir scratch;
    std::ofstream(scratch.out() / "old.aif") << "not a sound file";
    ASSERT_EQ(Quillgen(scratch, {"tone", "--length", "0.1", "-o", "old"}).exit, 0);
    EXPECT_EQ(LibsndfileView(scratch.out() / "old.aif").info.frames, 4410);
    EXPECT_THAT(Entries(scratch.out()), testing::ElementsAre("old.aif"));
}

TEST(ToneCommand, MissingFolderFailsWithTheAlertTextsAndTheReason) {
    ScratchDir scratch;
    std::ofstream(scratch.out() / "plain") << "a file, not a folder";
    for (auto [target, reason] : {std::pair{"missing/x", "'missing': No such file or directory"},
                                  std::pair{"plain/x", "'plain': Not a directory"}}) {
        RunResult run = Quillgen(scratch, {"tone", "-o", target});
        EXPECT_EQ(run.exit, 1) << target;
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, HasSubstr("Could not save sound file"));
        EXPECT_THAT(run.err,
                    HasSubstr("An error occurred while trying to generate your sound file."));
        EXPECT_THAT(run.err, HasSubstr(reason));
    }
    EXPECT_THAT(Entries(scratch.out()), testing::ElementsAre("plain"));
}

struct BadValueCase {
    std::vector<std::string> args;
    std::string named; // what the message must name
};
class BadValue : public testing::TestWithParam<BadValueCase> {};
TEST_P(BadValue, Exits2AndWritesNothing) {
    ScratchDir scratch;
    RunResult run = Quillgen(scratch, GetParam().args);
    EXPECT_EQ(run.exit, 2);
    EXPECT_THAT(run.err, HasSubstr(GetParam().named));
    EXPECT_TRUE(Entries(scratch.out()).empty());
}
INSTANTIATE_TEST_SUITE_P(
    Ranges, BadValue,
    testing::Values(
        BadValueCase{{"tone", "--freq", "30000"},
                     "--freq 30000 is out of range; accepted: 1 to 22050 Hz"},
        BadValueCase{{"tone", "--rate", "nan"}, "--rate nan"},
        BadValueCase{{"sweep", "--to", "24001"}, "--to 24001"},
        BadValueCase{{"sweep", "--from-level", "-121"}, "-120 to 0 dB"},
        BadValueCase{{"full-sweep", "--length", "0"}, "--length 0"},
        BadValueCase{{"tone", "--length", "30000", "--bits", "24"},
                     "at most 16231.63 s, the longest a 24-bit AIFF file holds at 44100 Hz"},
        BadValueCase{{"tone", "--bits", "20"}, "--bits"},
        BadValueCase{{"tone", "--format", "mp3"}, "--format"},
        BadValueCase{{"tone", "--freq", "loud"}, "--freq"}));
