// Per-file work of a walk spread over a few threads, reported in walk order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "common/reporter.h"

// Runs queued pieces of work on worker threads and passes on what each piece reports, in the
// order the pieces were queued, so the output reads exactly as that of a run doing one file at
// a time. What the queuing thread reports through this object keeps its place behind every
// piece queued before it. With no workers, each piece runs at once on the queuing thread.
// A piece's report is kept until its turn; the first piece in the order writes straight out
// once it has kept a good deal, so that a piece reporting more than it reads (a long listing)
// needs no room for it.
//
// Files mostly wait on the file system (allocating, discarding freed blocks), not on the
// processor, so a few pieces in flight overlap those waits.
//
// While workers run, the first interruption is held back: the pieces already started finish,
// everything before the first piece not started is reported, and then the process ends by that
// signal. A second interruption ends it at once: no piece in flight may put a file in place any
// more, and every piece that finished its work is reported before the process ends.
class CParallelWork : public CReporter {
 public:
  using Task = std::function<void(CReporter& out)>;

  CParallelWork(CReporter& out, unsigned workers);
  ~CParallelWork() override;
  CParallelWork(const CParallelWork&) = delete;
  CParallelWork& operator=(const CParallelWork&) = delete;

  void Queue(Task task);
  // Waits for every piece and passes on everything reported. Queue must not be called after.
  void Finish();

  void Print(std::string_view text) override;
  void FailLine(std::string_view line) override;
  void WarnLine(std::string_view line) override;

 private:
  struct Piece;
  class CPieceOut;

  void Append(int kind, std::string_view text);
  void Record(Piece& piece, int kind, std::string_view text);
  void Work();
  void PassOn();
  bool PassOnDone(std::unique_lock<std::mutex>& lock);
  [[noreturn]] void EndInterrupted(std::unique_lock<std::mutex>& lock);
  [[noreturn]] void EndAtOnce(std::unique_lock<std::mutex>& lock);

  CReporter& m_out;
  std::mutex m_mutex;
  std::condition_variable m_workReady, m_pieceDone, m_roomFree;
  std::deque<std::unique_ptr<Piece>> m_order;  // not yet passed on, in queuing order
  std::deque<Piece*> m_todo;                   // not yet started
  size_t m_running = 0;
  bool m_passing = false;  // the passing thread is writing pieces it took off the order
  bool m_finishing = false;
  bool m_interrupted = false;
  bool m_deferring = false;  // interruptions held back while this runs
  std::vector<std::thread> m_workers;
  std::thread m_passer;
};

// Worker threads for file work: the waits overlap well beyond the processor count.
unsigned FileWorkers();
