#include "sources/FileMessageSource.h"

#include <unordered_set>

#include "util/ListFiles.h"
#include "util/PathHelpers.h"
#include "util/StringTable.h"

namespace meldrix {

std::string CFileMessageSource::Describe() const {
  const std::string& file = settings_.m_File;
  return LoadText("IDS_DESCRIBE_FILE") + " " + (file.size() > 30 ? file.substr(0, 30) + "..." : file);
}

void CFileMessageSource::Close() {
  watch_.Stop();
  inputWaiting_ = false;
}

void CFileMessageSource::FollowFolder(const std::string& path) {
  readName_ = FileNameOf(path);
  readNameIsPattern_ = IsFilePattern(readName_);
  const std::string folder = DirectoryOf(path);
  // A folder that cannot be watched (missing, remote, no inotify left) is
  // tried again at the next poll; until then the timed look alone finds files.
  if (!watch_.Watching() || watch_.Folder() != folder) watch_.Watch(folder);
}

bool CFileMessageSource::IsReadName(std::string_view name) const {
  return readNameIsPattern_ ? MatchesFilePattern(readName_, name) : name == readName_;
}

std::uint32_t CFileMessageSource::Poll(IMessageSink& sink, const OutPortServices& services) {
  const std::string path = services.expand ? services.expand(settings_.m_File) : settings_.m_File;
  // Watched before the files are listed, so nothing falls between the two.
  FollowFolder(ToSystemPath(path));
  inputWaiting_ = false;
  FilePollResult result =
      reader_.Poll(path, settings_.m_RemoveFile, [&sink](unsigned char byte) { return sink.TakeByte(byte); });
  if (result.filesRead > 0 && !result.limitReached) sink.EndOfText();
  // Each file this poll opened shows once as written when it was closed.
  // Those events are passed over, else a file left in place (emptied) would
  // be read again and again; any other event, a second one for the same file
  // among them, asks for the next poll at once.
  std::unordered_set<std::string> own;
  for (const std::string& file : result.touched) own.insert(FileNameOf(file));
  inputWaiting_ = watch_.Changed([&](std::string_view name) {
    return IsReadName(name) && own.erase(std::string(name)) == 0;
  });
  return result.limitReached ? 0 : result.someNotOpened ? kFileRetryMs : kFileIdleMs;
}

bool CFileMessageSource::InputWaiting() {
  // The names are those of the last poll: the setting is not expanded here,
  // as that may run expressions.
  if (!inputWaiting_)
    inputWaiting_ = watch_.Changed([this](std::string_view name) { return IsReadName(name); });
  return inputWaiting_;
}

}  // namespace meldrix
