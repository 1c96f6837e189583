// The log's console front end for the headless program: prints every
// completed line of a CStreamDoc, as UTF-8, with ANSI colours when the output
// is a terminal, with a syslog priority prefix ("<3>") when it is the
// systemd journal, and as plain text otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

#include "util/StreamDoc.h"

namespace meldrix {

class CConsoleLog : public CStreamObserver {
 public:
  // `onFailure` runs once, when writing to `out` first fails.
  CConsoleLog(std::ostream& out, bool colours, std::function<void()> onFailure = {});

  // Whether the descriptor is a terminal (so colours make sense).
  static bool IsTerminal(int fd);
  // Whether the descriptor is the journal's stream: $JOURNAL_STREAM names
  // its device and inode.
  static bool IsJournal(int fd);

  // From now on every line carries its priority for the journal, without
  // colours. Sent commands are the red lines that begin with `sentPrefix`.
  void UseJournalPriorities(std::string sentPrefix);
  // Errors and other red or highlighted lines are err (3), sent commands
  // notice (5), the rest info (6).
  static int JournalPriority(const StreamLine& line, const std::string& sentPrefix);

  // Once the output fails (its reader went away, the disk is full) nothing
  // more is written to it; processing goes on and the log store keeps every line.
  void LineCompleted(const StreamLine& line) override;
  bool OutputFailed() const { return failed_; }
  // Prints the line still being written, if it holds text; for the end of
  // the run, so the last words are not lost.
  void FlushPartialLine(const CStreamDoc& doc);

  // One output line without its line feed. Control characters are shown in
  // caret notation ("^[") so no text can steer the terminal; unused positions
  // inside the line become blanks.
  static std::string Render(const StreamLine& line, bool colours);
  // The SGR sequence for a log colour, "" for the terminal's default.
  static std::string AnsiStyle(uint32_t colour);

 private:
  std::ostream& out_;
  bool colours_;
  std::function<void()> onFailure_;
  bool failed_ = false;
  bool journal_ = false;
  std::string sentPrefix_;
};

}  // namespace meldrix
