#include "platform/SerialLibrary.h"

#include <mutex>
#include <vector>

#include "platform/SerialTermios.h"

namespace meldrix {

namespace {

struct LibrarySlot {
  std::mutex mutex;
  std::shared_ptr<ISerialLibrary> current;
  // Replaced libraries stay alive: a caller on another thread may still hold
  // the reference it got (replacement happens at start-up and in tests).
  std::vector<std::shared_ptr<ISerialLibrary>> retired;
};

LibrarySlot& Slot() {
  static LibrarySlot slot;
  return slot;
}

}  // namespace

ISerialLibrary& SerialLibrary() {
  LibrarySlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (!slot.current) slot.current = std::make_shared<CTermiosSerialLibrary>();
  return *slot.current;
}

void SetSerialLibrary(std::shared_ptr<ISerialLibrary> library) {
  LibrarySlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (slot.current) slot.retired.push_back(slot.current);
  slot.current = std::move(library);
}

}  // namespace meldrix
