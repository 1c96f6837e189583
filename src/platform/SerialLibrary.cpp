#include "platform/SerialLibrary.h"

#include "platform/Env.h"

namespace meldrix {

ISerialLibrary& SerialLibrary() { return *ProcessEnv().serial; }

}  // namespace meldrix
