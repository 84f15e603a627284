#pragma once
// How a path the user chose becomes the path handed to a tone or sweep job, which appends the
// extension of the file type itself. The window's save panel and quillgen share this rule.

#include <optional>
#include <string>

// `path` without a trailing "." + `extension` when it already ends in it (and has a name before
// it), else `path` unchanged: "tone.aif" and "tone" both give "tone" for "aif", so the file
// written is "tone.aif" either way.
std::string StripOutputExtension(const std::string& path, const std::string& extension);

// A path whose extension names a sound file format: .wav Broadcast WAVE, .aif or .aiff AIFF, in
// any case. The extension chooses the format and the file keeps it as the user spelled it.
struct NamedFormat {
    int fileType;          // kFileTypeAIFF or kFileTypeBroadcastWave
    std::string stem;      // the path without "." + extension
    std::string extension; // as spelled ("aiff", "WAV")
};
// None when the name has no such extension (".wav" alone is a hidden file's name).
std::optional<NamedFormat> FormatNamedByExtension(const std::string& path);
