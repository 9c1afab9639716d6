// quellin-cli's documents, written by the program's one JSON writer.
#pragma once

#include "json/json.h"

namespace quellin::cli {

using Json = quellin::json::Value;

}  // namespace quellin::cli
