#include "engine/Assembly.h"

#include <algorithm>
#include <utility>

#include "mail/Utf8FixUp.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return !end.empty() && text.size() >= end.size() &&
         text.substr(text.size() - end.size()) == end;
}

void TrimTrailing(std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && IsWhiteSpace(text[end - 1])) --end;
  text.resize(end);
}

void TrimLeading(std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && IsWhiteSpace(text[start])) ++start;
  text.erase(0, start);
}

}  // namespace

std::string PrepareEndOfMessage(std::string_view setting) {
  std::string text(setting);
  ReplaceAll(text, "\\r", "\r");
  ReplaceAll(text, "\\n", "\n");
  ReplaceAll(text, "\\t", "\t");
  ReplaceAll(text, "\\f", "\f");
  ReplaceAll(text, "\\\\", "\\");
  // Searching on after each replacement keeps a produced backslash (\x5C)
  // from being read as the start of another notation.
  std::size_t pos = 0;
  while ((pos = text.find("\\x", pos)) != std::string::npos) {
    if (text.size() - pos < 4) break;
    const int high = HexValue(text[pos + 2]);
    const int low = HexValue(text[pos + 3]);
    if (high < 0 || low < 0) break;
    text.replace(pos, 4, 1, static_cast<char>(high * 16 + low));
    pos += 1;
  }
  return text;
}

std::string RemoveEscapeSequences(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 27) {
      ++i;  // the escape and the byte after it
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

void CMessageAssembly::Configure(const AssemblySettings& settings) {
  settings_ = settings;
  window_.clear();
  lineLengthBefore_.clear();
  if (settings_.lineTimeoutMs == 0) lineTimer_ = 0;
}

long CMessageAssembly::MaxLineLength() const {
  return std::min(settings_.maxMessageLength, kMaxAssemblyLength);
}

bool CMessageAssembly::AddChar(char ch) {
  auto c = static_cast<unsigned char>(ch);
  const std::size_t lengthBefore = line_.size();
  const char replacement = settings_.ctrlReplaceChar;

  if (!IsBreak(c)) {
    // The escape filter needs the escape byte itself; it is removed with its
    // follower when the line completes.
    const bool keepEscape = settings_.filterEscapes && c == 27;
    line_.push_back(c < 32 && !keepEscape ? replacement : ch);
  }
  if (settings_.lineTimeoutMs != 0) lineTimer_ = TimerStart(settings_.lineTimeoutMs);

  if (settings_.replaceControlChars && c < 32 && !IsBreak(c))
    c = static_cast<unsigned char>(replacement);

  // An empty sequence never ends a message: lines then end by length or
  // silence, instead of every byte becoming a message of its own.
  const std::string& end = settings_.endOfMessage;
  bool endSeen = false;
  if (!end.empty()) {
    window_.push_back(static_cast<char>(c));
    lineLengthBefore_.push_back(lengthBefore);
    while (window_.size() > end.size()) {
      window_.erase(0, 1);
      lineLengthBefore_.pop_front();
    }
    endSeen = window_ == end;
  }

  if (!endSeen && static_cast<long>(line_.size()) <= MaxLineLength()) {
    // A break inside a message survives once, as CR LF.
    if (IsBreak(c) && !EndsWith(line_, "\r\n")) line_ += "\r\n";
    return false;
  }

  if (endSeen) {
    // Cut what the sequence's bytes added to the line, which for control
    // bytes is their replacement rather than the bytes themselves.
    line_.resize(std::min(lineLengthBefore_.front(), line_.size()));
  } else if (EndsWith(line_, end)) {
    line_.resize(line_.size() - end.size());
  }
  CompleteLine();
  return true;
}

void CMessageAssembly::AddChars(std::string_view bytes) {
  for (char c : bytes) AddChar(c);
}

void CMessageAssembly::HandOverHeld() {
  if (!held_.empty()) completed_.push_back(std::move(held_));
  held_.clear();
  multilineTimer_ = 0;
}

void CMessageAssembly::CheckHeldMessage() {
  if (!held_.empty() && (multilineTimer_ == 0 || TimerTimeout(multilineTimer_))) HandOverHeld();
}

void CMessageAssembly::CompleteLine() {
  std::string line = std::move(line_);
  line_.clear();
  window_.clear();
  lineLengthBefore_.clear();

  if (settings_.filterEscapes) line = RemoveEscapeSequences(line);
  CheckHeldMessage();
  if (line.empty()) {
    HandOverHeld();
    return;
  }
  const bool startsWithWhiteSpace = !held_.empty() && IsWhiteSpace(line.front());
  AddLine(std::move(line), startsWithWhiteSpace);
}

void CMessageAssembly::AddLine(std::string line, bool startsWithWhiteSpace) {
  TrimTrailing(line);
  if (line.empty()) return;
  for (;;) {
    if (settings_.moreLineMessages && startsWithWhiteSpace) {
      TrimLeading(line);
      if (static_cast<long>(held_.size() + 1 + line.size()) > kMaxAssemblyLength) {
        // Too long to hold: hand over what is there and hold the rest anew.
        HandOverHeld();
        held_ = std::move(line);
      } else {
        held_ += ' ';
        held_ += line;
      }
      multilineTimer_ = TimerStart(settings_.multilineTimeoutMs);
      return;
    }
    if (held_.empty()) {
      if (!settings_.moreLineMessages) {
        completed_.push_back(Utf8FixUp(line));
        lineTimer_ = 0;
      } else {
        held_ = std::move(line);
        multilineTimer_ = TimerStart(settings_.multilineTimeoutMs);
      }
      return;
    }
    HandOverHeld();
    startsWithWhiteSpace = false;
  }
}

void CMessageAssembly::CheckLineTimer() {
  if (lineTimer_ == 0 || !TimerTimeout(lineTimer_)) return;
  lineTimer_ = 0;
  if (!line_.empty()) CompleteLine();
}

void CMessageAssembly::FinishPoll() {
  CheckLineTimer();
  CheckHeldMessage();
}

std::deque<std::string> CMessageAssembly::TakeCompleted() {
  std::deque<std::string> taken;
  taken.swap(completed_);
  return taken;
}

std::optional<std::string> CMessageAssembly::TakeOldestCompleted() {
  if (completed_.empty()) return std::nullopt;
  std::string text = std::move(completed_.front());
  completed_.pop_front();
  return text;
}

void CMessageAssembly::Reset() {
  line_.clear();
  held_.clear();
  window_.clear();
  lineLengthBefore_.clear();
  multilineTimer_ = 0;
  lineTimer_ = 0;
  completed_.clear();
}

}  // namespace meldrix
