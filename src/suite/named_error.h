// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Base of the exceptions that carry one of the system's fixed messages: the class name is kept
// so tools can report "EClass: message".

#include <stdexcept>
#include <string>
#include <string_view>

namespace runemeter {

/// An exception with a class name for reports.
class NamedError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    /// The class name as shown to users, e.g. "ELangFileError".
    [[nodiscard]] virtual std::string_view className() const noexcept = 0;
};

}  // namespace runemeter
