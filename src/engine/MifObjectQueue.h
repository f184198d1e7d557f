// The MIF objects of a conversion, read on the caller's thread and formatted into the MIF
// file on a thread of their own, so that reading the shapefile and the table and writing the
// MID overlap with the coordinate texts, the larger half of the work.
//
// The caller reads each shape into a slot the queue lends it, then pushes it. Slots are
// gathered into chunks of bounded size; a few chunks circulate between the two threads, so
// memory stays flat however large the file. Objects reach the MIF in the order they were
// pushed, through the same writers the one-thread path uses, so both give the same bytes.
// Reading errors stay on the caller's thread, where they name the record as before.
#pragma once

#include <memory>

#include "shp/UniSFMapUtil.h"
#include "support/TextFile.h"

namespace plexor {

class TMifObjectQueue {
 public:
  // threaded false: every push is formatted at once on the caller's thread.
  TMifObjectQueue(TextFileWriter& mif, char decimalSeparator, bool threaded);
  // Without Finish (an error, a cancellation), whatever is still queued is dropped and the
  // thread stopped; the caller discards the file.
  ~TMifObjectQueue();
  TMifObjectQueue(const TMifObjectQueue&) = delete;
  TMifObjectQueue& operator=(const TMifObjectQueue&) = delete;

  // The slot for the next object; it holds an earlier object's data, which the reader
  // overwrites. A slot that is not pushed is taken again by the next call.
  TSFPoint& PointSlot();
  TSFPolyLine& LineSlot();
  TSFPolygon& RegionSlot();
  TSFMultiPoint& MultipointSlot();
  // Queues the slot taken last. Raises the formatting thread's write failure, if any.
  void Push();
  // Formats everything queued into the file and stops the thread; raises its failure.
  void Finish();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace plexor
