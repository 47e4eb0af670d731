#pragma once

#include <string>

#include "cli/batch.h"
#include "core/conversion.h"

namespace plimbrook::cli {

// The part to-bbd and to-srm share: each input read, converted as asked, told of and written.
void convertEach(Batch& batch, const ConvertRequest& request, const ReadOptions& how = {});

}  // namespace plimbrook::cli
