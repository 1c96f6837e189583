#include "opc/OpcEndpoint.h"

#include "platform/Cp1252.h"

namespace meldrix {
namespace {

constexpr std::string_view kScheme = "opc.tcp://";

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCaseAscii(std::string_view(text).substr(0, prefix.size()), prefix);
}

}  // namespace

std::string ReplaceUrlHost(const std::string& url, const std::string& node) {
  if (node.empty() || !StartsWithNoCase(url, kScheme)) return url;
  const std::size_t hostStart = kScheme.size();
  std::size_t authorityEnd = url.find('/', hostStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  // The host ends at the port's ":" (an IPv6 address is in brackets).
  std::size_t hostEnd = authorityEnd;
  if (url.compare(hostStart, 1, "[") == 0) {
    const std::size_t close = url.find(']', hostStart);
    if (close != std::string::npos && close < authorityEnd) hostEnd = close + 1;
  } else {
    const std::size_t colon = url.find(':', hostStart);
    if (colon != std::string::npos && colon < authorityEnd) hostEnd = colon;
  }
  const bool nodeHasPort = node.back() != ']' && node.find(':') != std::string::npos &&
                           (node.front() != '[' || node.find("]:") != std::string::npos);
  return url.substr(0, hostStart) + node + url.substr(nodeHasPort ? authorityEnd : hostEnd);
}

std::optional<OpcEndpoint> ResolveOpcEndpoint(const ConfigValueReader& config, const std::string& server,
                                              const std::string& node) {
  OpcEndpoint endpoint;
  endpoint.url = config ? config(kOpcSection, server) : std::string();
  if (endpoint.url.empty() && StartsWithNoCase(server, kScheme)) endpoint.url = server;
  if (endpoint.url.empty()) return std::nullopt;
  endpoint.url = ReplaceUrlHost(endpoint.url, node);
  auto setting = [&](const char* key) {
    std::string value = config ? config(kOpcSection, server + "." + key) : std::string();
    return value.empty() && config ? config(kOpcSection, key) : value;
  };
  endpoint.securityPolicy = setting("SecurityPolicy");
  endpoint.securityMode = setting("SecurityMode");
  endpoint.userName = setting("UserName");
  endpoint.password = setting("Password");
  endpoint.certificateFile = setting("CertificateFile");
  endpoint.privateKeyFile = setting("PrivateKeyFile");
  return endpoint;
}

}  // namespace meldrix
