#include "core/app_facts.h"

namespace plimbrook {

std::filesystem::path templatePathIn(const std::filesystem::path& programFolder) {
    return programFolder / kTemplateFileName;
}

std::string versionText(const Version& version) {
    return std::to_string(version.major) + "." + std::to_string(version.revision);
}

}  // namespace plimbrook
