// The periodic "[check(Meldrix)]": tells the log once when Korvane stops
// answering and once when it answers again, instead of a line every minute.
#pragma once

#include "engine/Korvane.h"
#include "util/StreamDoc.h"

namespace meldrix {

class CKorvaneCheck {
 public:
  // Sends the check; writes a red line when Korvane has just stopped
  // answering and a normal line when it has just come back. True when
  // Korvane answered.
  bool Run(IKorvane& korvane, CStreamDoc& log);
  bool KorvaneDown() const { return down_; }

 private:
  bool down_ = false;
};

}  // namespace meldrix
