// FORMAT(value, pattern): numbers written by a picture such as "0.00",
// "+###0", "0*.##".
#pragma once

#include <string>
#include <string_view>

namespace meldrix {

std::string FormatNumber(double value, std::string_view pattern);

}  // namespace meldrix
