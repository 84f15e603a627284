#include "synth/SweepMarkers.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "synth/Levels.h"

namespace {

// Preferred numbers of one decade (IEC 60063).
constexpr double kE3[] = {1.0, 2.2, 4.7};
constexpr double kE6[] = {1.0, 1.5, 2.2, 3.3, 4.7, 6.8};
constexpr double kE12[] = {1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 3.9, 4.7, 5.6, 6.8, 8.2};
constexpr double kE24[] = {1.0, 1.1, 1.2, 1.3, 1.5, 1.6, 1.8, 2.0, 2.2, 2.4, 2.7, 3.0,
                           3.3, 3.6, 3.9, 4.3, 4.7, 5.1, 5.6, 6.2, 6.8, 7.5, 8.2, 9.1};

struct Series {
    const double* values; // null for whole decades
    int size;
};

template <int N> constexpr Series SeriesOf(const double (&values)[N]) {
    return {values, N};
}

// Below this ratio of end to start frequency a sweep gets no intermediate markers.
constexpr double kMinimumSweepRatio = 1.1;

// trunc(x) + startFrame as a frame position, held to the 32-bit range.
std::int32_t FramePosition(double x, std::int32_t startFrame) {
    double frame = std::trunc(x);
    if (std::isnan(frame)) frame = 0.0;
    frame += startFrame;
    if (frame < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    if (frame > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(frame);
}

class MarkerWriter {
  public:
    explicit MarkerWriter(CSoundFile* file) : file(file) {}

    // Adds the next marker; the text is cut to the 31 characters a marker name holds.
    Status Add(std::int32_t position, const char* text) {
        SFTMarker marker{};
        marker.id = ++id;
        marker.position = position;
        const std::size_t length = std::strlen(text);
        marker.name[0] = static_cast<unsigned char>(
            length < std::size_t(kSFTMaxNameLength) ? length : std::size_t(kSFTMaxNameLength));
        std::memcpy(marker.name + 1, text, marker.name[0]);
        marker.type = kMarkerTypeOrdinary;
        marker.number = 0;
        return file->AddMarker(&marker);
    }

    // Room for one more intermediate marker, keeping one for the end.
    bool HasRoom() const { return id < kMaxSignalMarkers - 1; }

  private:
    CSoundFile* file;
    std::int32_t id = 0;
};

// Whole-dB markers along a tone whose level changes.
Status AddLevelMarkers(MarkerWriter& markers, double level_from, double level_to,
                       double markerCount, std::int32_t sweepFrames, std::int32_t startFrame) {
    const double range = level_to - level_from;
    const double x = range / markerCount;
    double step = x > 0 ? std::floor(x) : std::ceil(x);
    if (step == 0.0) step = level_from < level_to ? 1.0 : -1.0;
    char text[kLabelTextSize];

    if (step > 0) {
        double lev = std::ceil(level_from);
        if (lev == level_from) lev += step;
        for (; lev < level_to && markers.HasRoom(); lev += step) {
            std::snprintf(text, sizeof text, "%3.2lfdB", lev);
            const Status status = markers.Add(
                FramePosition((lev - level_from) * sweepFrames / range, startFrame), text);
            if (status != kNoErr) return status;
        }
    } else {
        double lev = std::floor(level_from);
        if (lev == level_from) lev += step;
        for (; lev > level_to && markers.HasRoom(); lev += step) {
            std::snprintf(text, sizeof text, "%3.2lfdB", lev);
            const double fraction = 1.0 - (lev - level_to) / (level_from - level_to);
            const Status status =
                markers.Add(FramePosition(fraction * sweepFrames, startFrame), text);
            if (status != kNoErr) return status;
        }
    }
    return kNoErr;
}

Series ChooseSeries(double perDecade) {
    if (perDecade <= 1) return {nullptr, 0};
    if (perDecade <= 3) return SeriesOf(kE3);
    if (perDecade <= 6) return SeriesOf(kE6);
    if (perDecade <= 12) return SeriesOf(kE12);
    return SeriesOf(kE24); // also when perDecade is not a number
}

// Preferred-number markers along a sweep, always from the low frequency to the high one.
Status AddFrequencyMarkers(MarkerWriter& markers, double freq_from, double freq_to,
                           double markerCount, std::int32_t sweepFrames, std::int32_t startFrame) {
    const bool rising = freq_to > freq_from;
    const double ratio = rising ? freq_to / freq_from : freq_from / freq_to;
    const double lo = rising ? freq_from : freq_to;
    const double hi = rising ? freq_to : freq_from;
    if (ratio <= kMinimumSweepRatio) return kNoErr;

    const double logLo = std::log10(lo);
    const double logRatio = std::log10(ratio);
    const Series series = ChooseSeries(markerCount / (std::log10(hi) - logLo));

    // The first value of the series that is not below lo.
    double decade = std::pow(10.0, std::trunc(logLo));
    int i = 0;
    double F = decade;
    if (series.values == nullptr) {
        while (F < lo)
            F *= 10.0;
    } else {
        for (;;) {
            const double r = lo / decade;
            i = 0;
            while (i < series.size && !(r <= series.values[i]))
                ++i;
            if (i < series.size || !std::isfinite(decade)) break;
            decade *= 10.0;
        }
        F = i < series.size ? decade * series.values[i] : HUGE_VAL;
    }

    char text[kLabelTextSize];
    while (F <= hi && markers.HasRoom()) {
        const double along = std::log10(F) - logLo;
        const std::int32_t position =
            rising ? FramePosition(along * sweepFrames / logRatio, startFrame)
                   : FramePosition((1.0 - along / logRatio) * sweepFrames, startFrame);
        E24sprintf(text, F);
        const Status status = markers.Add(position, text);
        if (status != kNoErr) return status;

        if (series.values == nullptr) {
            F *= 10.0;
        } else {
            if (++i == series.size) {
                i = 0;
                decade *= 10.0;
            }
            F = series.values[i] * decade;
        }
    }
    return kNoErr;
}

bool PositiveFinite(double value) {
    return std::isfinite(value) && value > 0.0;
}

} // namespace

int markerFnepper(double freq_from, double freq_to, double level_from, double level_to,
                  CSoundFile* file, std::int16_t markersPerSecond, std::int32_t startFrame) {
    if (file == nullptr || startFrame < 0 || !PositiveFinite(freq_from) ||
        !PositiveFinite(freq_to) || !std::isfinite(level_from) || !std::isfinite(level_to))
        return kErrBadSignalParameter;

    const std::int32_t numFrames = file->GetNumSFrames();
    const std::int32_t sweepFrames =
        static_cast<std::int32_t>(static_cast<std::int64_t>(numFrames) - startFrame);
    const float seconds = static_cast<float>(sweepFrames) / file->GetSampleRate();
    const double markerCount = markersPerSecond * static_cast<double>(seconds);

    MarkerWriter markers(file);
    char text[kLabelTextSize];
    Status status = kNoErr;

    if (startFrame > 0) {
        status = markers.Add(0, "Announcement");
        if (status != kNoErr) return status;
    }
    FreqWithAmpsprintf(text, freq_from, level_from);
    status = markers.Add(startFrame, text);
    if (status != kNoErr) return status;

    if (freq_from == freq_to && level_from != level_to)
        status =
            AddLevelMarkers(markers, level_from, level_to, markerCount, sweepFrames, startFrame);
    else
        status =
            AddFrequencyMarkers(markers, freq_from, freq_to, markerCount, sweepFrames, startFrame);
    if (status != kNoErr) return status;

    FreqWithAmpsprintf(text, freq_to, level_to);
    return markers.Add(numFrames, text);
}
