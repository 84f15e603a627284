#include "soundfile/Status.h"

#include <algorithm>
#include <iterator>

namespace {

struct StatusEntry {
    Status status;
    const char* text;
};

constexpr StatusEntry kStatusTexts[] = {
    {kNoErr, "no error"},
    {kErrFileNotOpen, "the file is not open"},
    {kErrEndOfFile, "unexpected end of file"},
    {kErrPositionBeforeStart, "position before the start of the file"},
    {kErrFileNotFound, "no such file or directory"},
    {kErrDuplicateFile, "a file of that name exists already"},
    {kErrMemoryFull, "out of memory"},
    {kErrIO, "input/output error"},
    {kErrPermission, "permission denied"},
    {kErrDiskFull, "no space left on the volume"},
    {kErrParameter, "a count or position out of range"},
    {kErrNoFurtherBlock, "no further block of regions"},
    {kErrNoFurtherRegion, "no further region"},
    {kErrAllocationFailed, "an allocation failed"},
    {kErrNoSuchMarker, "no such marker"},
    {kErrNoSuchLoop, "no such loop"},
    {kErrNoSuchRegion, "no such region"},
    {kErrSampleNotAvailable, "sample not available"},
    {kErrChunkNotFound, "chunk not found"},
    {kErrMarkersFileNotOpen, "the file is not open for reading markers"},
    {kErrInvalidSamplerInfo, "the sampler information is not valid"},
    {kErrNegativeChunkSize, "a chunk with a negative size"},
    {kErrNotSupported, "operation not supported for this file"},
    {kErrNoSuchGap, "no such gap"},
    {kErrGapListAllocation, "allocating the gap list failed"},
    {kErrNameTooLong, "the file name with its extension would exceed 31 characters"},
    {kErrFileTooLarge, "the file would be larger than its format allows"},
    {kErrNoFORMChunk, "not an AIFF file (no FORM chunk)"},
    {kErrNoSSNDChunk, "no sound data (SSND) chunk"},
    {kErrNoCOMMChunk, "no common (COMM) chunk"},
    {kErrLoopMarkerMissing, "a loop refers to a marker the file does not have"},
    {kErrAIFFTooManyChunks, "more than 100 chunks searched"},
    {kErrAIFFCompressed, "compressed AIFF-C data is not supported"},
    {kErrMalformedFile, "malformed file"},
    {kErrNotPCM, "not integer PCM (a compressed or unknown WAVE format)"},
    {kErrNoDataChunk, "no data chunk"},
    {kErrNoFmtChunk, "no format (fmt) chunk"},
    {kErrDataSizeRead, "the data size could not be read"},
    {kErrWAVETooManyChunks, "more than 100 chunks searched"},
    {kErrFloat32WAVE, "a 32-bit floating-point WAVE file"},
    {kErrFloat64WAVE, "a 64-bit floating-point WAVE file"},
    {kErrRF64, "an RF64 file"},
};

} // namespace

const char* StatusText(Status status) {
    const auto entry = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                                    [status](const StatusEntry& e) { return e.status == status; });
    return entry != std::end(kStatusTexts) ? entry->text : "unknown error";
}
