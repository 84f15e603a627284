// Fuzz target: CWAVEFile reading arbitrary bytes, and the bext probe that picks the reader.
#include "ReaderFuzzing.h"
#include "formats/CWAVEFile.h"
#include "soundfile/ByteOrder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzReader(
        data, size, [] { return std::unique_ptr<CSoundFile>(new CWAVEFile); },
        [](CSoundFile& file) {
            CWAVEFile probe;
            const FSSpec fileRef = file.GetFSSpec();
            bool present = false;
            // Any status will do; the file must be closed again.
            if (probe.ISoundFile(&fileRef) == kNoErr)
                (void)probe.HasChunk(byteorder::FourCC("bext"), &present);
            FuzzCheck(!probe.IsOpen(), "HasChunk closes the file");
        });
    return 0;
}
