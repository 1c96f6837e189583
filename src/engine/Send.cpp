// Send: one command to Korvane with its log lines, and the Korvane client the
// document uses.
#include <cstdio>

#include "engine/Expansion.h"
#include "engine/KorvaneReply.h"
#include "engine/MeldrixDoc.h"
#include "engine/Process.h"
#include "util/StringTable.h"
#include "util/TrimWhiteSpace.h"

namespace meldrix {
namespace {

// The localised text with its one placeholder replaced; the placeholder is
// replaced as text, never handed to printf, so a table entry cannot misuse
// the arguments.
std::string FillPlaceholder(std::string text, std::string_view placeholder,
                            std::string_view value) {
  const auto pos = text.find(placeholder);
  if (pos != std::string::npos) text.replace(pos, placeholder.size(), value);
  return text;
}

std::string Hex8(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(value));
  return buffer;
}

}  // namespace

IKorvane& CMeldrixDoc::GetKorvane() {
  if (!m_Korvane) {
    CProfile& profile = m_Profile;
    ConfigValueReader reader = [&profile](const std::string& section, const std::string& key) {
      return profile.GetString(section, key, "");
    };
    m_Korvane = std::make_shared<CKorvane>(KorvaneEndpointSetting(reader));
    m_KorvaneFromConfig = true;
  }
  return *m_Korvane;
}

void CMeldrixDoc::OnConfigurationLoading() {
  Clear(132);
  // The endpoint may have changed with the file; an injected client stays.
  if (m_KorvaneFromConfig) {
    m_Korvane.reset();
    m_KorvaneFromConfig = false;
  }
}

bool CMeldrixDoc::Send(const std::string& /*messageName*/, const std::string& receivers,
                       const std::string& text) {
  // Receivers without a block are left alone: expanding them would change
  // nothing but clear "$ERROR" of the text just expanded.
  const std::string to = TrimWhiteSpace(
      receivers.find("{{") == std::string::npos ? receivers : ExpandText(receivers, GetVariables()));
  const std::string command = KorvaneSendCommand(to, text);

  if (m_ShowSentMessages) {
    SetColour(kColourSent);
    Write(FillPlaceholder(LoadText("IDS_MESSAGE_TO"), "%s", to));
    Write(text);
    Write("\n");
    SetColour(kColourDefault);
  }

  const KorvaneResult result = GetKorvane().Execute(command);
  if (result.Succeeded() && IsKorvaneSendAccepted(result.reply)) return true;

  ShowLine(kColourSendError,
           FillPlaceholder(LoadText("IDS_KORVANE_SEND_ERROR"), "%08lX", Hex8(result.hr)));
  ++m_TotalErrors;
  return false;
}

}  // namespace meldrix
