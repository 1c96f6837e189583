#include "engine/KorvaneCheck.h"

#include <cstdio>
#include <string>

#include "engine/KorvaneReply.h"
#include "util/LogLines.h"
#include "util/StringTable.h"

namespace meldrix {

bool CKorvaneCheck::Run(IKorvane& korvane, CStreamDoc& log) {
  const KorvaneResult result = korvane.Execute(kKorvaneCheckCommand);
  if (!result.Succeeded()) {
    if (!down_) {
      char code[16];
      std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(result.hr));
      std::string text = LoadText("IDS_KORVANE_CHECK_FAILED");
      if (auto at = text.find("%08lX"); at != std::string::npos) text.replace(at, 5, code);
      WriteRedLine(log, text);
    }
    down_ = true;
    return false;
  }
  if (down_) log.Write(LoadText("IDS_KORVANE_CHECK_BACK") + "\n");
  down_ = false;
  return true;
}

}  // namespace meldrix
