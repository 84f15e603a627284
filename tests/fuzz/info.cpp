// Fuzz target: `quillgen info` on arbitrary bytes, its text and its JSON output. The bytes are
// written to a real file in a private folder, so that the path takes the way a user's does.
#include <cstdint>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "ReaderFuzzing.h"
#include "cli/InfoCommand.h"
#include "shell/Preferences.h"

namespace {

// The user's own preferences must not steer what the readers do.
void UsePrivatePreferences() {
    static Preferences preferences("/nonexistent/quillwavecaster-fuzz/preferences.json");
    static const bool installed = (Preferences::ReplaceShared(&preferences), true);
    (void)installed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    UsePrivatePreferences();
    static const std::string path = FuzzFolder() + "/input.wav";
    FuzzWriteInput(path, data, size);

    // The text pass shows the header alone; the JSON pass also reads every frame for the levels.
    for (const bool json : {false, true}) {
        std::ostringstream out, err;
        const int status = quillgen::ShowInfo({path, json, json}, out, err);
        FuzzCheck(status == 0 || status == 1, "exit status 0 or 1");
        if (status == 0) {
            FuzzCheck(!out.str().empty(), "a file read shows something");
            if (json) {
                const auto info = nlohmann::json::parse(out.str(), nullptr, false);
                FuzzCheck(!info.is_discarded(), "the JSON output parses");
                FuzzCheck(info.value("channels", 0) >= 1 && info.value("frames", -1) >= 0 &&
                              info.value("sampleRate", -1.0) >= 0.0,
                          "the format shown is one the reader accepted");
                FuzzCheck(info["levels"].size() == info.value("channels", 0u),
                          "one level per channel");
            }
        } else {
            FuzzCheck(out.str().empty() && !err.str().empty(), "a failure says why, and only that");
        }
    }
    return 0;
}
