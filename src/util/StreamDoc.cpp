#include "util/StreamDoc.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace meldrix {
namespace {

// Texts are written in pieces so other writers get the store in between.
constexpr size_t kWritePiece = 2000;
// Longer sequences are not ours: they are dropped instead of growing without end.
constexpr size_t kMaxEscapeLength = 32;
// A line is never wider than this, whatever a caller asks for.
constexpr int kMaxWidth = 4096;

int BoundedWidth(int width) { return std::clamp(width, 1, kMaxWidth); }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Reads a decimal number at text[pos], advancing pos; large values saturate.
long ReadNumber(const std::string& text, size_t& pos) {
  long value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = std::min(value * 10 + (text[pos] - '0'), 1'000'000L);
    ++pos;
  }
  return value;
}

}  // namespace

CStreamDoc::CStreamDoc(int lines, int width, bool screenMode, bool escapes)
    : lines_(std::max(lines, 1)), width_(BoundedWidth(width)), screenMode_(screenMode),
      escapes_(escapes) {
  ClearLocked(width_);
  changes_ = {};
}

CStreamDoc::~CStreamDoc() = default;

void CStreamDoc::Clear() {
  std::lock_guard lock(mutex_);  // recursive: keeps the width read and the clear together
  Clear(width_);
}

void CStreamDoc::Clear(int width) {
  std::lock_guard lock(mutex_);
  collecting_ = false;
  escape_.clear();
  ClearLocked(BoundedWidth(width));
  NotifyChanged();
}

void CStreamDoc::ClearLocked(int width) {
  // New serials continue above every earlier one, so a front end never
  // mistakes a line after the clear for one before it.
  firstSerial_ += static_cast<uint64_t>(used_);
  width_ = width;
  text_.assign(static_cast<size_t>(lines_) * static_cast<size_t>(width_), screenMode_ ? ' ' : '\0');
  colours_.assign(static_cast<size_t>(lines_), colour_);
  first_ = current_ = column_ = 0;
  used_ = 1;
  changes_ = {};
  changes_.cleared = true;
  for (CStreamObserver* observer : observers_) observer->Cleared();
}

void CStreamDoc::SetColour(uint32_t colour) {
  std::lock_guard lock(mutex_);
  colour_ = colour;
  colours_[static_cast<size_t>(current_)] = colour;
  MarkChanged(current_);
  NotifyChanged();
}

void CStreamDoc::SetEscapes(bool on) {
  std::lock_guard lock(mutex_);
  escapes_ = on;
  if (!on) {
    collecting_ = false;
    escape_.clear();
  }
}

void CStreamDoc::Write(std::string_view text) {
  while (!text.empty()) {
    const std::string_view piece = text.substr(0, kWritePiece);
    text.remove_prefix(piece.size());
    std::lock_guard lock(mutex_);
    for (const char c : piece) PutChar(c);
    NotifyChanged();
  }
}

void CStreamDoc::WriteFormatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  Write(text);
}

void CStreamDoc::PutChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (collecting_) {
    if (byte >= 0x20) {
      escape_ += c;
      if (IsAsciiLetter(c)) {
        collecting_ = false;
        const std::string sequence = std::move(escape_);
        escape_.clear();
        Interpret(sequence);
      } else if (escape_.size() > kMaxEscapeLength) {
        collecting_ = false;
        escape_.clear();
      }
      return;
    }
    // A control character cannot be part of a sequence; it ends a broken one
    // and keeps its own meaning, so the line structure survives.
    collecting_ = false;
    escape_.clear();
  }
  if (column_ >= width_) {
    NewLine();
    if (c == '\n') return;  // no empty line after a wrapped one
  }
  switch (c) {
    case '\b':
      if (column_ > 0) {
        --column_;
        text_[static_cast<size_t>(current_) * static_cast<size_t>(width_) +
              static_cast<size_t>(column_)] = ' ';
        MarkChanged(current_);
      }
      break;
    case '\t': {
      const int stop = std::min((column_ / 8 + 1) * 8, width_);
      while (column_ < stop) StoreChar(' ');
      break;
    }
    case '\n':
      NewLine();
      break;
    case '\r':
      column_ = 0;
      break;
    case '\x1b':
      if (escapes_) {
        collecting_ = true;
        escape_.clear();
      } else {
        StoreChar(c);
      }
      break;
    default:
      StoreChar(c);
  }
}

void CStreamDoc::StoreChar(char c) {
  text_[static_cast<size_t>(current_) * static_cast<size_t>(width_) + static_cast<size_t>(column_)] = c;
  ++column_;
  MarkChanged(current_);
}

void CStreamDoc::NewLine() {
  const StreamLine completed = observers_.empty() ? StreamLine{} : LineAtSlot(current_);
  current_ = (current_ + 1) % lines_;
  if (current_ == first_) {
    // The ring is full: the oldest line goes (in screen mode, everything
    // moves up one row, which is the same thing).
    first_ = (first_ + 1) % lines_;
    ++firstSerial_;
  } else {
    used_ = std::max(used_, RowOfSlot(current_) + 1);
  }
  EmptyLine(current_);
  column_ = 0;
  MarkChanged(current_);
  for (CStreamObserver* observer : observers_) observer->LineCompleted(completed);
}

void CStreamDoc::EmptyLine(int slot) {
  auto begin = text_.begin() + static_cast<ptrdiff_t>(slot) * width_;
  std::fill(begin, begin + width_, screenMode_ ? ' ' : '\0');
  colours_[static_cast<size_t>(slot)] = colour_;
}

void CStreamDoc::Interpret(const std::string& sequence) {
  if (sequence == "[2J") {
    ClearLocked(width_);
  } else if (sequence == "[0m") {
    colour_ = 0;
    colours_[static_cast<size_t>(current_)] = colour_;
    MarkChanged(current_);
  } else if (sequence == "[1m") {
    colour_ = kGrey;
    colours_[static_cast<size_t>(current_)] = colour_;
    MarkChanged(current_);
  } else if (sequence == "[7m") {
    colour_ = kInverted;
    colours_[static_cast<size_t>(current_)] = colour_;
    MarkChanged(current_);
  } else if (sequence.size() >= 2 && sequence[0] == '[' && sequence.back() == 'H') {
    size_t pos = 1;
    const long row = ReadNumber(sequence, pos);
    long column = 0;
    if (pos < sequence.size() && sequence[pos] == ';') {
      ++pos;
      column = ReadNumber(sequence, pos);
    }
    if (pos == sequence.size() - 1) MoveTo(row, column);
  }
}

void CStreamDoc::MoveTo(long row, long column) {
  // Rows count from the oldest line, as on a screen.
  const int r = static_cast<int>(std::min<long>(row, lines_ - 1));
  current_ = (first_ + r) % lines_;
  used_ = std::max(used_, r + 1);
  column_ = static_cast<int>(std::min<long>(column, width_));
}

int CStreamDoc::RowOfSlot(int slot) const { return (slot - first_ + lines_) % lines_; }

StreamLine CStreamDoc::LineAtSlot(int slot) const {
  StreamLine line;
  line.serial = firstSerial_ + static_cast<uint64_t>(RowOfSlot(slot));
  line.colour = colours_[static_cast<size_t>(slot)];
  const char* begin = text_.data() + static_cast<ptrdiff_t>(slot) * width_;
  size_t length = static_cast<size_t>(width_);
  if (!screenMode_)
    while (length > 0 && begin[length - 1] == '\0') --length;
  line.text.assign(begin, length);
  return line;
}

void CStreamDoc::MarkChanged(int slot) {
  if (changes_.cleared) return;
  const uint64_t serial = firstSerial_ + static_cast<uint64_t>(RowOfSlot(slot));
  if (!changes_.any) {
    changes_.any = true;
    changes_.firstSerial = changes_.lastSerial = serial;
  } else {
    changes_.firstSerial = std::min(changes_.firstSerial, serial);
    changes_.lastSerial = std::max(changes_.lastSerial, serial);
  }
}

void CStreamDoc::NotifyChanged() {
  for (CStreamObserver* observer : observers_) observer->Changed();
}

void CStreamDoc::AddObserver(CStreamObserver* observer) {
  std::lock_guard lock(mutex_);
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void CStreamDoc::RemoveObserver(CStreamObserver* observer) {
  std::lock_guard lock(mutex_);
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

int CStreamDoc::Capacity() const { return lines_; }

int CStreamDoc::Width() const {
  std::lock_guard lock(mutex_);
  return width_;
}

uint32_t CStreamDoc::Colour() const {
  std::lock_guard lock(mutex_);
  return colour_;
}

int CStreamDoc::LineCount() const {
  std::lock_guard lock(mutex_);
  return used_;
}

StreamLine CStreamDoc::Line(int row) const {
  std::lock_guard lock(mutex_);
  if (row < 0 || row >= used_) return {};
  return LineAtSlot((first_ + row) % lines_);
}

int CStreamDoc::CurrentRow() const {
  std::lock_guard lock(mutex_);
  return RowOfSlot(current_);
}

int CStreamDoc::CurrentColumn() const {
  std::lock_guard lock(mutex_);
  return column_;
}

uint64_t CStreamDoc::FirstSerial() const {
  std::lock_guard lock(mutex_);
  return firstSerial_;
}

StreamChanges CStreamDoc::TakeChanges() {
  std::lock_guard lock(mutex_);
  StreamChanges taken = changes_;
  changes_ = {};
  return taken;
}

}  // namespace meldrix
