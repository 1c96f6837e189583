// User-visible texts in German, English and French.
//
// The tables are the files res/*.tsv, embedded at build time. Each line is
//   ID <tab> English <tab> German <tab> French
// in UTF-8, with \n, \r, \t and \\ as escapes; lines starting with '#' are
// comments. Texts are handed out as Windows-1252 like every engine text.
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

enum class UiLanguage { German = 0, English = 1, French = 2 };

// Sets the language from the "Language" setting: 0 German, 1 English,
// 2 French; any other index keeps the current language (English at start).
void SetUiLanguage(int index);
UiLanguage CurrentUiLanguage();

// The text for id in the current language. A text missing in that language
// falls back to English; an unknown id yields the id itself, so a missing
// entry is visible instead of silently empty.
std::string LoadText(std::string_view id);
std::string LoadText(std::string_view id, UiLanguage language);

// True when every table line is well formed and every id has all three
// languages; otherwise problems lists what is wrong (used by a test).
bool CheckStringTables(std::string* problems);

}  // namespace meldrix
