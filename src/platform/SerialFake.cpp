#include "platform/SerialFake.h"

namespace meldrix {

void FakeSerialLibrary::SetOpenError(unsigned port, std::uint32_t error) {
  std::lock_guard lock(mutex_);
  ports_[port].openError = error;
}

void FakeSerialLibrary::Receive(unsigned port, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  Port& p = ports_[port];
  if (!p.handle) return;
  std::size_t room = p.params->receiveBufferSize - p.received.size();
  // A full receive buffer loses what does not fit, as an overrun device would.
  p.received.insert(p.received.end(), bytes.begin(), bytes.begin() + std::min(room, bytes.size()));
}

std::string FakeSerialLibrary::Sent(unsigned port) const {
  std::lock_guard lock(mutex_);
  auto it = ports_.find(port);
  return it == ports_.end() ? std::string() : it->second.sent;
}

void FakeSerialLibrary::SetStalled(unsigned port, bool stalled) {
  std::lock_guard lock(mutex_);
  Port& p = ports_[port];
  p.stalled = stalled;
  Push(p);
}

bool FakeSerialLibrary::IsOpen(unsigned port) const {
  std::lock_guard lock(mutex_);
  auto it = ports_.find(port);
  return it != ports_.end() && it->second.handle != 0;
}

std::optional<SerPortParams> FakeSerialLibrary::OpenedWith(unsigned port) const {
  std::lock_guard lock(mutex_);
  auto it = ports_.find(port);
  return it == ports_.end() ? std::nullopt : it->second.params;
}

std::vector<std::uint32_t> FakeSerialLibrary::Controls(unsigned port) const {
  std::lock_guard lock(mutex_);
  auto it = ports_.find(port);
  return it == ports_.end() ? std::vector<std::uint32_t>() : it->second.controls;
}

std::size_t FakeSerialLibrary::ReceiveFlushes(unsigned port) const {
  std::lock_guard lock(mutex_);
  auto it = ports_.find(port);
  return it == ports_.end() ? 0 : it->second.flushes;
}

FakeSerialLibrary::Port* FakeSerialLibrary::Find(SerHandle handle) {
  if (!handle) return nullptr;
  for (auto& [number, port] : ports_)
    if (port.handle == handle) return &port;
  return nullptr;
}

void FakeSerialLibrary::Push(Port& port) {
  if (port.stalled) return;
  port.sent += port.queued;
  port.queued.clear();
}

SerHandle FakeSerialLibrary::SerOpen(const std::uint8_t* block, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  SerPortParams params;
  *error = CheckSerParamBlock(block, params);
  if (*error) return 0;
  std::lock_guard lock(mutex_);
  Port& port = ports_[params.port];
  if (port.openError) {
    *error = port.openError;
    return 0;
  }
  if (port.handle) {
    *error = SER_ERR_PORT_IN_USE;
    return 0;
  }
  port.handle = nextHandle_++;
  port.params = params;
  port.received.clear();
  port.queued.clear();
  *error = SER_OK;
  return port.handle;
}

std::uint32_t FakeSerialLibrary::SerControl(SerHandle handle, std::uint32_t code) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  if (!port) return SER_ERR_INVALID_PORT;
  port->controls.push_back(code);
  return code == SER_CONTROL_LINES_ON || code == SER_CONTROL_LINES_OFF ? SER_OK
                                                                       : SER_ERR_INVALID_PARAM;
}

void FakeSerialLibrary::SerClose(SerHandle handle) {
  std::lock_guard lock(mutex_);
  if (Port* port = Find(handle)) {
    Push(*port);
    port->handle = 0;
    port->received.clear();
    port->queued.clear();
  }
}

std::uint32_t FakeSerialLibrary::SerReceiveReady(SerHandle handle) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  return port ? static_cast<std::uint32_t>(port->received.size()) : 0;
}

int FakeSerialLibrary::SerReceiveChar(SerHandle handle) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  if (!port || port->received.empty()) return -1;
  int byte = port->received.front();
  port->received.pop_front();
  return byte;
}

void FakeSerialLibrary::SerReceiveFlush(SerHandle handle) {
  std::lock_guard lock(mutex_);
  if (Port* port = Find(handle)) {
    port->received.clear();
    ++port->flushes;
  }
}

int FakeSerialLibrary::SerSendChar(SerHandle handle, std::uint8_t byte) {
  return SerSendBuffer(handle, &byte, 1) == 1 ? 1 : 0;
}

std::uint32_t FakeSerialLibrary::SerSendReady(SerHandle handle) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  if (!port) return 0;
  Push(*port);
  return port->params->sendBufferSize - static_cast<std::uint32_t>(port->queued.size());
}

std::uint32_t FakeSerialLibrary::SerSendBuffer(SerHandle handle, const void* data,
                                               std::uint32_t length) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  if (!port || !data || !length) return 0;
  if (port->queued.size() + length > port->params->sendBufferSize) return 0;
  port->queued.append(static_cast<const char*>(data), length);
  Push(*port);
  return length;
}

std::uint32_t FakeSerialLibrary::SerState(SerHandle handle) {
  std::lock_guard lock(mutex_);
  Port* port = Find(handle);
  if (!port) return SER_STATE_CANNOT_SEND;
  std::uint32_t state = 0;
  if (!port->received.empty()) state |= SER_STATE_RECEIVED;
  if (!port->queued.empty()) state |= SER_STATE_SENDING;
  if (port->stalled) state |= SER_STATE_CANNOT_SEND;
  return state;
}

}  // namespace meldrix
