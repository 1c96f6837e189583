// Where the system functions meet the file system: engine texts are
// Windows-1252, file names on this system UTF-8, and names written for
// Windows use "\" between their parts.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// The name as the file calls need it: every "\" turned into "/", then UTF-8.
std::string ExprFileSystemName(std::string_view name);

// The content of a text file as an engine text: a file that starts with a
// UTF-8 byte-order mark, or whose bytes are valid UTF-8 with at least one
// multi-byte character, is converted from UTF-8 (characters without a
// Windows-1252 form become "?"); any other file is taken as it is. `cut` says
// the read stopped at a limit, so a character may be cut off at the end.
std::string FileTextToCp1252(std::string bytes, bool cut);

}  // namespace meldrix
