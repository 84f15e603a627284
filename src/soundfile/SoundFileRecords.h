#pragma once
// Markers, regions, loops and sampler information: the plain records callers exchange with a
// sound file, and the list objects the sound file keeps them in. Names are Pascal strings of
// at most kSFTMaxNameLength characters (32 bytes with the length byte).

#include <cstdint>
#include <memory>

#include "soundfile/Containers.h"

inline constexpr int kSFTMaxNameLength = 31;

inline constexpr std::int16_t kMarkerTypeNumbered = 1; // a marker whose number is `number`
inline constexpr std::int16_t kMarkerTypeOrdinary = 2;

struct SFTMarker {
    std::int32_t id;       // unique within the file
    std::int32_t position; // frame index
    unsigned char name[kSFTMaxNameLength + 1];
    std::int16_t type;   // kMarkerTypeOrdinary or kMarkerTypeNumbered
    std::int16_t number; // the number of a numbered marker; -1 for an ordinary one
};

struct SFTRegion {
    std::int32_t id;
    std::int32_t start; // first frame
    std::int32_t end;   // end frame
    std::int32_t sync;  // sync point (a frame)
    std::int32_t timeStampLS;
    unsigned char name[kSFTMaxNameLength + 1];
};

struct SFTLoop {
    std::int32_t id;
    std::int32_t start;
    std::int32_t end;
    std::int16_t type; // play mode, as the format stores it
};

struct SFTSamplerInfo {
    std::int8_t baseNote = 60; // MIDI note at which the sound plays at its own pitch
    std::int8_t detune = 0;    // cents
    std::int8_t lowNote = 0;
    std::int8_t highNote = 127;
    std::int8_t lowVelocity = 0;
    std::int8_t highVelocity = 127;
    std::int16_t gain = 0;             // dB
    std::uint8_t validSamplerInfo = 0; // 1 once real sampler information has been stored
};

// Equality as the removal operations use it: markers by id, position and name; loops by
// id, start, end and type; regions by id, start, end, sync and name.
bool EqualMarker(const SFTMarker* a, const SFTMarker* b);
bool EqualLoop(const SFTLoop* a, const SFTLoop* b);
bool EqualRegion(const SFTRegion* a, const SFTRegion* b);

// Zero-filled single records (null when memory is exhausted) and their release.
std::unique_ptr<SFTMarker> NewMarkerHandle();
std::unique_ptr<SFTRegion> NewRegionHandle();
std::unique_ptr<SFTLoop> NewLoopHandle();
void DisposMarkerHandle(std::unique_ptr<SFTMarker>& marker);
void DisposRegionHandle(std::unique_ptr<SFTRegion>& region);
void DisposLoopHandle(std::unique_ptr<SFTLoop>& loop);

// Copies a Pascal name, cutting it to kSFTMaxNameLength characters.
void CopyRecordName(const unsigned char* source, unsigned char* destination);

class CMarker : public CObject {
  public:
    CMarker() = default;
    void IMarker(std::int32_t id, std::int32_t position, const unsigned char* name);
    std::int32_t GetID() const { return id; }
    void SetID(std::int32_t value) { id = value; }
    std::int32_t GetPosition() const { return position; }
    void SetPosition(std::int32_t value) { position = value; }
    void GetName(unsigned char* destination) const;
    void SetName(const unsigned char* source);
    void SetType(std::int16_t value) { type = value; }
    void SetNumber(std::int16_t value) { number = value; }

    void ToRecord(SFTMarker* record) const;

  private:
    std::int32_t position = 0;
    std::int32_t id = 0;
    unsigned char name[kSFTMaxNameLength + 1] = {0};
    std::int16_t type = kMarkerTypeOrdinary;
    std::int16_t number = -1;
};

class CRegion : public CObject {
  public:
    CRegion() = default;
    void IRegion(std::int32_t id, std::int32_t start, std::int32_t end, std::int32_t sync,
                 std::int32_t timeStampLS, const unsigned char* name);
    std::int32_t GetID() const { return id; }
    void SetID(std::int32_t value) { id = value; }
    std::int32_t GetStart() const { return start; }
    void SetStart(std::int32_t value) { start = value; }
    std::int32_t GetEnd() const { return end; }
    void SetEnd(std::int32_t value) { end = value; }
    std::int32_t GetLength() const { return end - start; }
    std::int32_t GetSync() const { return sync; }
    void SetSync(std::int32_t value) { sync = value; }
    std::int32_t GetTimeStampLS() const { return timeStampLS; }
    void SetTimeStampLS(std::int32_t value) { timeStampLS = value; }
    void GetName(unsigned char* destination) const;
    void SetName(const unsigned char* source);

    void ToRecord(SFTRegion* record) const;

  private:
    std::int32_t id = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    std::int32_t sync = 0;
    std::int32_t timeStampLS = 0;
    unsigned char name[kSFTMaxNameLength + 1] = {0};
};

class CLoop : public CObject {
  public:
    CLoop() = default;
    void ILoop(std::int32_t id, std::int32_t start, std::int32_t end, std::int16_t type);
    std::int32_t GetID() const { return id; }
    void SetID(std::int32_t value) { id = value; }
    std::int32_t GetStart() const { return start; }
    void SetStart(std::int32_t value) { start = value; }
    std::int32_t GetEnd() const { return end; }
    void SetEnd(std::int32_t value) { end = value; }
    std::int32_t GetLength() const { return end - start; }
    std::int16_t GetType() const { return type; }
    void SetType(std::int16_t value) { type = value; }

    void ToRecord(SFTLoop* record) const;

  private:
    std::int32_t id = 0;
    std::int32_t start = 0;
    std::int32_t end = 0;
    std::int16_t type = 0;
};
