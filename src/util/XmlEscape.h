// Escaping of text for the XML requests of the local mail service.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

// Text for an XML element or attribute: & ' < > " become references, and the
// German umlauts and sharp s become numeric references of their
// Windows-1252 codes (the request is declared as "ansi").
std::string XmlEscape(std::string_view text);

}  // namespace meldrix
