// Combining the outputs of a batch run into one MIF/MID pair, and the test whether the rows
// can be combined at all.
#pragma once

#include <string>
#include <vector>

#include "engine/BatchRow.h"
#include "engine/ConvertHost.h"

namespace plexor {

// At least two rows, one coordinate system, and tables with the same column names and types.
bool CanCombineBatch(const std::vector<TBatchRow>& rows);
// Why the rows cannot be combined (UTF-8), or empty when they can.
std::string WhyBatchCannotCombine(const std::vector<TBatchRow>& rows);

// False when the combined pair would overwrite a file the run reads or writes, or take the
// name of a shapefile's companion file.
bool CombinedNamesAreSafe(const std::vector<TBatchRow>& rows, const std::string& combinedMif);

// Joins the outputs of the rows marked converted, in list order: the first one whole, of the
// others what follows their "Data" line; the MID files one after the other. The pair appears
// whole or not at all. False, with nothing written, when the host asked to stop.
bool CombineBatchOutputs(const std::vector<TBatchRow>& rows, const std::string& combinedMif,
                         IConvertHost& host);

}  // namespace plexor
