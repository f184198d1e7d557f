// The batch list, whole: its rows, the batch file, the combine test, the batch run and the
// combining of its outputs. Each has a header of its own; this one brings them together for
// the window and the command line.
#pragma once

#include "engine/BatchCombine.h"
#include "engine/BatchFile.h"
#include "engine/BatchRow.h"
#include "engine/BatchRun.h"
