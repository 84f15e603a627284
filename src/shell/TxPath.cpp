#include "shell/TxPath.h"

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "shell/TxFiles.h"

namespace {

// The path without trailing separators ("/" stays "/").
std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Splits into the parent directory (made absolute) and the last component. False when there
// is no last component to name a file by (empty path, "/", ".", "..").
bool SplitLeaf(const std::string& path, std::string* parent, std::string* leaf) {
    std::string trimmed = WithoutTrailingSlashes(path);
    if (trimmed.empty() || trimmed == "/") return false;
    std::string::size_type slash = trimmed.find_last_of('/');
    std::string directory = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : trimmed.substr(0, slash);
    *leaf = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (*leaf == "." || *leaf == "..") return false;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(directory, error);
    if (error) return false;
    *parent = WithoutTrailingSlashes(absolute.lexically_normal().string());
    return true;
}

bool IsUsableAlias(const std::string& text) {
    return !text.empty() && text.front() == '/' && text.find('\0') == std::string::npos;
}

std::optional<std::string> EnvironmentPath(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return std::nullopt;
    return std::string(value);
}

std::optional<std::string> UserFolder(FolderLocation location) {
    std::optional<std::string> home = EnvironmentPath("HOME");
    if (!home) return std::nullopt;
    switch (location) {
    case FolderLocation::kHome:
        return home;
    case FolderLocation::kDesktop:
        return *home + "/Desktop";
    case FolderLocation::kDocuments:
        return *home + "/Documents";
    case FolderLocation::kMusic:
        return *home + "/Music";
    case FolderLocation::kPreferences:
        return EnvironmentPath("XDG_CONFIG_HOME").value_or(*home + "/.config");
    case FolderLocation::kTemporary:
        return EnvironmentPath("TMPDIR").value_or("/tmp");
    }
    return std::nullopt;
}

} // namespace

TxPath TxPath::initWithFSSpec(const FSSpec& fileRef) {
    return TxPath(FSSpecFullPath(fileRef));
}

TxPath TxPath::initWithFSRef(const FSRef& ref) {
    return TxPath(ref.path);
}

std::optional<TxPath> TxPath::initWithFindFolderDomainLocation(FolderDomain domain,
                                                               FolderLocation location) {
    std::optional<std::string> path;
    if (domain == FolderDomain::kUser) {
        path = UserFolder(location);
    } else if (location == FolderLocation::kPreferences) {
        path = "/etc/xdg";
    } else if (location == FolderLocation::kTemporary) {
        path = "/tmp";
    }
    if (!path || !TxFiles::isExistingDirectory(*path)) return std::nullopt;
    return TxPath(*path);
}

std::optional<std::string> TxPath::stringWithAliasData(const AliasData& data) {
    std::string text(data.begin(), data.end());
    if (!IsUsableAlias(text) || !TxFiles::isExistingPath(text)) return std::nullopt;
    return text;
}

TxPath TxPath::initWithAliasData(const AliasData& data) {
    return TxPath(stringWithAliasData(data).value_or(std::string()));
}

TxPath TxPath::initWithDictionary(const nlohmann::json& dict) {
    if (!dict.is_object()) return TxPath();
    if (auto alias = dict.find(kTxAliasDataKey); alias != dict.end()) {
        AliasData data;
        bool wellFormed = alias->is_array() || alias->is_binary();
        if (alias->is_binary()) data.assign(alias->get_binary().begin(), alias->get_binary().end());
        if (alias->is_array()) {
            for (const auto& byte : *alias) {
                if (!byte.is_number_unsigned() || byte.get<std::uint64_t>() > 255) {
                    wellFormed = false;
                    break;
                }
                data.push_back(static_cast<std::uint8_t>(byte.get<std::uint64_t>()));
            }
        }
        if (wellFormed) {
            if (std::optional<std::string> resolved = stringWithAliasData(data))
                return TxPath(*resolved);
        }
    }
    if (auto value = dict.find(kTxStringValueKey); value != dict.end() && value->is_string())
        return TxPath(value->get<std::string>());
    return TxPath();
}

TxPath TxPath::initWithCoder(const nlohmann::json& archive) {
    if (archive.is_string()) return TxPath(archive.get<std::string>());
    if (archive.is_object()) {
        if (auto value = archive.find("path"); value != archive.end() && value->is_string())
            return TxPath(value->get<std::string>());
    }
    return TxPath();
}

nlohmann::json TxPath::dictionary() const {
    nlohmann::json dict = {{kTxStringValueKey, path}};
    if (std::optional<AliasData> alias = dataWithAlias()) dict[kTxAliasDataKey] = *alias;
    return dict;
}

std::string TxPath::description() const {
    return dictionary().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json TxPath::encodeWithCoder() const {
    return {{"path", path}};
}

std::optional<TxPath::AliasData> TxPath::dataWithAlias() const {
    if (!exists()) return std::nullopt;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    std::string text = resolved;
    return AliasData(text.begin(), text.end());
}

bool TxPath::exists() const {
    return TxFiles::isExistingPath(path);
}

bool TxPath::toFSRef(FSRef* ref) const {
    if (ref == nullptr || !exists()) return false;
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return false;
    ref->path = WithoutTrailingSlashes(absolute.lexically_normal().string());
    return true;
}

bool TxPath::toFSSpec(FSSpec* fileRef) const {
    return toFSSpecCreateFirst(fileRef, false);
}

bool TxPath::toFSSpecCreateFirst(FSSpec* fileRef, bool createFirst) const {
    if (fileRef == nullptr) return false;
    std::string parent, leaf;
    if (!SplitLeaf(path, &parent, &leaf)) return false;
    if (!TxFiles::isExistingDirectory(parent)) return false;
    // Form the reference before creating anything, so that a name no reference can hold
    // leaves no stray empty file behind.
    FSSpec made;
    if (!MakeFSSpec(parent, leaf, &made)) return false;
    const std::string full = parent == "/" ? "/" + leaf : parent + "/" + leaf;
    if (createFirst) {
        if (!PathServices::Current().CreateFile(full)) return false;
    } else if (PathServices::Current().Kind(full) == PathKind::kUnreachable) {
        return false;
    }
    *fileRef = made;
    return true;
}

std::string TxPath::pathFromFSRef(const FSRef& ref) {
    return ref.path;
}
