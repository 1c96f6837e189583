// The Korvane commands the engine sends and the rules it applies to replies.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace meldrix {

inline constexpr char kKorvaneCheckCommand[] = "[check(Meldrix)]";
inline constexpr char kKorvaneReceiverSetupCommand[] = "[setup(E)]";
inline constexpr char kKorvaneVoiceSetupCommand[] = "[setup(V)]";
inline constexpr char kKorvaneGetReceiversCommand[] = "[GetValue(Setup.Receivers)]";
inline constexpr char kKorvaneGetGroupsCommand[] = "[GetValue(Setup.Groups)]";

// "[send(S|receivers|text|||||)]" when the receivers contain ":", else
// "[send(*|receivers|text|||||)]". The receivers are trimmed of blanks and
// tabs; the caller has already replaced "|" in the text.
std::string KorvaneSendCommand(std::string_view receivers, std::string_view text);

// A send reply is accepted when it is not empty and either 32 characters or
// longer or a number other than 0 (read like atol: leading white space, an
// optional sign, the digits that follow).
bool IsKorvaneSendAccepted(std::string_view reply);

// Receiver names from a "[GetValue(Setup.Receivers)]" or
// "[GetValue(Setup.Groups)]" reply: leading blanks and tabs skipped, entries
// separated by "|", each name is the part before the entry's last "[" (the
// whole entry when it has none), cut at a "." that is its second-last or
// third-last character. Empty names are skipped; each name appears once
// (compared without case, as the receiver choice does).
std::vector<std::string> ParseKorvaneReceivers(std::string_view reply);

// Adds the names of one reply to `names`, keeping it free of repetitions.
void AddKorvaneReceivers(std::string_view reply, std::vector<std::string>& names);

}  // namespace meldrix
