#include "cli/commands.h"
#include "cli/conversion_steps.h"
#include "core/app_facts.h"
#include "core/default_template.h"

namespace plimbrook::cli {

namespace {

// The template is read once for the batch; without a whole header no BBD file can be made.
HeaderTemplate readTemplate(Batch& batch, const std::string& path) {
    const auto bytes =
        batch.withInput(path, [](InputFile& file) { return file.read(0, layout::kHeaderSize); });
    switch (checkTemplate(bytes)) {
        case TemplateFault::TooShort:
            throw FileFailure{path, "a header template of " + std::to_string(bytes.size()) +
                                        " bytes; it needs 512"};
        case TemplateFault::NoSramMark:
            batch.tell(path, "warning",
                       "the template has no AA BB 05 at bytes 8 to 10, so the copier will not "
                       "take the files made with it");
            break;
        case TemplateFault::None:
            break;
    }
    return headerOf(bytes);
}

}  // namespace

void toBbd(Batch& batch, const std::string& templatePath) {
    const ConvertOptions& options = batch.options();
    ConvertRequest request;
    request.copier = options.format.value_or(CopierFormat::SuperWildCard);
    request.comment = options.comment.value_or(std::string(kDefaultComment));
    request.size = options.saveSize;
    bool ready = true;
    // The other formats do not use the template.
    if (request.copier == CopierFormat::SuperWildCard) {
        ready = false;
        batch.once([&] {
            request.header = readTemplate(batch, templatePath);
            ready = true;
        });
    }
    if (ready) {
        convertEach(batch, request);
    }
}

}  // namespace plimbrook::cli
