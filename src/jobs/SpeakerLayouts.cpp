#include "jobs/SpeakerLayouts.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <map>

namespace {

using Ring = std::vector<std::string>;

const std::vector<SpeakerLayout>& Layouts() {
    static const std::vector<SpeakerLayout> layouts = {
        {"Stereo", "stereo", {"L", "R"}, {}},
        {"Quad", "quad", {"L", "R", "Rs", "Ls"}, {}},
        {"LCRS", "lcrs", {"L", "C", "R", "S"}, {}},
        {"5.1", "5.1", {"L", "C", "R", "Rs", "Ls", "LFE"}, {}},
        {"6.1", "6.1", {"L", "C", "R", "Rs", "Cs", "Ls", "LFE"}, {}},
        {"7.1", "7.1", {"L", "Lc", "C", "Rc", "R", "Rs", "Ls", "LFE"}, {}},
        {"10.2",
         "10.2",
         {"Lh", "Lw", "L", "C", "R", "Rw", "Rh", "Rs", "Cs", "Ls", "LSB", "RSB"},
         {}},
        {"7.1 Surround",
         "7.1-surround",
         {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs"},
         {Ring{"L", "C", "R", "Rss", "Rrs", "Lrs", "Lss"}}},
        {"5.1.2",
         "5.1.2",
         {"L", "R", "C", "LFE", "Ls", "Rs", "Ltm", "Rtm"},
         {Ring{"L", "C", "R", "Rs", "Ls"}, Ring{"Ltm", "Rtm"}}},
        {"5.1.4",
         "5.1.4",
         {"L", "R", "C", "LFE", "Ls", "Rs", "Ltf", "Rtf", "Ltr", "Rtr"},
         {Ring{"L", "C", "R", "Rs", "Ls"}, Ring{"Ltf", "Rtf", "Rtr", "Ltr"}}},
        {"7.1.2",
         "7.1.2",
         {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltm", "Rtm"},
         {Ring{"L", "C", "R", "Rss", "Rrs", "Lrs", "Lss"}, Ring{"Ltm", "Rtm"}}},
        {"7.1.4",
         "7.1.4",
         {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Ltf", "Rtf", "Ltr", "Rtr"},
         {Ring{"L", "C", "R", "Rss", "Rrs", "Lrs", "Lss"}, Ring{"Ltf", "Rtf", "Rtr", "Ltr"}}},
        {"9.1.6",
         "9.1.6",
         {"L", "R", "C", "LFE", "Lss", "Rss", "Lrs", "Rrs", "Lw", "Rw", "Ltf", "Rtf", "Ltm", "Rtm",
          "Ltr", "Rtr"},
         {Ring{"L", "C", "R", "Rw", "Rss", "Rrs", "Lrs", "Lss", "Lw"},
          Ring{"Ltf", "Rtf", "Rtm", "Rtr", "Ltr", "Ltm"}}},
    };
    return layouts;
}

// The low-frequency and back-surround speakers take no part in the pair checks.
bool IsLeftOutOfPairs(const std::string& speaker) {
    return speaker == "LFE" || speaker == "LSB" || speaker == "RSB";
}

std::string Lowered(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

const SpeakerLayout* FindLayout(std::int32_t channelSetup) {
    if (channelSetup < 0 || channelSetup >= kLayoutCount) return nullptr;
    return &Layouts()[static_cast<std::size_t>(channelSetup)];
}

std::optional<std::int32_t> LayoutNumberNamed(const std::string& name) {
    const std::string wanted = Lowered(name);
    for (std::int32_t number = 0; number < kLayoutCount; ++number)
        if (FindLayout(number)->name == wanted) return number;
    return std::nullopt;
}

std::optional<std::string> LayoutTitle(std::int32_t channelSetup) {
    const SpeakerLayout* layout = FindLayout(channelSetup);
    if (layout == nullptr) return std::nullopt;
    return layout->title;
}

std::string LayoutFileTag(std::int32_t channelSetup) {
    std::string tag = LayoutTitle(channelSetup).value_or("");
    std::replace(tag.begin(), tag.end(), ' ', '-');
    return tag;
}

std::vector<std::string> LayoutSpeakers(std::int32_t channelSetup) {
    const SpeakerLayout* layout = FindLayout(channelSetup);
    return layout == nullptr ? std::vector<std::string>() : layout->speakers;
}

std::vector<std::vector<std::string>> LayoutRings(std::int32_t channelSetup) {
    const SpeakerLayout* layout = FindLayout(channelSetup);
    if (layout == nullptr) return {};
    return layout->rings.empty() ? std::vector<Ring>{layout->speakers} : layout->rings;
}

std::vector<std::pair<std::size_t, std::size_t>>
CheckedPairs(const std::vector<std::string>& speakers,
             const std::vector<std::vector<std::string>>& rings) {
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    auto indexOf = [&](const std::string& speaker) {
        return static_cast<std::size_t>(std::find(speakers.begin(), speakers.end(), speaker) -
                                        speakers.begin());
    };
    for (const Ring& ring : rings) {
        const std::size_t count = ring.size();
        for (std::size_t i = 0; i < count && count > 1; ++i) {
            const std::string& a = ring[i];
            const std::string& b = ring[(i + 1) % count];
            if (IsLeftOutOfPairs(a) || IsLeftOutOfPairs(b)) continue;
            const std::size_t first = indexOf(a), second = indexOf(b);
            if (first < speakers.size() && second < speakers.size())
                pairs.emplace_back(first, second);
        }
    }
    return pairs;
}

std::uint32_t SpeakerMaskBit(const std::string& speaker) {
    static const std::map<std::string, std::uint32_t> bits = {
        {"L", 0x1},      {"R", 0x2},      {"C", 0x4},      {"LFE", 0x8},   {"Ls", 0x10},
        {"Rs", 0x20},    {"Lrs", 0x10},   {"Rrs", 0x20},   {"Lc", 0x40},   {"Rc", 0x80},
        {"Cs", 0x100},   {"S", 0x100},    {"Lss", 0x200},  {"Rss", 0x400}, {"Ltf", 0x1000},
        {"Rtf", 0x4000}, {"Ltr", 0x8000}, {"Rtr", 0x20000}};
    const auto found = bits.find(speaker);
    return found == bits.end() ? 0 : found->second;
}

std::vector<TxSoundFile::Channel> InterleavedChannels(const std::vector<std::string>& speakers,
                                                      std::uint32_t* mask) {
    std::vector<TxSoundFile::Channel> channels;
    std::uint32_t bits = 0;
    bool positioned = mask != nullptr;
    for (const auto& speaker : speakers) {
        const std::uint32_t bit = SpeakerMaskBit(speaker);
        positioned = positioned && bit != 0 && (bits & bit) == 0;
        bits |= bit;
        channels.push_back({speaker, static_cast<std::int16_t>(channels.size())});
    }
    if (mask) *mask = positioned ? bits : 0;
    if (!positioned) return channels;
    // A channel's index is the number of the layout's mask bits below its own.
    for (auto& channel : channels) {
        const std::uint32_t below = bits & (SpeakerMaskBit(channel.name) - 1);
        channel.index = static_cast<std::int16_t>(std::popcount(below));
    }
    return channels;
}
