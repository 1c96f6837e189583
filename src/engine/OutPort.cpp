#include "engine/OutPort.h"

namespace meldrix {

COutPort* COutPortArray::FindById(int id) {
  if (id == 0) return nullptr;
  for (auto& port : items_)
    if (port->m_Id == id) return port.get();
  return nullptr;
}

}  // namespace meldrix
