// Takes a text line by line at "\r\n". A last piece without a line end is not
// a line and is never returned.
#pragma once

#include <string_view>

namespace meldrix {

class LineTaker {
 public:
  explicit LineTaker(std::string_view text) : text_(text) {}

  // The next line without its "\r\n"; false when no "\r\n" is left.
  bool Take(std::string_view& line) {
    const std::size_t end = text_.find("\r\n", pos_);
    if (end == std::string_view::npos) return false;
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 2;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace meldrix
