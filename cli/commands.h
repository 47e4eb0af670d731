#pragma once

#include <string>

#include "cli/batch.h"

namespace plimbrook::cli {

// The four commands, each over the inputs of one batch.
void toBbd(Batch& batch, const std::string& templatePath);
void toSrm(Batch& batch);
void printComments(Batch& batch);
void printInfo(Batch& batch);

}  // namespace plimbrook::cli
