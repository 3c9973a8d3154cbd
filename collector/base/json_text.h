// SPDX-License-Identifier: GPL-3.0-or-later
// Text as a JSON string, for every answer and message the collector writes.
#pragma once

#include <string>
#include <string_view>

namespace dkq::collector {

// `text` between double quotes; quotes, backslashes and control characters
// escaped, every other byte as it stands.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace dkq::collector
