// Kind 6: e-mail fetched through the local mail service. Until its reader
// exists it opens and delivers nothing; it already describes itself.
#pragma once

#include "sources/SilentMessageSource.h"
#include "util/StringTable.h"

namespace meldrix {

class CMailMessageSource : public CSilentMessageSource {
 public:
  explicit CMailMessageSource(const InSourceSettings& settings) : settings_(settings) {}
  std::string Describe() const override { return LoadText("IDS_DESCRIBE_EMAIL") + " " + settings_.m_MailUser; }

 private:
  const InSourceSettings& settings_;
};

}  // namespace meldrix
