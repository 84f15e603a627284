#pragma once
// The markers of a written sound file as an Audacity label file beside it: "<name>.txt", one
// line per marker, "start<TAB>end<TAB>text" in seconds with six decimals (a point: start =
// end), in the order of their positions.

#include <string>

#include <nlohmann/json.hpp>

// The label file's text for the markers of `report` (as ReadSoundFileReport describes a file).
std::string MarkerLabelText(const nlohmann::json& report);

// The label file of the sound file at `soundPath`: its folder and name, the extension replaced
// by ".txt".
std::string MarkerLabelPath(const std::string& soundPath);

// Reads the markers back from the sound file at `soundPath` and writes its label file, under a
// temporary name first, renamed into place once complete. An empty string when written, else
// why not; nothing is left behind on failure.
std::string WriteMarkerLabels(const std::string& soundPath);
