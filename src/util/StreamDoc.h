// The log's line store: a ring of fixed-width lines, each with a colour,
// written like a simple terminal. The engine document derives from it; a front
// end (console or window) learns about new and changed lines through an
// observer and through TakeChanges().
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace meldrix {

// One line of the store.
struct StreamLine {
  uint64_t serial = 0;  // running number; grows by one per new line, never reused
  std::string text;     // the line's bytes; unused positions at the end are cut off
  uint32_t colour = 0;
};

// What changed since the last TakeChanges().
struct StreamChanges {
  bool cleared = false;      // everything (clear or new width); the range is then empty
  bool any = false;          // lines firstSerial..lastSerial changed
  uint64_t firstSerial = 0;  // inclusive; a line may since have left the store
  uint64_t lastSerial = 0;
};

class CStreamObserver {
 public:
  virtual ~CStreamObserver() = default;
  // A line was completed: a line feed or a wrap started the next one.
  virtual void LineCompleted(const StreamLine& line) = 0;
  virtual void Cleared() {}
  // Something changed; TakeChanges() tells what. For scheduling a redraw.
  virtual void Changed() {}
};

class CStreamDoc {
 public:
  // Colour bits above the RGB value (0x00BBGGRR).
  static constexpr uint32_t kInverted = 0x80000000u;  // drawn on a background of the colour
  static constexpr uint32_t kMarked = 0x40000000u;    // drawn on yellow
  static constexpr uint32_t kGrey = 0x00808080u;
  static constexpr uint32_t kRgbMask = 0x00FFFFFFu;

  // `screenMode` fills lines with blanks instead of zero bytes. Escape
  // sequences are interpreted only when `escapes` is on: texts from outside
  // must not be able to clear the log.
  explicit CStreamDoc(int lines = 2400, int width = 80, bool screenMode = false,
                      bool escapes = false);
  virtual ~CStreamDoc();
  CStreamDoc(const CStreamDoc&) = delete;
  CStreamDoc& operator=(const CStreamDoc&) = delete;

  void Clear();
  void Clear(int width);  // with a new line width (1 to 4096)
  // The current line and all following text use `colour`.
  void SetColour(uint32_t colour);
  void Write(std::string_view text);
  void WriteFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void SetEscapes(bool on);

  // Observers are not owned and are called with the store locked: they may
  // read it but must not write to it.
  void AddObserver(CStreamObserver* observer);
  void RemoveObserver(CStreamObserver* observer);

  int Capacity() const;
  int Width() const;
  uint32_t Colour() const;
  int LineCount() const;  // lines in use, 1 at least
  // Row 0 is the oldest line; an empty line outside 0..LineCount()-1.
  StreamLine Line(int row) const;
  int CurrentRow() const;
  int CurrentColumn() const;
  uint64_t FirstSerial() const;
  StreamChanges TakeChanges();

 private:
  void ClearLocked(int width);
  void PutChar(char c);
  void StoreChar(char c);
  void NewLine();
  void Interpret(const std::string& sequence);
  void MoveTo(long row, long column);
  void EmptyLine(int slot);
  int RowOfSlot(int slot) const;
  StreamLine LineAtSlot(int slot) const;
  void MarkChanged(int slot);
  void NotifyChanged();

  mutable std::recursive_mutex mutex_;
  const int lines_;
  int width_;
  const bool screenMode_;
  bool escapes_;
  std::vector<char> text_;         // lines_ * width_ bytes
  std::vector<uint32_t> colours_;  // one per line
  int first_ = 0;                  // slot of the oldest line
  int current_ = 0;                // slot of the line being written
  int column_ = 0;
  int used_ = 1;                   // lines in use, counted from first_
  uint32_t colour_ = 0;
  uint64_t firstSerial_ = 0;       // serial of the line in slot first_
  bool collecting_ = false;        // inside an escape sequence
  std::string escape_;
  StreamChanges changes_;
  std::vector<CStreamObserver*> observers_;
};

}  // namespace meldrix
