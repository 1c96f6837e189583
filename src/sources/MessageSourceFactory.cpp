// The one place that turns a source kind into its reader: a new kind adds
// its class and one line here.
#include "sources/DdeMessageSource.h"
#include "sources/FileMessageSource.h"
#include "sources/IsdnMessageSource.h"
#include "sources/MailMessageSource.h"
#include "sources/SerialMessageSource.h"
#include "sources/SocketMessageSource.h"

namespace meldrix {

std::unique_ptr<IMessageSource> MakeMessageSource(const InSourceSettings& settings) {
  switch (settings.m_Source) {
    case InSourceSettings::kSerial: return std::make_unique<CSerialMessageSource>(settings);
    case InSourceSettings::kTextFile: return std::make_unique<CFileMessageSource>(settings);
    case InSourceSettings::kDde: return std::make_unique<CDdeMessageSource>();
    case InSourceSettings::kIsdn: return std::make_unique<CIsdnMessageSource>();
    case InSourceSettings::kSocket: return std::make_unique<CSocketMessageSource>(settings);
    case InSourceSettings::kMail: return std::make_unique<CMailMessageSource>(settings);
    // Any other value opens and never delivers anything.
    default: return std::make_unique<CSilentMessageSource>();
  }
}

}  // namespace meldrix
