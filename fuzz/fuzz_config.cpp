// The configuration file reader: any bytes are a configuration file. Parsing
// and writing back unchanged gives the same bytes; every key the file names
// can be read; a value set is read back as set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/PrivateProfile.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniDocument doc = IniDocument::Parse(bytes);
  // Lines are kept byte for byte: a file read and written back is unchanged.
  if (doc.Serialize() != bytes) std::abort();

  // Every "key=" the file holds, asked in every section, as the engine asks.
  const auto sections = doc.SectionNames();
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const size_t nl = rest.find('\n');
    const std::string_view line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view{} : rest.substr(nl + 1);
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = TrimBlanks(line.substr(0, eq));
    for (const std::string& section : sections) {
      if (auto value = doc.Get(section, key)) {
        (void)ParseProfileInt(*value, -1);
        (void)ParseDecimalLong(*value);
        (void)doc.Get(section, key, value->size() / 2);
      }
    }
  }
  (void)ParseProfileInt(bytes, 7);
  (void)ParseDecimalLong(bytes);

  // A plain key and value set in the first section (or a new one) read back as set,
  // also after the file has been written and read again.
  const std::string section = sections.empty() ? std::string("Fuzz") : sections.front();
  const std::string value = "V" + std::to_string(size) + "x";
  doc.Set(section, "FuzzKey", value);
  if (doc.Get(section, "fuzzkey") != value) std::abort();
  IniDocument again = IniDocument::Parse(doc.Serialize());
  if (again.Get(section, "FuzzKey") != value) std::abort();
  again.DeleteKey(section, "FuzzKey");
  if (again.Get(section, "FuzzKey")) std::abort();
  for (const std::string& name : sections) again.DeleteSection(name);
  if (!again.SectionNames().empty() && !sections.empty()) {
    // Sections named in the first pass are gone; only a section the reread
    // found anew (a name changed by the write) may stay.
    for (const std::string& name : again.SectionNames())
      for (const std::string& gone : sections)
        if (name == gone) std::abort();
  }
  return 0;
}
