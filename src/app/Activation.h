// Activation and deactivation of processing: every source opened, every
// output test-opened, Korvane told that Meldrix is there; or everything
// closed again.
#pragma once

#include <functional>
#include <string>

#include "sources/PortServices.h"

namespace meldrix {

class CMeldrixDoc;
class CStreamDoc;

struct ActivationContext {
  CMeldrixDoc& doc;
  CStreamDoc& log;
  const OutPortServices& services;
  // Sends "[check(Meldrix)]" to Korvane.
  std::function<void()> sendCheck;
};

// Opens everything in list order. On the first failure: a red log line
// 'Could not open message source "%s"' (or destination), "AutoActivate" set
// to 0 in memory and in the file, everything closed again; returns false.
bool ActivateProcessing(const ActivationContext& context);
void DeactivateProcessing(CMeldrixDoc& doc);

}  // namespace meldrix
