#include "soundfile/Status.h"

const char* StatusText(Status status) {
    switch (status) {
    case kNoErr:
        return "no error";
    case kErrFileNotOpen:
        return "the file is not open";
    case kErrEndOfFile:
        return "unexpected end of file";
    case kErrPositionBeforeStart:
        return "position before the start of the file";
    case kErrFileNotFound:
        return "no such file or directory";
    case kErrDuplicateFile:
        return "a file of that name exists already";
    case kErrMemoryFull:
        return "out of memory";
    case kErrIO:
        return "input/output error";
    case kErrPermission:
        return "permission denied";
    case kErrDiskFull:
        return "no space left on the volume";
    case kErrParameter:
        return "a count or position out of range";
    case kErrNoFurtherBlock:
        return "no further block of regions";
    case kErrNoFurtherRegion:
        return "no further region";
    case kErrAllocationFailed:
        return "an allocation failed";
    case kErrNoSuchMarker:
        return "no such marker";
    case kErrNoSuchLoop:
        return "no such loop";
    case kErrNoSuchRegion:
        return "no such region";
    case kErrSampleNotAvailable:
        return "sample not available";
    case kErrChunkNotFound:
        return "chunk not found";
    case kErrMarkersFileNotOpen:
        return "the file is not open for reading markers";
    case kErrInvalidSamplerInfo:
        return "the sampler information is not valid";
    case kErrNegativeChunkSize:
        return "a chunk with a negative size";
    case kErrNotSupported:
        return "operation not supported for this file";
    case kErrNoSuchGap:
        return "no such gap";
    case kErrGapListAllocation:
        return "allocating the gap list failed";
    case kErrNameTooLong:
        return "the file name with its extension would exceed 31 characters";
    case kErrFileTooLarge:
        return "the file would be larger than its format allows";
    case kErrNoFORMChunk:
        return "not an AIFF file (no FORM chunk)";
    case kErrNoSSNDChunk:
        return "no sound data (SSND) chunk";
    case kErrNoCOMMChunk:
        return "no common (COMM) chunk";
    case kErrLoopMarkerMissing:
        return "a loop refers to a marker the file does not have";
    case kErrAIFFTooManyChunks:
        return "more than 100 chunks searched";
    case kErrAIFFCompressed:
        return "compressed AIFF-C data is not supported";
    case kErrMalformedFile:
        return "malformed file";
    case kErrNotPCM:
        return "not integer PCM (a compressed or unknown WAVE format)";
    case kErrNoDataChunk:
        return "no data chunk";
    case kErrNoFmtChunk:
        return "no format (fmt) chunk";
    case kErrDataSizeRead:
        return "the data size could not be read";
    case kErrWAVETooManyChunks:
        return "more than 100 chunks searched";
    case kErrFloat32WAVE:
        return "a 32-bit floating-point WAVE file";
    case kErrFloat64WAVE:
        return "a 64-bit floating-point WAVE file";
    case kErrRF64:
        return "an RF64 file";
    default:
        return "unknown error";
    }
}
