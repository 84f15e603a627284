// quillgen info FILE [--json]: what a sound file holds, read through the engine.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "cli/InfoCommand.h"
#include "formats/CBWFLinearFile.h"
#include "formats/OpenSoundFile.h"
#include "shell/FSSpec.h"
#include "shell/PascalString.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/CSoundFile.h"

namespace quillgen {

namespace {

std::string FormatName(std::uint32_t type) {
    switch (type) {
    case byteorder::FourCC("AIFF"): return "AIFF";
    case byteorder::FourCC("WAVE"): return "WAVE";
    case byteorder::FourCC("BWLN"): return "BWF";
    default: {
        std::string code(4, ' ');
        for (int i = 0; i < 4; ++i) code[i] = char((type >> (24 - 8 * i)) & 0xFF);
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
    const bool cut = length == std::min(fileNameLength, 31) || length == std::min(fileNameLength, 29);
    return cut && std::memcmp(region.name + 1, fileRef.name + 1, std::size_t(length)) == 0;
}

nlohmann::json Describe(CSoundFile& file, const std::string& path) {
    nlohmann::json info;
    info["path"] = path;
    info["format"] = FormatName(file.GetFType());
    info["channels"] = file.GetNumChannels();
    info["bits"] = file.GetWordSize();
    const double rate = file.GetSampleRate();
    // A whole rate is shown as an integer when one can hold it (an AIFF rate may reach 3.4e38).
    if (rate == std::floor(rate) && std::fabs(rate) < 0x1p63)
        info["sampleRate"] = std::int64_t(rate);
    else info["sampleRate"] = rate;
    info["frames"] = file.GetNumSFrames();

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
        info["loops"].push_back({{"id", l.id}, {"start", l.start}, {"end", l.end}, {"type", l.type}});
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
        info["sampler"] = {{"baseNote", s.baseNote},       {"detune", s.detune},
                           {"lowNote", s.lowNote},         {"highNote", s.highNote},
                           {"lowVelocity", s.lowVelocity}, {"highVelocity", s.highVelocity},
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
    if (wave.IsOpen()) wave.Close();
}

// A text value in quotes. The bext fields hold whatever bytes the file has; bytes that are
// not UTF-8 are shown as U+FFFD, as in the JSON output, instead of ending the program.
std::string Quoted(const nlohmann::json& text) {
    return text.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintText(const nlohmann::json& info, std::ostream& out) {
    out << info["path"].get<std::string>() << "\n"
        << "  format       " << info["format"].get<std::string>() << "\n"
        << "  channels     " << info["channels"] << "\n"
        << "  bits         " << info["bits"] << "\n"
        << "  sample rate  " << info["sampleRate"] << " Hz\n"
        << "  frames       " << info["frames"] << "\n";
    out << "  markers      " << info["markers"].size() << "\n";
    for (const auto& m : info["markers"]) {
        out << "    id " << m["id"] << " at " << m["position"];
        if (m.contains("number")) out << " number " << m["number"];
        out << " " << m["name"] << "\n";
    }
    out << "  loops        " << info["loops"].size() << "\n";
    for (const auto& l : info["loops"])
        out << "    id " << l["id"] << " " << l["start"] << " to " << l["end"] << " type "
            << l["type"] << "\n";
    if (info.contains("sampler")) {
        const auto& s = info["sampler"];
        out << "  sampler      base note " << s["baseNote"] << ", detune " << s["detune"]
            << ", notes " << s["lowNote"] << "-" << s["highNote"] << ", velocities "
            << s["lowVelocity"] << "-" << s["highVelocity"] << ", gain " << s["gain"] << " dB\n";
    }
    out << "  regions      " << info["regions"].size() << "\n";
    for (const auto& r : info["regions"])
        out << "    id " << r["id"] << " " << r["start"] << " to " << r["end"] << " sync "
            << r["sync"] << " " << r["name"] << "\n";
    if (info.contains("bext")) {
        const auto& b = info["bext"];
        out << "  bext         version " << b["version"] << ", time reference "
            << b["timeReference"] << "\n"
            << "    description          " << Quoted(b["description"]) << "\n"
            << "    originator           " << Quoted(b["originator"]) << "\n"
            << "    originator reference " << Quoted(b["originatorReference"]) << "\n"
            << "    origination          " << Quoted(b["originationDate"]) << " "
            << Quoted(b["originationTime"]) << "\n";
    }
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
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "quillgen-XXXXXX").string();
        if (ec || !::mkdtemp(pattern.data())) return false;
        folder = pattern;
        std::filesystem::create_symlink(absolute, folder + "/sound", ec);
        return !ec && MakeFSSpec(folder, "sound", fileRef);
    }

private:
    std::string folder;
};

} // namespace

int ShowInfo(const InfoOptions& options, std::ostream& out, std::ostream& err) {
    const std::filesystem::path path(options.path);
    FSSpec fileRef;
    ShortNameLink link;
    if (!MakeFSSpec(path.parent_path().string(), path.filename().string(), &fileRef) &&
        !link.Make(path, &fileRef)) {
        err << "quillgen info: " << options.path
            << ": could not be opened (its name does not fit the sound file engine)\n";
        return 1;
    }
    std::unique_ptr<CSoundFile> file;
    const Status status = OpenSoundFile(fileRef, &file);
    if (status != kNoErr) {
        err << "quillgen info: " << options.path << ": " << StatusText(status) << " (" << status
            << ")\n";
        return 1;
    }
    nlohmann::json info = Describe(*file, options.path);
    file->Close();
    if (auto* broadcast = dynamic_cast<CBWFLinearFile*>(file.get()))
        DescribeBroadcast(*broadcast, fileRef, &info);
    if (options.json)
        out << info.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    else
        PrintText(info, out);
    return 0;
}

namespace {

void AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = app.add_subcommand("info", "show the format, markers, loops, sampler "
                                                   "information and regions of a sound file");
    command->add_option("FILE", options->path, "an AIFF or WAVE file")->required();
    command->add_flag("--json", options->json, "print one JSON object");
    command->callback([options] { exitStatus = ShowInfo(*options, std::cout, std::cerr); });
}

} // namespace

static const bool registered = RegisterCommand(&AddInfoCommand);

} // namespace quillgen
