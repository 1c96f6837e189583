// The engine document behind the main loop: creates CMeldrixDoc (which loads
// the configuration), the serial library with the "Ports" of the
// configuration file, and carries out activation and deactivation.
#pragma once

#include <memory>
#include <string>

#include "app/EngineHost.h"

namespace meldrix {

class EventLoop;

struct EngineStartup {
  std::string instanceName;
  // Watches the program's DDE service; without a loop no service is started.
  EventLoop* loop = nullptr;
};

// Works out the configuration paths, sets the language, starts the DDE
// service "Meldrix" (when a loop is given) and creates the document. Throws std::runtime_error when the engine cannot be made at all.
std::unique_ptr<IEngineHost> CreateEngineHost(const EngineStartup& startup);

}  // namespace meldrix
