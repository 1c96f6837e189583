// Conversion of source text from the character set the devices send
// ("UsedCharset") into Windows-1252, the engine's own text encoding.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

enum class SourceCharset { WindowsAnsi = 0, IbmPc = 1, Din66003 = 2 };

// Windows-1252 byte for a code page 437 byte (control bytes become "~").
unsigned char IbmPcToAnsi(unsigned char c);
// Windows-1252 byte for a DIN 66003 byte (the German 7-bit set: "[" is Ä,
// "{" is ä, "~" is ß; control bytes and bytes from 128 up become "~").
unsigned char Din66003ToAnsi(unsigned char c);

// The text converted by the "UsedCharset" value; 0 and unknown values leave it
// as it is.
std::string ConvertCharset(std::string_view text, int usedCharset);

}  // namespace meldrix
