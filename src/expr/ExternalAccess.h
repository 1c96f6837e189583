// How the variable store reaches values of other programs: DDE items and OPC
// items. The DDE and OPC layers implement these interfaces; until a store is
// given one, the Unavailable* versions fail the way a connection that cannot
// be established fails.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace meldrix {

class DdeValueAccess {
 public:
  virtual ~DdeValueAccess() = default;
  // One-shot operations; each resets the last DDE error before it starts.
  virtual bool RequestValue(const std::string& service, const std::string& topic,
                            const std::string& item, std::string& value) = 0;
  virtual bool PokeValue(const std::string& service, const std::string& topic,
                         const std::string& item, const std::string& value) = 0;
  virtual bool ExecuteCommand(const std::string& service, const std::string& topic,
                              const std::string& command) = 0;
  // The DDE error code (DMLERR_...) of the last failed operation; a
  // conversation that could not be established gives DMLERR_NO_CONV_ESTABLISHED.
  virtual uint32_t LastDdeError() const = 0;
};

class OpcValueAccess {
 public:
  virtual ~OpcValueAccess() = default;
  // node is empty for the local machine.
  virtual bool ReadValue(const std::string& server, const std::string& node,
                         const std::string& item, std::string& value) = 0;
  virtual bool WriteValue(const std::string& server, const std::string& node,
                          const std::string& item, const std::string& value) = 0;
  virtual std::string LastErrorText() const = 0;
};

// No DDE layer at all: every operation fails with error code 0.
class UnavailableDdeAccess : public DdeValueAccess {
 public:
  bool RequestValue(const std::string&, const std::string&, const std::string&,
                    std::string&) override { return false; }
  bool PokeValue(const std::string&, const std::string&, const std::string&,
                 const std::string&) override { return false; }
  bool ExecuteCommand(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  uint32_t LastDdeError() const override { return 0; }
};

// No OPC layer: the automation component cannot be loaded.
class UnavailableOpcAccess : public OpcValueAccess {
 public:
  bool ReadValue(const std::string&, const std::string&, const std::string&,
                 std::string&) override { return false; }
  bool WriteValue(const std::string&, const std::string&, const std::string&,
                  const std::string&) override { return false; }
  std::string LastErrorText() const override { return "Could not load OPC.Automation"; }
};

}  // namespace meldrix
