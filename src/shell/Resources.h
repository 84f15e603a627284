#pragma once
// The application's resource files (voice samples, speaker table, help, About text, images),
// found by name and type as <dir>/<name>.<type>. The folder is $QUILL_RESOURCES when set,
// else the installed share folder when it exists, else the source tree's resources/.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The folder resources are looked up in.
std::filesystem::path ResourceDirectory();

// The path of the regular file <dir>/<name>.<type> (<dir>/<name> for an empty type), or
// nothing when there is no such file or the name would reach outside the folder.
std::optional<std::string> PathForResource(const std::string& name, const std::string& type);

// The whole file as bytes, or nothing when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ContentsOfFile(const std::string& path);

// The JSON object stored in the file, or nothing when the file cannot be read, is not valid
// JSON or does not hold an object.
std::optional<nlohmann::json> DictionaryFromFile(const std::string& path);
