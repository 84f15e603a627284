#pragma once
// The texts of the alerts that tell the user a job failed. Below them each alert gives the
// failure's reason: what failed, on which path, and why.

// A tone, sweep or noise file.
inline constexpr const char* kSoundFileAlertTitle = "Could not save sound file";
inline constexpr const char* kSoundFileAlertMessage =
    "An error occurred while trying to generate your sound file.";
// A set of files, one per speaker, and the voices of any announcement in it.
inline constexpr const char* kSoundFilesAlertTitle = "Could not save sound files";
inline constexpr const char* kSoundFilesAlertMessage =
    "An error occurred while trying to generate your phase check files.";
