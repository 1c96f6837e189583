// The one place that turns an output's settings into its channel.
#include "sources/FileOutputChannel.h"
#include "sources/PrinterOutputChannel.h"
#include "sources/SerialOutputChannel.h"

namespace meldrix {

OutputChannelKind OutputChannelKindOf(const OutDestSettings& settings) {
  if (settings.m_Dest == OutDestSettings::kFileDest) return OutputChannelKind::kFile;
  return settings.m_Port >= kOutFirstPrinterPort ? OutputChannelKind::kPrinter : OutputChannelKind::kSerial;
}

std::unique_ptr<IOutputChannel> MakeOutputChannel(const OutDestSettings& settings) {
  switch (OutputChannelKindOf(settings)) {
    case OutputChannelKind::kFile: return std::make_unique<CFileOutputChannel>(settings);
    case OutputChannelKind::kPrinter: return std::make_unique<CPrinterOutputChannel>(settings);
    case OutputChannelKind::kSerial: return std::make_unique<CSerialOutputChannel>(settings);
  }
  return nullptr;
}

}  // namespace meldrix
