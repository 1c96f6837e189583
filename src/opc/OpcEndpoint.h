// Where an OPC server name leads: section "OPC" maps a name to an endpoint URL
// ("Sim=opc.tcp://plc1:4840"); a name not listed there that is itself an
// "opc.tcp://" URL is taken as it is. A node name replaces the URL's host.
// Security keys apply to every server, or to one as "<server>.<key>":
// SecurityPolicy (None, Basic256Sha256, ...), SecurityMode (None, Sign,
// SignAndEncrypt), UserName, Password, CertificateFile, PrivateKeyFile.
#pragma once

#include <optional>
#include <string>

#include "platform/ConfigValueReader.h"

namespace meldrix {

struct OpcEndpoint {
  std::string url;
  std::string securityPolicy, securityMode;  // empty: None
  std::string userName, password;            // empty user: anonymous
  std::string certificateFile, privateKeyFile;
};

inline constexpr const char* kOpcSection = "OPC";

// nullopt when the server name leads nowhere.
std::optional<OpcEndpoint> ResolveOpcEndpoint(const ConfigValueReader& config, const std::string& server,
                                              const std::string& node);
// The URL with its host (and port, when `node` has one) replaced by `node`.
std::string ReplaceUrlHost(const std::string& url, const std::string& node);

}  // namespace meldrix
