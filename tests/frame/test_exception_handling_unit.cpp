// SPDX-License-Identifier: GPL-3.0-or-later
// The crash-event unit's lines in the suite's log.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "frame/exception_handling_unit.h"
#include "suite/logging.h"
#include "suite/tool_services.h"
#include "support/files.h"

namespace runemeter {
namespace {

namespace unit = exception_handling_unit;
using Lines = std::vector<std::string>;

// Events and the lines they write: n noticed, aK action K, fK action K failed, I and F the unit's
// start and end, - logging off.
TEST(ExceptionHandlingUnit, EventsWriteTheirLinesInOrder) {
    const std::vector<std::tuple<const char*, std::string, Lines>> rows = {
        {"a report",
         "n a0 a1 a2 a3 a4 a6 a7 a9 a255 a5 a8",
         {"Veltrane Error noticed", "Module 1: /opt/runemeter",
          "Module 2: /opt/bad\xEF\xBF\xBD/lib.so", "Showing error", "finished showing",
          "Saving error in /home/j\xC3\xBCrgen/t\xC3\xA9st.elf", "Saved", "Sending email",
          "Sent email", "Quitting"}},
        {"failed actions",
         "f0 f1 f2 f3 f4 f5 f6 f8 f9",
         {"plain ***", "Failed to show", "plain ***", "Failed to complete showing", "plain ***",
          "Failed to save", "plain ***", "Failed to complete save", "plain ***", "Failed to send",
          "plain ***", "Failed to complete send", "plain ***", "plain ***", "Failed to quit",
          "plain ***"}},
        {"only the outermost end writes, once; nothing with logging off",
         "I I F F F - n a0 a2 a8 f0 I F",
         {"quitting exception_handling_unit\\r\\n" + std::string(50, '*')}}};
    ExceptionRecord record;
    record.options.outputFolder = "/home/j\xC3\xBCrgen";  // no delimiter at the end
    record.options.moduleFilePath = "/opt/t\xC3\xA9st.bin";
    record.modules = {"/opt/runemeter", "/opt/bad\xFF/lib.so"};
    SetCurrentTool(kRunemeterTool);
    for (const auto& [name, events, expected] : rows) {
        SCOPED_TRACE(name);
        const test::TempDir dir;
        test::writeFile(dir / "veltrane.log", "");
        SetLogFilename(dir / "veltrane.log");
        keeping_log = true;
        std::istringstream in(events);
        for (std::string event; in >> event;) {
            const auto kind = static_cast<std::uint8_t>(std::atoi(event.c_str() + 1));
            bool goAhead = false;
            if (event[0] == 'n')
                unit::onExceptionNoticed(record, goAhead);
            else if (event[0] == 'a')
                unit::onReportingAction(record, kind, goAhead);
            else if (event[0] == 'f')
                unit::onReportingActionFailed(record, kind);
            else if (event == "-")
                keeping_log = false;
            else
                event == "I" ? unit::initialization() : unit::finalization();
            EXPECT_EQ(goAhead, event[0] == 'n' || event[0] == 'a') << event;  // the unit says go on
        }
        keeping_log = false;
        SetLogFilename({});
        // The lines without their time stamps and the tool's name; one written without the name
        // is marked "plain".
        Lines lines = test::splitLines(test::readFile(dir / "veltrane.log"));
        for (std::string& line : lines) {
            line.erase(0, std::string_view("YYYY-MM-DD HH:MM:SS.mmm ").size());
            line = line.rfind("[runemeter] ", 0) == 0 ? line.substr(12) : "plain " + line;
        }
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(unit::initializationCount(), 0);
    }
}

}  // namespace
}  // namespace runemeter
