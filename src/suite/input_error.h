// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one error of the readers of files that come from outside (settings files, the text form of
// language files, zip archives): what kind of problem, where, and why.

#include <cstddef>
#include <string>

namespace runemeter {

/// The kind of problem with a file from outside.
enum class InputErrorCode {
    Malformed,   ///< the content breaks the file's format
    TooLarge,    ///< larger than any such file may be; refused before it is read
    Unreadable,  ///< missing, not a file, or the system refused to read it
    Unwritable,  ///< the system refused to write it
};

/// A file from outside that cannot be used: where (the line of a text file, the member number of
/// an archive; 1-based, 0 when the problem concerns the whole file) and the reason in English,
/// UTF-8.
struct InputError {
    InputErrorCode code = InputErrorCode::Malformed;
    std::size_t line = 0;
    std::string message;
};

/// The error as one text for a log or a message: "line 7: unknown type \"x\"", or the reason
/// alone for the whole file.
[[nodiscard]] inline std::string describeInputError(const InputError& error) {
    if (error.line == 0) {
        return error.message;
    }
    return "line " + std::to_string(error.line) + ": " + error.message;
}

}  // namespace runemeter
