#pragma once
// The per-user preferences: a JSON object kept in
// $XDG_CONFIG_HOME/quillwavecaster/preferences.json (~/.config/... when the variable is unset),
// plus defaults declared at start-up and held in memory only. Reads fall back from the stored
// value to the declared default to nothing / false / 0. Stores reach the file at once.
// Every member is safe to call from any thread.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "shell/ScopedInstall.h"

// Keys the sound file readers consult when they open an existing file.
inline constexpr const char* kIgnoreRegionsContainingWholeFile =
    "Ignore Regions Containing Whole File";
inline constexpr const char* kProcessFileIfNoRegions = "Process File If No Regions";
inline constexpr const char* kSkipBadRegion = "Skip Bad Region";

class Preferences {
  public:
    // A store on `file`. A missing, unreadable or corrupt file reads as empty.
    explicit Preferences(std::filesystem::path file);

    // The process-wide store (on DefaultFile() unless a replacement is installed).
    static Preferences& Shared();
    // Installs `replacement` as the shared store (nullptr: the user's own again) and returns the
    // previous replacement. Tests use ScopedSharedPreferences instead.
    static Preferences* ReplaceShared(Preferences* replacement);
    // $XDG_CONFIG_HOME/quillwavecaster/preferences.json, else $HOME/.config/...
    static std::filesystem::path DefaultFile();

    // Declares key -> value defaults; non-object arguments are ignored. Later declarations of
    // the same key win.
    void RegisterDefaults(const nlohmann::json& dict);

    // The stored value, else the declared default, else false. Numbers count as true when
    // non-zero; the strings "YES"/"true" (any case) and non-zero integers as text likewise.
    bool GetBool(const std::string& key) const;
    // The stored value, else the declared default, else 0; fractions are cut toward zero and
    // values beyond 32 bits are clamped; booleans give 0 or 1; text is read as an integer.
    std::int32_t GetInt(const std::string& key) const;
    // The stored value, else the declared default, else nothing.
    std::optional<nlohmann::json> GetObject(const std::string& key) const;

    // Stores `value` under `key` and writes the file at once (temporary file + rename, the
    // folder created when missing). Returns false when the file could not be written; the value
    // is then still visible to reads in this process.
    bool SetObject(const std::string& key, const nlohmann::json& value);

    const std::filesystem::path& File() const { return file; }

  private:
    std::optional<nlohmann::json> Lookup(const std::string& key) const;

    std::filesystem::path file;
    mutable std::mutex mutex;
    nlohmann::json stored = nlohmann::json::object();
    nlohmann::json defaults = nlohmann::json::object();
};

// Makes `replacement` the shared store for the lifetime of the object.
using ScopedSharedPreferences = ScopedInstall<Preferences, &Preferences::ReplaceShared>;

// Declares, in the shared store, the defaults of the three keys the file readers consult:
// kIgnoreRegionsContainingWholeFile = true, kProcessFileIfNoRegions = true, kSkipBadRegion = 0.
void DeclareReaderDefaults();
