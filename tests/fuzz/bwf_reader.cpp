// Fuzz target: CBWFLinearFile reading arbitrary bytes, bext fields included.
#include "ReaderFuzzing.h"
#include "formats/CBWFLinearFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzReader(
        data, size, [] { return std::unique_ptr<CSoundFile>(new CBWFLinearFile); },
        [](CSoundFile& file) {
            const BWFBextInfo& bext = static_cast<CBWFLinearFile&>(file).GetBextInfo();
            FuzzCheck(bext.description.size() <= 256 && bext.originator.size() <= 32 &&
                          bext.originatorReference.size() <= 32 &&
                          bext.originationDate.size() <= 10 && bext.originationTime.size() <= 8,
                      "bext text within its field");
        });
    return 0;
}
