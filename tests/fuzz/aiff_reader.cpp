// Fuzz target: CAIFFFile reading arbitrary bytes.
#include "ReaderFuzzing.h"
#include "formats/CAIFFFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzReader(data, size, [] { return std::unique_ptr<CSoundFile>(new CAIFFFile); });
    return 0;
}
