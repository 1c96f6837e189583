// The computed "$" variables: $TIME, $HOUR, $MINUTE, $SECOND, $DATE, $DAY,
// $WEEKDAY, $WEEK, $MONTH, $YEAR, from the current local time of the clock.
#pragma once

#include <string>

namespace meldrix {

// True and the value when name is one of the system variables.
bool ReadSystemVariable(const std::string& name, std::string& value);

}  // namespace meldrix
