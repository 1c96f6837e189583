#include "sources/FileMessageSource.h"

#include "util/StringTable.h"

namespace meldrix {

std::string CFileMessageSource::Describe() const {
  const std::string& file = settings_.m_File;
  return LoadText("IDS_DESCRIBE_FILE") + " " + (file.size() > 30 ? file.substr(0, 30) + "..." : file);
}

std::uint32_t CFileMessageSource::Poll(IMessageSink& sink, const OutPortServices& services) {
  const std::string path = services.expand ? services.expand(settings_.m_File) : settings_.m_File;
  FilePollResult result =
      reader_.Poll(path, settings_.m_RemoveFile, [&sink](unsigned char byte) { return sink.TakeByte(byte); });
  if (result.filesRead > 0 && !result.limitReached) sink.EndOfText();
  return result.limitReached ? 0 : result.someNotOpened ? kFileRetryMs : kFileIdleMs;
}

}  // namespace meldrix
