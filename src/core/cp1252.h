// Conversion between Velmora's single-byte Windows-1252 texts and UTF-8, for
// terminals, windows and device names. The one place where it is done.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

std::string Cp1252ToUtf8(std::string_view text);
// The same, appended to `out` (which keeps its room: nothing allocated once
// it is large enough).
void AppendCp1252AsUtf8(std::string& out, std::string_view text);

// Characters that Windows-1252 cannot hold become '?'; malformed UTF-8 bytes
// are taken as Windows-1252 bytes themselves.
std::string Utf8ToCp1252(std::string_view text);

} // namespace velmora
