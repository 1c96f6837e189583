#include "engine/KorvaneReply.h"

#include <unordered_set>

#include "platform/Cp1252.h"

namespace meldrix {

namespace {

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlankOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrTab(text.back())) text.remove_suffix(1);
  return text;
}

bool IsAtolSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string ReceiverName(std::string_view entry) {
  size_t bracket = entry.rfind('[');
  std::string_view name = bracket == std::string_view::npos ? entry : entry.substr(0, bracket);
  if (name.size() >= 2 && name[name.size() - 2] == '.')
    name.remove_suffix(2);
  else if (name.size() >= 3 && name[name.size() - 3] == '.')
    name.remove_suffix(3);
  return std::string(name);
}

}  // namespace

std::string KorvaneSendCommand(std::string_view receivers, std::string_view text) {
  receivers = TrimBlanks(receivers);
  std::string command = receivers.find(':') != std::string_view::npos ? "[send(S|" : "[send(*|";
  command.append(receivers);
  command += '|';
  command.append(text);
  command += "|||||)]";
  return command;
}

bool IsKorvaneSendAccepted(std::string_view reply) {
  if (reply.empty()) return false;
  if (reply.size() >= 32) return true;
  size_t i = 0;
  while (i < reply.size() && IsAtolSpace(reply[i])) ++i;
  if (i < reply.size() && (reply[i] == '+' || reply[i] == '-')) ++i;
  // Any non-zero digit makes the number non-zero; no need to compute it (and
  // so no overflow on long digit strings).
  for (; i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i)
    if (reply[i] != '0') return true;
  return false;
}

void AddKorvaneReceivers(std::string_view reply, std::vector<std::string>& names) {
  std::unordered_set<std::string> known;
  for (const std::string& existing : names) known.insert(Cp1252Upper(existing));
  while (!reply.empty() && IsBlankOrTab(reply.front())) reply.remove_prefix(1);
  while (!reply.empty()) {
    size_t bar = reply.find('|');
    std::string_view entry = reply.substr(0, bar);
    reply = bar == std::string_view::npos ? std::string_view() : reply.substr(bar + 1);
    std::string name = ReceiverName(entry);
    if (name.empty()) continue;
    if (known.insert(Cp1252Upper(name)).second) names.push_back(std::move(name));
  }
}

std::vector<std::string> ParseKorvaneReceivers(std::string_view reply) {
  std::vector<std::string> names;
  AddKorvaneReceivers(reply, names);
  return names;
}

}  // namespace meldrix
