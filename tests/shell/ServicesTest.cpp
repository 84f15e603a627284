// The process-wide services: notifications (job progress), exceptions and their log lines,
// and the desktop services that show alerts and log lines.
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "shell/ConsoleDesktopServices.h"
#include "shell/DesktopServices.h"
#include "shell/NotificationCenter.h"
#include "shell/QuillException.h"

TEST(NotificationCenter, DeliversToObserversOfThatNameInOrderUntilRemoved) {
    NotificationCenter center;
    std::vector<std::string> calls;
    auto a = center.AddObserver("A", [&](const std::string&, const std::any& o) {
        calls.push_back("first " + std::to_string(std::any_cast<double>(o)));
    });
    NotificationCenter::Token self = 0;
    self = center.AddObserver("A", [&](const std::string&, const std::any&) {
        calls.push_back("once");
        center.RemoveObserver(self); // unsubscribing while called
    });
    {
        ScopedObserver b("A", [&](const std::string&, const std::any&) { calls.push_back("scoped"); },
                         center);
        center.AddObserver("B", [&](const std::string&, const std::any&) { calls.push_back("B"); });
        center.Post("A", 0.5);
    }
    center.RemoveObserver(a);
    center.Post("A", 1.0);
    EXPECT_EQ(calls, (std::vector<std::string>{"first 0.500000", "once", "scoped"}));
}

TEST(QuillException, RaiseFormatsWholeReasonsAndTheLogLineCarriesTheUserInfo) {
    try {
        QuillException::Raise(kTxSoundFileException,
                              "error %d while writing sample data into file '%s'", -34, "/x.aif");
        FAIL() << "Raise returned";
    } catch (const QuillException& e) {
        EXPECT_TRUE(e.Is(kTxSoundFileException));
        EXPECT_EQ(e.LogLine(), "TxSoundFileException thrown: error -34 while writing sample data "
                               "into file '/x.aif' - ");
    }
    const std::string longName(5000, 'n');
    try {
        QuillException::Raise(kQUILException, "could not read '%s'", longName.c_str());
    } catch (const QuillException& e) {
        EXPECT_EQ(e.reason(), "could not read '" + longName + "'");
    }
    QuillException withInfo(kQUILPhaseCheckStopException, "stopped", {{"file", "L\xff"}});
    EXPECT_EQ(withInfo.LogLine(),
              "QUILPhaseCheckStopException thrown: stopped - {\"file\":\"L\xEF\xBF\xBD\"}");
}

TEST(DesktopServices, InstalledServicesReceiveCallsFromAnyThreadUntilTheScopeEnds) {
    struct Recording : DesktopServices {
        void alert(const std::string& title, const std::string& message) override {
            lines.push_back("alert " + title + "|" + message);
        }
        void log(const std::string& line) override { lines.push_back("log " + line); }
        std::vector<std::string> lines;
    } recording;
    DesktopServices& console = DesktopServices::Current();
    {
        ScopedDesktopServices scope(recording);
        DesktopServices::Current().log("one");
        std::thread([] { DesktopServices::Current().alert("Title", "Message"); }).join();
    }
    EXPECT_EQ(&DesktopServices::Current(), &console);
    EXPECT_EQ(recording.lines, (std::vector<std::string>{"log one", "alert Title|Message"}));

    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        ConsoleDesktopServices onConsole(stream);
        onConsole.alert("Could not save sound file", "An error occurred.");
        onConsole.log("line");
    }
    std::rewind(stream);
    char text[128] = {0};
    std::fread(text, 1, sizeof text - 1, stream);
    std::fclose(stream);
    EXPECT_STREQ(text, "Could not save sound file: An error occurred.\nline\n");
}
