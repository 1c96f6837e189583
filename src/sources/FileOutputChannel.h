// An output to a file; messages are appended. The file setting may hold
// expressions and $INFILE, so the name is resolved at every message.
#pragma once

#include "sources/OutputChannel.h"

namespace meldrix {

class CFileOutputChannel : public IOutputChannel {
 public:
  explicit CFileOutputChannel(const OutDestSettings& settings) : settings_(settings) {}
  ~CFileOutputChannel() override { Close(); }
  CFileOutputChannel(const CFileOutputChannel&) = delete;
  CFileOutputChannel& operator=(const CFileOutputChannel&) = delete;

  bool Open(const OutPortServices& services) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  // With a source given, $INFILE is set to its file setting and the name is
  // expanded; another name than before closes the file in use first.
  bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services) override;
  std::string Describe() const override;

  const std::string& ResolvedName() const { return resolvedName_; }

 private:
  const OutDestSettings& settings_;
  int fd_ = -1;
  std::string resolvedName_;
  bool hasResolvedName_ = false;
};

}  // namespace meldrix
