#pragma once

// Everything the program does with files: the seam every call goes through, inputs opened for
// reading only, outputs replaced whole, and the clean-up of what a killed program leaves.
#include "commit_group.h"
#include "file_system.h"
#include "input_file.h"
#include "replacement_file.h"
#include "temporary_cleanup.h"
