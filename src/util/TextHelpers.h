// The small text, HTML and path helpers in one include.
#pragma once

#include "util/Guid.h"
#include "util/HtmlText.h"
#include "util/ListFiles.h"
#include "util/NumberText.h"
#include "util/PathHelpers.h"
#include "util/TextFields.h"
#include "util/TrimWhiteSpace.h"
#include "util/XmlEscape.h"
