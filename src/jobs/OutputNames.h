#pragma once
// How a path the user chose becomes the path handed to a tone or sweep job, which appends the
// extension of the file type itself. The window's save panel and quillgen share this rule.

#include <string>

// `path` without a trailing "." + `extension` when it already ends in it (and has a name before
// it), else `path` unchanged: "tone.aif" and "tone" both give "tone" for "aif", so the file
// written is "tone.aif" either way.
std::string StripOutputExtension(const std::string& path, const std::string& extension);
