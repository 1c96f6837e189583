// Kind 2: text files that other programs drop; the file setting (expanded at
// every poll) names one file or a pattern. The folder it names is watched, so
// a file dropped there is read at once; the timed look stays, for folders that
// cannot be watched and for anything a watch might miss.
#pragma once

#include <string>
#include <string_view>

#include "platform/FolderWatch.h"
#include "sources/FileSource.h"
#include "sources/MessageSource.h"

namespace meldrix {

class CFileMessageSource : public IMessageSource {
 public:
  explicit CFileMessageSource(const InSourceSettings& settings) : settings_(settings) {}

  // The folder is watched from the first poll on, which lists whatever came
  // before; expanding the setting here would run its expressions once more.
  bool Open(const OutPortServices&) override { return !settings_.m_File.empty(); }
  // Bytes kept back by the per-poll limit stay for the next open.
  void Close() override;
  std::string Describe() const override;
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;
  bool InputWaiting() override;
  const std::string* FileForOutput() const override { return &settings_.m_File; }

 private:
  // Watches the folder of `path` (a system path) unless that is done already.
  void FollowFolder(const std::string& path);
  // Whether a file of this name in the watched folder is one the source reads.
  bool IsReadName(std::string_view name) const;

  const InSourceSettings& settings_;
  CFileSource reader_;
  FolderWatch watch_;
  // The file-name part of the setting at the last poll: a pattern or a name.
  std::string readName_;
  bool readNameIsPattern_ = false;
  bool inputWaiting_ = false;
};

}  // namespace meldrix
