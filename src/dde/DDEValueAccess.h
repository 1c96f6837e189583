// The expression store's DDE access: DDE('srv','top','itm') reads, its
// assignment pokes and DDEEXEC executes through the one-shot services with
// their conversation cache. The store owns a client-only instance, made on
// first use by a thread that owns no instance yet, so conversations opened by
// expressions stay cached between evaluations; on the main thread the
// program's own server instance serves and caches them.
#pragma once

#include <memory>
#include <mutex>

#include "dde/DDEServer.h"
#include "expr/ExternalAccess.h"

namespace meldrix {

class CDDEValueAccess : public DdeValueAccess {
 public:
  bool RequestValue(const std::string& service, const std::string& topic,
                    const std::string& item, std::string& value) override;
  bool PokeValue(const std::string& service, const std::string& topic, const std::string& item,
                 const std::string& value) override;
  bool ExecuteCommand(const std::string& service, const std::string& topic,
                      const std::string& command) override;
  // The error of the calling thread's last operation.
  std::uint32_t LastDdeError() const override { return DdeOneShotError(); }

 private:
  void EnsureInstance();

  std::mutex mutex_;
  std::unique_ptr<CDDEServer> client_;
};

}  // namespace meldrix
