#include "formats/OpenSoundFile.h"

#include <cstdint>

#include "formats/CAIFFFile.h"
#include "formats/CBWFLinearFile.h"
#include "soundfile/ByteOrder.h"
#include "soundfile/FileServices.h"

namespace {

constexpr std::int32_t kSniffSize = 12; // container ID, size, form type

[[nodiscard]] Status ReadHeader(FileServices& files, const FSSpec& fileRef, std::uint8_t* header) {
    std::int16_t refNum = 0;
    Status status = files.Open(fileRef, FilePermission::ReadOnly, &refNum);
    if (status != kNoErr) return status;
    std::int32_t count = kSniffSize;
    status = files.Read(refNum, &count, header);
    const Status closeStatus = files.Close(refNum);
    return status != kNoErr ? status : closeStatus;
}

// A WAVE file with a bext chunk is read as Broadcast WAVE.
std::unique_ptr<CSoundFile> WAVEObject(const FSSpec& fileRef, FileServices& files) {
    CWAVEFile probe(&files);
    bool broadcast = false;
    // A file that cannot be probed is opened as plain WAVE, which reports what is wrong.
    if (probe.ISoundFile(&fileRef) == kNoErr)
        (void)probe.HasChunk(byteorder::FourCC("bext"), &broadcast);
    if (broadcast) return std::make_unique<CBWFLinearFile>(&files);
    return std::make_unique<CWAVEFile>(&files);
}

// A new, unopened object for the container the header names; null for an unknown one.
std::unique_ptr<CSoundFile> ObjectForHeader(const FSSpec& fileRef, const std::uint8_t* header,
                                            FileServices& files) {
    switch (byteorder::LoadBE32(header)) {
    case byteorder::FourCC("FORM"):
        return std::make_unique<CAIFFFile>(&files);
    case byteorder::FourCC("RIFF"):
    case byteorder::FourCC("RF64"): // WAVE with 64-bit sizes
    case byteorder::FourCC("BW64"):
        if (byteorder::LoadBE32(header + 8) == byteorder::FourCC("WAVE"))
            return WAVEObject(fileRef, files);
        return nullptr;
    default:
        return nullptr;
    }
}

} // namespace

[[nodiscard]] Status OpenSoundFile(const FSSpec& fileRef, std::unique_ptr<CSoundFile>* file,
                                   FileServices& services) {
    file->reset();
    std::uint8_t header[kSniffSize] = {0};
    Status status = ReadHeader(services, fileRef, header);
    if (status != kNoErr) return status;
    std::unique_ptr<CSoundFile> object = ObjectForHeader(fileRef, header, services);
    if (!object) return kErrNotSupported;
    status = object->ISoundFile(&fileRef);
    if (status == kNoErr) status = object->Open();
    if (status != kNoErr) {
        // A failed Open leaves the file open for its owner to close.
        // The failure to open is what the caller needs to hear.
        if (object->IsOpen()) (void)object->Close();
        return status;
    }
    *file = std::move(object);
    return kNoErr;
}

[[nodiscard]] Status OpenSoundFile(const FSSpec& fileRef, std::unique_ptr<CSoundFile>* file) {
    return OpenSoundFile(fileRef, file, CurrentFileServices());
}
