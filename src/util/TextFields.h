// Splitting and joining separated fields (message fields, device and mail
// texts, the expression language's GETCSV).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace meldrix {

// Appends the fields of `text` separated by `separator` to `fields` and returns
// how many were appended. An empty text appends nothing; a text that ends with
// a separator yields a last empty field. With `quotes`, a double quote opens a
// stretch (at any position) that the next double quote closes; separators in
// it do not split. An unclosed quote runs to the end of the text. Then one
// leading and one trailing double quote are removed from each field.
size_t SplitFields(std::string_view text, std::vector<std::string>& fields, char separator,
                   bool quotes);

// As SplitFields with a separator text of any length. An empty separator
// cannot split: the whole text is one field.
size_t SplitFieldsBy(std::string_view text, std::vector<std::string>& fields,
                     std::string_view separator, bool quotes);

// Field n (counting from 1) as SplitFields finds it, or "" when n < 1 or the
// text has fewer fields. When the separator is ',' and the text holds no ',',
// ';' separates instead.
std::string GetField(std::string_view text, long n, char separator, bool quotes);

// The fields separated by `separator`. With `quotes`, a field that contains
// the separator is enclosed in double quotes, or in apostrophes when it
// already holds a double quote.
std::string JoinFields(const std::vector<std::string>& fields, std::string_view separator,
                       bool quotes);

}  // namespace meldrix
