#pragma once
// Opening an existing sound file of any format the engine reads.

#include <memory>

#include "shell/FSSpec.h"
#include "soundfile/CSoundFile.h"

class FileServices;

// Recognises the file's format from its first 12 bytes, makes the matching sound file object
// and opens it for reading (ISoundFile, then Open). On success `*file` holds the open object;
// on failure it is empty and the status says why: the platform's status when the file cannot
// be opened or read, kErrEndOfFile when it is shorter than a header, kErrNotSupported for a
// form the engine does not read, else the format's own reading status. RIFF, RF64 and BW64
// files of form WAVE are read as WAVE (as Broadcast WAVE with a bext chunk). The object reaches the
// file through `services`; without them, through the current file services.
[[nodiscard]] Status OpenSoundFile(const FSSpec& fileRef, std::unique_ptr<CSoundFile>* file,
                                   FileServices& services);
[[nodiscard]] Status OpenSoundFile(const FSSpec& fileRef, std::unique_ptr<CSoundFile>* file);
