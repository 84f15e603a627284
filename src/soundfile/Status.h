#pragma once
// Status codes of the sound file engine. Every engine operation returns one; 0 is success.
// Platform file and memory errors pass through unchanged, the engine's own codes lie
// around -20000 and -22000. Only the job layer's wrapper turns a status into an exception.

#include <cstdint>

using Status = std::int16_t;

inline constexpr Status kNoErr = 0;

// Platform file and memory statuses.
inline constexpr Status kErrFileNotOpen = -38;         // the file is not open
inline constexpr Status kErrEndOfFile = -39;           // end of file reached
inline constexpr Status kErrPositionBeforeStart = -40; // position before the start of the file
inline constexpr Status kErrFileNotFound = -43;        // no such file
inline constexpr Status kErrDuplicateFile = -48;       // a file of that name exists already
inline constexpr Status kErrMemoryFull = -108;         // memory exhausted
inline constexpr Status kErrIO = -36;                  // any other input/output failure
inline constexpr Status kErrPermission = -54;          // permission denied
inline constexpr Status kErrDiskFull = -34;            // no space left on the volume
inline constexpr Status kErrParameter = -50;           // a count, offset or reference out of range

// Regions.
inline constexpr Status kErrNoFurtherBlock = -20002;  // GetNextBlock: no further block of regions
inline constexpr Status kErrNoFurtherRegion = -20003; // FindNextRegion: no further region

// Allocation.
inline constexpr Status kErrAllocationFailed =
    -21004; // an allocation failed without a platform error

// Markers, loops, regions, samples.
inline constexpr Status kErrNoSuchMarker = -22000;
inline constexpr Status kErrNoSuchLoop = -22001;
inline constexpr Status kErrNoSuchRegion = -22002;
inline constexpr Status kErrSampleNotAvailable = -22003; // bad channel, or no input buffer
inline constexpr Status kErrChunkNotFound =
    -22004; // chunk not found (or end of file while searching)
inline constexpr Status kErrMarkersFileNotOpen = -22005; // ReadMarkers on a file that is not open
inline constexpr Status kErrInvalidSamplerInfo = -22007;
inline constexpr Status kErrNegativeChunkSize = -22009;
inline constexpr Status kErrNotSupported = -22011; // operation not supported by this object
inline constexpr Status kErrNoSuchGap = -22015;
inline constexpr Status kErrGapListAllocation = -22016;
inline constexpr Status kErrNameTooLong = -22021;  // name with extension would exceed 31 characters
inline constexpr Status kErrFileTooLarge = -22022; // past the largest file of the format

// AIFF.
inline constexpr Status kErrNoFORMChunk = -22200;
inline constexpr Status kErrNoSSNDChunk = -22201;
inline constexpr Status kErrNoCOMMChunk = -22202;
inline constexpr Status kErrLoopMarkerMissing =
    -22203; // a loop refers to a marker ID the file lacks
inline constexpr Status kErrAIFFTooManyChunks = -22204; // more than 100 chunks searched
inline constexpr Status kErrAIFFCompressed =
    -22206; // AIFF-C with a compression type other than 'NONE'
inline constexpr Status kErrMalformedFile = -22207; // a size or count inconsistent with the file

// WAVE.
inline constexpr Status kErrNotPCM = -22700; // neither integer PCM nor a form below
inline constexpr Status kErrNoDataChunk = -22702;
inline constexpr Status kErrNoFmtChunk = -22703;
inline constexpr Status kErrDataSizeRead = -22704;
inline constexpr Status kErrWAVETooManyChunks = -22705; // more than 100 chunks searched
// Forms of WAVE that are recognised and refused, each named in its text.
inline constexpr Status kErrFloat32WAVE = -22706; // 32-bit floating-point samples
inline constexpr Status kErrFloat64WAVE = -22707; // 64-bit floating-point samples
inline constexpr Status kErrRF64 = -22708;        // RF64 / BW64 (64-bit sizes)

// A short English text for a status, for messages and `quillgen info`.
const char* StatusText(Status status);
