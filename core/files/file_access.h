#pragma once

// Everything the program does with files: the seam every call goes through, inputs opened for
// reading only, outputs replaced whole, and the clean-up of what a killed program leaves.
#include "core/files/commit_group.h"
#include "core/files/file_system.h"
#include "core/files/input_file.h"
#include "core/files/replacement_file.h"
#include "core/files/temporary_cleanup.h"
