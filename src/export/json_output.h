// fwpak-export's JSON: one document with the report's time and one object per
// adapter, for inventories.
#pragma once

#include <string>

#include "report/report_items.h"

// The text of s as a JSON string, quotes included: quote, backslash and every
// control character escaped, the rest (UTF-8, as the report reader gives it) as is.
std::string json_string(const std::string& s);

// The whole document, ending with a newline.
std::string json_document(const std::string& report_path, const report_items& report);
