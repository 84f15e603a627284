#include "jobs/Lineup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "formats/CBWFLinearFile.h"
#include "jobs/AppController.h"
#include "jobs/JobLimits.h"
#include "jobs/OutputFiles.h"
#include "jobs/SetFolder.h"
#include "jobs/SpeakerLayouts.h"
#include "shell/DesktopServices.h"
#include "shell/QuillException.h"
#include "shell/SharedFlags.h"
#include "soundfile/ByteOrder.h"
#include "synth/SweepMarkers.h"

namespace {

constexpr std::int32_t kBlockFrames = 1 << 16;

[[noreturn]] void Raise(const std::string& reason) {
    throw QuillException(kQUILException, reason);
}

// The picture rate a pulled-down rate stands for: 24 for 23.976.
int NominalRate(double fps) {
    return static_cast<int>(std::lround(fps));
}

// The exact picture rate: 24000/1001 for 23.976.
double ExactRate(double fps) {
    const int nominal = NominalRate(fps);
    return std::abs(fps - nominal) > 0.01 ? nominal * 1000.0 / 1001.0 : double(nominal);
}

bool IsFrameRate(double fps) {
    return std::any_of(std::begin(kLineupFrameRates), std::end(kLineupFrameRates),
                       [fps](double rate) { return std::abs(rate - fps) < 1e-6; });
}

std::vector<SFTMarker> MarkerRecords(const LineupPlan& plan) {
    std::vector<SFTMarker> records;
    for (const LineupMarker& marker : plan.markers) {
        SFTMarker record{};
        record.id = static_cast<std::int32_t>(records.size()) + 1;
        record.position = static_cast<std::int32_t>(marker.frame);
        const std::size_t length = std::min<std::size_t>(marker.name.size(), kSFTMaxNameLength);
        record.name[0] = static_cast<unsigned char>(length);
        std::memcpy(record.name + 1, marker.name.data(), length);
        record.type = kMarkerTypeOrdinary;
        record.number = -1;
        records.push_back(record);
    }
    return records;
}

// The plan into `outputs`: one handle on every channel, or one mono handle per channel. Returns
// early when a stop is asked for.
void WritePlan(const LineupPlan& plan, const std::vector<TxSoundFile*>& outputs,
               JobProgress& progress) {
    for (TxSoundFile* output : outputs) {
        std::vector<SFTMarker> records = MarkerRecords(plan);
        if (Status status = output->soundFile()->AddMarkers(records); status != kNoErr)
            Raise("could not mark '" + output->path() + "': " + FileStatusText(status));
    }
    const auto channels = static_cast<std::size_t>(plan.channels);
    std::vector<double> block(channels * kBlockFrames), mono(outputs.size() > 1 ? kBlockFrames : 0);
    for (std::int64_t from = 0; from < plan.frames && shouldStop == 0; from += kBlockFrames) {
        const auto count =
            static_cast<std::int32_t>(std::min<std::int64_t>(kBlockFrames, plan.frames - from));
        RenderLineup(plan, from, count, block.data());
        if (outputs.size() == 1) {
            outputs[0]->write(static_cast<std::uint32_t>(count), block.data());
        } else {
            for (std::size_t c = 0; c < outputs.size(); ++c) {
                for (std::int32_t i = 0; i < count; ++i)
                    mono[std::size_t(i)] = block[std::size_t(i) * channels + c];
                outputs[c]->write(static_cast<std::uint32_t>(count), mono.data());
            }
        }
        progress.percentage = double(from + count) / double(plan.frames);
    }
}

// The plan of the settings, refused when it gives no signal or does not fit into the files.
LineupPlan Plan(const Settings& s, const SaveOptions& options, const LineupChannelSet& set,
                bool oneFile) {
    const LineupParameters& p = s.lineup();
    if (p.signal == LineupSignal::pop && !IsFrameRate(p.fps))
        Raise(StringWithFormat("a sync pop is made for 23.976, 24, 25, 29.97 or 30 frames per "
                               "second, not %g",
                               p.fps));
    LineupPlan plan =
        PlanLineup(p.signal, s.sampleRate(), s.length(), set.layout, p.fps, kMaxSignalMarkers);
    if (plan.frames <= 0 || plan.channels <= 0)
        Raise(StringWithFormat("no %s can be made of %g s at %g Hz", LineupSignalTitle(p.signal),
                               s.length(), s.sampleRate()));
    // An interleaved file holds every channel's frames; a set's files one channel each.
    const std::int64_t most = MaxSignalFrames(options.realFileType(), options.wordLength(), 0,
                                              oneFile ? plan.channels : 1);
    if (plan.frames > most)
        Raise(StringWithFormat("%.2f s of %s in %d channels do not fit into one file; the "
                               "longest is %.2f s",
                               double(plan.frames) / s.sampleRate(), LineupSignalTitle(p.signal),
                               plan.channels,
                               std::floor(double(most) / s.sampleRate() * 100.0) / 100.0));
    return plan;
}

// Places a Broadcast WAVE file at the settings' timecode; AIFF has no room for it.
void Place(TxSoundFile& file, const Settings& s) {
    const std::string& timecode = s.lineup().timecode;
    if (timecode.empty()) return;
    auto* bwf = dynamic_cast<CBWFLinearFile*>(file.soundFile());
    if (bwf == nullptr)
        Raise("an AIFF file has no time reference to place it at " + timecode +
              "; choose Broadcast WAVE");
    std::string problem;
    const auto frames = TimecodeFrames(timecode, s.lineup().fps, s.sampleRate(), &problem);
    if (!frames) Raise(problem);
    bwf->SetTimeReference(*frames);
}

// The leaf names of a set: "<stem>.<speaker>.<extension>".
bool IsSetFileName(const std::string& stem, const std::string& leaf) {
    if (leaf.size() <= stem.size() + 1 || leaf.compare(0, stem.size() + 1, stem + ".") != 0)
        return false;
    const std::string rest = leaf.substr(stem.size() + 1);
    const std::size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string::npos) return false;
    const std::string extension = rest.substr(dot + 1);
    return extension == "wav" || extension == "aif";
}

void WriteSet(AppController& c, const std::string& directory, const LineupChannelSet& set) {
    JobProgress& progress = c.progress();
    auto log = [](const std::string& name, const std::string& reason) {
        DesktopServices::Current().log(FailureLogLine(name, reason));
    };
    const std::string stem = directory.substr(directory.find_last_of('/') + 1);
    SetFolder folder(
        directory, [stem](const std::string& leaf) { return IsSetFileName(stem, leaf); },
        "this line-up signal", log);
    try {
        const LineupPlan plan = Plan(c.settings(), c.saveOptions(), set, false);
        const std::string& building = folder.begin();
        std::vector<std::unique_ptr<TxSoundFile>> files;
        std::vector<TxSoundFile*> outputs;
        for (const std::string& speaker : set.speakers) {
            files.push_back(c.createSoundFile(stem, speaker, building));
            if (!files.back())
                Raise("could not create the sound file for the speaker " + speaker + " in '" +
                      building + "': " + LastFileErrorText());
            Place(*files.back(), c.settings());
            outputs.push_back(files.back().get());
        }
        WritePlan(plan, outputs, progress);
        if (shouldStop != 0) {
            shouldStop = 0;
            progress.cancelled = true;
            return; // the folder goes with the unfinished set
        }
        for (auto& file : files)
            file->close();
        folder.finish();
    } catch (const QuillException& failure) {
        const std::string reason = NamingTarget(failure.reason(), directory);
        progress.error = true;
        LogAndAlert(FailureLogLine(failure.name(), reason), reason, kSoundFilesAlertTitle,
                    kSoundFilesAlertMessage);
    }
}

} // namespace

bool LineupTakesLayout(LineupSignal signal) {
    return signal == LineupSignal::r68 || signal == LineupSignal::rp155 ||
           signal == LineupSignal::filmIdent;
}

std::int32_t LineupDefaultLayout(LineupSignal signal) {
    return signal == LineupSignal::filmIdent || !LineupTakesLayout(signal) ? kLayoutFiveDotOne : 0;
}

LineupChannelSet LineupChannelsOf(LineupSignal signal, std::int32_t channelSetup, bool maskOrder) {
    LineupChannelSet set;
    std::vector<std::string> speakers =
        LineupTakesLayout(signal) ? LayoutSpeakers(channelSetup)
                                  : LineupSpeakerNames(signal, LineupLayout{0, -1, {}, {}});
    // The file's channel order: the mask's where the file carries one.
    std::uint32_t mask = 0;
    const std::vector<TxSoundFile::Channel> channels =
        InterleavedChannels(speakers, maskOrder && speakers.size() > 1 ? &mask : nullptr);
    set.speakers.resize(speakers.size());
    for (const auto& channel : channels)
        set.speakers[std::size_t(channel.index)] = channel.name;
    if (maskOrder && speakers.size() > 1) set.mask = mask;
    auto indexOf = [&](const std::string& speaker) {
        const auto found = std::find(set.speakers.begin(), set.speakers.end(), speaker);
        return found == set.speakers.end() ? -1 : int(found - set.speakers.begin());
    };
    set.layout = LineupLayout{int(set.speakers.size()), indexOf("LFE"), {}, set.speakers};
    // The ident's order: around each ring clockwise from its front left, LFE aside.
    for (const auto& ring : LayoutRings(channelSetup))
        for (const std::string& speaker : ring)
            if (speaker != "LFE") set.layout.clockwise.push_back(indexOf(speaker));
    return set;
}

bool LineupWritesFolder(const Settings& settings) {
    const LineupParameters& p = settings.lineup();
    if (!p.split) return false;
    return LineupChannelsOf(p.signal, settings.channelSetup(), false).speakers.size() > 1;
}

std::string LineupFileName(const Settings& settings) {
    const LineupParameters& p = settings.lineup();
    std::string name = LineupSignalTitle(p.signal);
    if (LineupTakesLayout(p.signal))
        name += " " + LayoutTitle(settings.channelSetup()).value_or("");
    if (p.signal == LineupSignal::pop) name += StringWithFormat(" %g fps", p.fps);
    return name;
}

std::optional<std::uint64_t> TimecodeFrames(const std::string& timecode, double fps, double rate,
                                            std::string* problem) {
    int hours = 0, minutes = 0, seconds = 0, frames = 0, used = 0;
    const int nominal = NominalRate(fps);
    const bool read = std::sscanf(timecode.c_str(), "%2d:%2d:%2d:%2d%n", &hours, &minutes, &seconds,
                                  &frames, &used) == 4 &&
                      std::size_t(used) == timecode.size();
    if (!read || hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 ||
        seconds > 59 || frames < 0 || frames >= nominal) {
        *problem = StringWithFormat("'%s' is not a timecode HH:MM:SS:FF at %g frames per second "
                                    "(hours 0-23, frames 0-%d)",
                                    timecode.c_str(), fps, nominal - 1);
        return std::nullopt;
    }
    const double pictures = ((hours * 60.0 + minutes) * 60.0 + seconds) * nominal + frames;
    return static_cast<std::uint64_t>(std::llround(pictures / ExactRate(fps) * rate));
}

void makeLineupFiles(AppController& c, const std::string& chosenPath) {
    const Settings& s = c.settings();
    const bool wave = c.saveOptions().realFileType() == byteorder::FourCC("BWLN");
    if (LineupWritesFolder(s)) {
        WriteSet(c, chosenPath, LineupChannelsOf(s.lineup().signal, s.channelSetup(), false));
        return;
    }
    const LineupChannelSet set = LineupChannelsOf(s.lineup().signal, s.channelSetup(), wave);
    const AppController::FileShape shape{int(set.speakers.size()), set.mask};
    c.writeOneFile(c.targetPath(chosenPath), shape, [&](TxSoundFile& file) {
        const LineupPlan plan = Plan(s, c.saveOptions(), set, true);
        Place(file, s);
        WritePlan(plan, {&file}, c.progress());
    });
}
