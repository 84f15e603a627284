#pragma once
// A path object: one UTF-8 path string, turned into the file references the sound file engine
// creates and opens files through. Every operation reports failure by its result; none throws.
//
// A persistent reference ("alias data") is the absolute, symlink-free path of an existing file
// as bytes; it resolves only while something exists at that path.
// Dictionary form: "TxStringValue" -> the path string, "TxAliasData" -> the persistent
// reference as an array of byte values (present only for an existing path).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "shell/FSSpec.h"

// A reference to an existing file or directory: its absolute path.
struct FSRef {
    std::string path;
};

// Well-known folders of the user's domain.
enum class FolderLocation { kHome, kDesktop, kDocuments, kMusic, kPreferences, kTemporary };
enum class FolderDomain { kUser, kSystem };

inline constexpr const char* kTxStringValueKey = "TxStringValue";
inline constexpr const char* kTxAliasDataKey = "TxAliasData";

class TxPath {
  public:
    using AliasData = std::vector<std::uint8_t>;

    TxPath() = default; // the empty path
    explicit TxPath(std::string path) : path(std::move(path)) {}

    static TxPath initWithString(std::string path) { return TxPath(std::move(path)); }
    // The path of the reference (the folder's path with the leaf appended), whether or not the
    // file exists yet.
    static TxPath initWithFSSpec(const FSSpec& fileRef);
    static TxPath initWithFSRef(const FSRef& ref);
    // The folder's path, or nothing when the system does not have it.
    static std::optional<TxPath> initWithFindFolderDomainLocation(FolderDomain domain,
                                                                  FolderLocation location);
    // The resolved reference, or the empty path when it does not resolve.
    static TxPath initWithAliasData(const AliasData& data);
    static std::optional<std::string> stringWithAliasData(const AliasData& data);
    // The resolved "TxAliasData" if it resolves, else "TxStringValue", else the empty path.
    static TxPath initWithDictionary(const nlohmann::json& dict);
    // Archived form: {"path": string} (keyed) or a bare string (sequential).
    static TxPath initWithCoder(const nlohmann::json& archive);

    nlohmann::json dictionary() const;
    std::string description() const;        // the dictionary as JSON text
    nlohmann::json encodeWithCoder() const; // the keyed archived form
    // A persistent reference for the path, or nothing when nothing exists there.
    std::optional<AliasData> dataWithAlias() const;

    const std::string& stringValue() const { return path; }
    void setStringValue(std::string value) { path = std::move(value); }

    // Whether anything exists at the path.
    bool exists() const;

    // Succeeds only when a file or directory exists at the path.
    bool toFSRef(FSRef* ref) const;
    // The reference of the path, whether or not the file exists; fails when the parent
    // directory does not exist or the leaf name does not fit a reference.
    bool toFSSpec(FSSpec* fileRef) const;
    // As toFSSpec; with `createFirst`, an empty file is created at the path first (failing when
    // one exists already).
    bool toFSSpecCreateFirst(FSSpec* fileRef, bool createFirst) const;

    // The POSIX path of a reference.
    static std::string pathFromFSRef(const FSRef& ref);

    bool operator==(const TxPath& other) const = default;

  private:
    std::string path;
};
