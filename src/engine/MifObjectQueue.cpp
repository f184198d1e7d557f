#include "engine/MifObjectQueue.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "mif/uniMifUtils.h"

namespace plexor {
namespace {

// A chunk is handed over at this many objects or vertices, whichever comes first: large
// enough that the hand-over costs nothing, small enough that three chunks stay within a few
// MiB. One shape larger than that makes a chunk of its own.
constexpr size_t kChunkObjects = 2048;
constexpr size_t kChunkVertices = 64 * 1024;
constexpr size_t kChunkCount = 3;

enum class Kind : unsigned char { Point, Line, Region, Multipoint };

// One pool per kind; slots keep their vectors' capacity from chunk to chunk, so after the
// first few chunks nothing is allocated.
template <typename Shape>
struct Pool {
  std::vector<Shape> Slots;
  size_t Used = 0;

  Shape& Next() {
    if (Used == Slots.size()) Slots.emplace_back();
    return Slots[Used];
  }
};

struct Chunk {
  std::vector<Kind> Kinds;
  Pool<TSFPoint> Points;
  Pool<TSFPolyLine> Lines;
  Pool<TSFPolygon> Regions;
  Pool<TSFMultiPoint> Multipoints;
  size_t Vertices = 0;

  bool Full() const { return Kinds.size() >= kChunkObjects || Vertices >= kChunkVertices; }
  void Clear() {
    Kinds.clear();
    Points.Used = Lines.Used = Regions.Used = Multipoints.Used = 0;
    Vertices = 0;
  }
  // The same writers, in the same order, on either thread; regions were oriented as they
  // were pushed.
  void WriteTo(TextFileWriter& mif, char sep) {
    size_t point = 0, line = 0, region = 0, multipoint = 0;
    for (const Kind kind : Kinds) {
      switch (kind) {
        case Kind::Point:
          WriteMifPoint(mif, Points.Slots[point++], sep);
          break;
        case Kind::Line:
          WriteMifPLine(mif, Lines.Slots[line++], sep);
          break;
        case Kind::Region:
          WriteNormalizedMifRegion(mif, Regions.Slots[region++], sep);
          break;
        case Kind::Multipoint:
          WriteMifMultipoint(mif, Multipoints.Slots[multipoint++], sep);
          break;
      }
    }
  }
};

}  // namespace

struct TMifObjectQueue::Impl {
  Impl(TextFileWriter& mif, char sep, bool threaded) : Mif(mif), Sep(sep), Threaded(threaded) {
    for (Chunk& chunk : Chunks) Free.push_back(&chunk);
    Filling = Free.back();
    Free.pop_back();
  }

  ~Impl() {
    if (!Worker.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(Mutex);
      Abandoned = true;
      Stopping = true;
    }
    Changed.notify_all();
    Worker.join();
  }

  // The slot taken last and its kind, pushed by Push.
  Kind Pending = Kind::Point;

  template <typename Shape>
  Shape& Take(Pool<Shape>& pool, Kind kind) {
    Pending = kind;
    return pool.Next();
  }

  void Push() {
    Chunk& c = *Filling;
    c.Kinds.push_back(Pending);
    switch (Pending) {
      case Kind::Point:
        ++c.Points.Used;
        ++c.Vertices;
        break;
      case Kind::Line:
        c.Vertices += c.Lines.Slots[c.Lines.Used++].Points.size();
        break;
      case Kind::Region: {
        TSFPolygon& region = c.Regions.Slots[c.Regions.Used++];
        // The ring's orientation is settled here, on the thread that read it while its
        // points are still in this processor's cache: the thread that formats has the larger
        // share of the work.
        NormalizeRing(region);
        c.Vertices += region.Points.size();
        break;
      }
      case Kind::Multipoint:
        c.Vertices += c.Multipoints.Slots[c.Multipoints.Used++].Points.size();
        break;
    }
    if (c.Full()) HandOver();
  }

  // Unthreaded: the chunk is written at once. Threaded: it joins the queue and the caller
  // goes on with a free chunk, waiting for one when the thread is behind.
  void HandOver() {
    if (!Threaded) {
      Filling->WriteTo(Mif, Sep);
      Filling->Clear();
      return;
    }
    if (!Worker.joinable()) Worker = std::thread([this] { Run(); });
    std::unique_lock<std::mutex> lock(Mutex);
    Ready.push_back(Filling);
    Filling = nullptr;
    Changed.notify_all();
    Changed.wait(lock, [this] { return !Free.empty() || Failure; });
    if (Failure) std::rethrow_exception(Failure);
    Filling = Free.back();
    Free.pop_back();
  }

  void Finish() {
    if (!Filling->Kinds.empty()) {
      if (!Threaded || !Worker.joinable()) {
        Filling->WriteTo(Mif, Sep);
        Filling->Clear();
      } else {
        std::lock_guard<std::mutex> lock(Mutex);
        Ready.push_back(Filling);
        Filling = nullptr;
      }
    }
    if (Worker.joinable()) {
      {
        std::lock_guard<std::mutex> lock(Mutex);
        Stopping = true;
      }
      Changed.notify_all();
      Worker.join();
    }
    if (Failure) std::rethrow_exception(Failure);
  }

  void Run() {
    std::unique_lock<std::mutex> lock(Mutex);
    for (;;) {
      Changed.wait(lock, [this] { return !Ready.empty() || Stopping; });
      if (Ready.empty() || Abandoned) return;
      Chunk* chunk = Ready.front();
      lock.unlock();
      try {
        chunk->WriteTo(Mif, Sep);
      } catch (...) {
        lock.lock();
        Failure = std::current_exception();
        Changed.notify_all();
        return;
      }
      chunk->Clear();
      lock.lock();
      Ready.pop_front();
      Free.push_back(chunk);
      Changed.notify_all();
    }
  }

  TextFileWriter& Mif;
  const char Sep;
  const bool Threaded;
  std::array<Chunk, kChunkCount> Chunks;
  Chunk* Filling = nullptr;

  std::mutex Mutex;
  std::condition_variable Changed;
  std::deque<Chunk*> Ready;  // in file order
  std::vector<Chunk*> Free;
  bool Stopping = false;
  bool Abandoned = false;
  std::exception_ptr Failure;
  std::thread Worker;  // last: joined before the rest goes
};

TMifObjectQueue::TMifObjectQueue(TextFileWriter& mif, char decimalSeparator, bool threaded)
    : impl_(std::make_unique<Impl>(mif, decimalSeparator, threaded)) {}

TMifObjectQueue::~TMifObjectQueue() = default;

TSFPoint& TMifObjectQueue::PointSlot() {
  return impl_->Take(impl_->Filling->Points, Kind::Point);
}
TSFPolyLine& TMifObjectQueue::LineSlot() {
  return impl_->Take(impl_->Filling->Lines, Kind::Line);
}
TSFPolygon& TMifObjectQueue::RegionSlot() {
  return impl_->Take(impl_->Filling->Regions, Kind::Region);
}
TSFMultiPoint& TMifObjectQueue::MultipointSlot() {
  return impl_->Take(impl_->Filling->Multipoints, Kind::Multipoint);
}
void TMifObjectQueue::Push() {
  impl_->Push();
}
void TMifObjectQueue::Finish() {
  impl_->Finish();
}

}  // namespace plexor
