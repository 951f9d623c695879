// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The crash-event unit: ties the crash reporter to the suite's log. Each time the reporter
// notices an unhandled exception, or runs or fails one of its reporting actions, the unit writes
// lines to the log while logging is on. It never changes what the reporter does: it always lets
// it go ahead.

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/crash_reporter.h"

namespace runemeter::exception_handling_unit {

/// Unit initialisation (only the first of nested calls acts): sets the reporter's output folder
/// to the running executable's folder (argv0 when /proc/self/exe cannot be read), the user
/// folder as the fall-back, installs the three handlers and the std::terminate reporter.
void initialization(std::string_view argv0 = {});

/// Unit finalisation (only the call that brings the counter back to zero acts): writes the
/// unit's closing line while logging is on.
void finalization();

/// How many initialisations are not yet finalised.
[[nodiscard]] int initializationCount();

/// Exception noticed: "Veltrane Error noticed"; handled is always set.
void onExceptionNoticed(const ExceptionRecord& record, bool& handled);

/// Reporting action about to run: the lines of the kind; execute is always set.
void onReportingAction(const ExceptionRecord& record, std::uint8_t kind, bool& execute);

/// Reporting action failed: "***" then the failure line of the kind.
void onReportingActionFailed(const ExceptionRecord& record, std::uint8_t kind);

/// The folder of an executable path with its trailing delimiter (empty when it has none).
[[nodiscard]] std::string executableFolder(std::string_view executablePath);

}  // namespace runemeter::exception_handling_unit
