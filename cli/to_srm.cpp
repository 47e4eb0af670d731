#include "cli/commands.h"
#include "cli/conversion_steps.h"

namespace plimbrook::cli {

void toSrm(Batch& batch) {
    const ConvertOptions& options = batch.options();
    ConvertRequest request;
    request.direction = Direction::ToSave;
    request.saveFormat = options.saveFormat;
    request.size = options.saveSize;
    ReadOptions how;
    how.asGameDoctor = options.format == CopierFormat::GameDoctor;
    convertEach(batch, request, how);
}

}  // namespace plimbrook::cli
