// What the engine needs from whoever runs it: the window, the command line or a test.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/RegionalSettings.h"
#include "support/UserMessages.h"

namespace plexor {

// Choices beyond the window's controls; the command line sets them.
struct TConvertOptions {
  std::string Encoding;     // the table's encoding by name; empty: decided per table
  bool Utf8Output = false;  // Charset "UTF-8" instead of code page 932
  bool SkipUnsupportedFields = false;
  // Threads one conversion may use: 1 does everything in order on the caller's thread, 2 or
  // more also formats the MIF objects on a thread of their own; 0 decides per file from its
  // size and the processors idle at its start (PlanThreads). The files are the same either
  // way.
  int Threads = 0;
};

// What one conversion wrote and passed over, for the command line's summary.
struct TConvertSummary {
  int64_t Objects = 0;
  int64_t MidRows = 0;
  std::map<int32_t, int64_t> SkippedByShapeType;  // Null and the kinds not converted
  int64_t DeletedSkipped = 0;                     // shapes passed over with their deleted record
  int64_t ShapesWithoutRecord = 0;                // written with a row of empty fields
  int64_t RecordsWithoutShape = 0;                // attribute records after the last shape
  int64_t LineBreaksBlanked = 0;   // CR and LF bytes in text values written as blanks
  int64_t FromZM = 0;              // objects written from Z and M records, as 2D
  std::string Encoding;            // the table's encoding and what decided it
  std::vector<std::string> Notes;  // further warnings: encodings, renamed columns, the .prj
  // Why the conversion failed (UTF-8), empty when it succeeded.
  std::string FailureReason;

  // Texts for people: what the user should know although the conversion succeeded.
  std::vector<std::string> Warnings() const;
};

// What a batch run says about a row. The values are the list's image indexes, which is why
// "none" is -1: the view shows no image for it.
enum class TBatchMark { None = -1, Converted = 0, Failed = 1 };

class IConvertHost : public IUserMessages {
 public:
  // The single status-bar text (UTF-8); empty clears it.
  virtual void SetStatusText(const std::string& text) = 0;
  // Lets the window repaint between batch rows.
  virtual void ProcessPendingEvents() {}
  virtual RegionalSettings Regional() const { return {}; }
  virtual TConvertOptions Options() const { return {}; }
  // The screen-wide hourglass around long operations.
  virtual void SetWaitCursor(bool /*on*/) {}
  // The batch run selects row `index` and scrolls it into view.
  virtual void SelectBatchRow(int /*index*/) {}
  // The batch run has set the mark of row `index`.
  virtual void BatchRowMarked(int /*index*/, TBatchMark /*mark*/, const std::string& /*reason*/) {}
  // Polled at every record: true stops the conversion there, and it leaves no output.
  virtual bool CancelRequested() const { return false; }
  // A conversion has opened its files and starts on the records of `source`.
  virtual void ConversionStarted(const std::string& /*source*/) {}
  // Progress of the conversion running now, by bytes of the .shp read.
  virtual void ConversionProgress(int64_t /*done*/, int64_t /*total*/) {}
  virtual void ConversionFinished(const std::string& /*source*/, bool /*result*/,
                                  const TConvertSummary& /*summary*/) {}
};

}  // namespace plexor
