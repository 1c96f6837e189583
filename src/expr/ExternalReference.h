// Recognition of the names that stand for DDE and OPC items:
//   srv|topic!item, "srv|'my topic'!'item 1'", DDE('srv','top','itm'),
//   OPC('server','item'), server::item, "server@node::item".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace meldrix {

struct DdeReference {
  std::string service, topic, item;
};

struct OpcReference {
  std::string server, node, item;
};

std::optional<DdeReference> ParseDdeReference(std::string_view name);
std::optional<OpcReference> ParseOpcReference(std::string_view name);

}  // namespace meldrix
