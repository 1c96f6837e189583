// COutPort: one output (COM1 to COM9, LPT1 to LPT3 or a file): its settings
// (section "OutDest%d") and the channel that writes to it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "engine/ObArray.h"
#include "sources/OutDestSettings.h"
#include "sources/OutputChannel.h"

namespace meldrix {

class CSection;

class COutPort : public OutDestSettings {
 public:
  COutPort() = default;
  // The channel refers to the settings of this object.
  COutPort(const COutPort&) = delete;
  COutPort& operator=(const COutPort&) = delete;

  void LoadConfig(const CSection& section);
  void SaveConfig(CSection& section) const;

  bool Open(const OutPortServices& services) { return Channel().Open(services); }
  void Close() {
    if (m_Channel) m_Channel->Close();
  }
  bool IsOpen() const { return m_Channel && m_Channel->IsOpen(); }
  // Writes one message; `sourceFile` is the file setting of the delivering
  // source (for $INFILE), or null.
  bool Send(std::string_view bytes, const std::string* sourceFile, const OutPortServices& services) {
    return Channel().Send(bytes, sourceFile, services);
  }
  // "Name=File /var/out.txt" or "Name=Port LPT1:" / "Name=Port COM2: 9600 baud".
  std::string Describe(bool tab) const {
    const std::string text = m_Name + (tab ? "\t" : "=");
    if (m_Channel && m_ChannelKind == OutputChannelKindOf(*this)) return text + m_Channel->Describe();
    return text + MakeOutputChannel(*this)->Describe();
  }
  // Whether the file setting holds an expression or a variable reference, so
  // the file name is known only when a message comes.
  bool FileNameIsComputed() const {
    return m_File.find("{{") != std::string::npos || m_File.find('$') != std::string::npos;
  }

 private:
  // The channel for the current destination and port; a channel of another
  // kind is closed and replaced.
  IOutputChannel& Channel() {
    const OutputChannelKind kind = OutputChannelKindOf(*this);
    if (!m_Channel || m_ChannelKind != kind) {
      m_Channel = MakeOutputChannel(*this);
      m_ChannelKind = kind;
    }
    return *m_Channel;
  }

  std::unique_ptr<IOutputChannel> m_Channel;
  OutputChannelKind m_ChannelKind = OutputChannelKind::kSerial;
};

class COutPortArray : public COwningArray<COutPort> {
 public:
  // The output with this "Id", or nullptr (Id 0 names none).
  COutPort* FindById(int id);
};

}  // namespace meldrix
