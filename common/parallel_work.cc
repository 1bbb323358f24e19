#include "common/parallel_work.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <system_error>

#include "platform/interrupt.h"
#include "platform/output.h"

namespace {

// Pieces not yet passed on; bounds the memory held however far the walk runs ahead.
constexpr size_t kWindow = 256;
// What a piece may keep before, first in the order, it writes straight out. A piece's report
// otherwise goes out only once the piece is done, so a line never runs ahead of the work it
// reports (a "done" line comes before the file is rewritten), even if the process is killed.
constexpr size_t kKeptBeforeWritingThrough = 64 * 1024;
// How soon a held-back interruption is acted on when nothing else wakes the passing thread.
constexpr auto kInterruptPoll = std::chrono::milliseconds(20);
// How long a second interruption waits for the pieces in flight, which can no longer put a file
// in place, to return and say whether they had.
constexpr auto kEndingWait = std::chrono::seconds(2);

// Where a line goes: standard output, or standard error as a failure or a warning.
enum Kind : int { kOutput, kFailure, kWarning };

struct Line {
  int kind;
  std::string text;
};

// Keeps what a piece reports until it can be passed on in order.
class CRecorder : public CReporter {
 public:
  CRecorder(const std::string& tool, std::vector<Line>* lines) : CReporter(tool), m_lines(lines) {}

  void Print(std::string_view text) override {
    if (!m_lines->empty() && m_lines->back().kind == kOutput) {
      m_lines->back().text.append(text);
    } else {
      m_lines->push_back({kOutput, std::string(text)});
    }
  }
  void FailLine(std::string_view line) override {
    MarkFailed();
    m_lines->push_back({kFailure, std::string(line)});
  }
  void WarnLine(std::string_view line) override {
    m_lines->push_back({kWarning, std::string(line)});
  }

 private:
  std::vector<Line>* m_lines;
};

void Relay(CReporter& out, int kind, std::string_view text) {
  if (kind == kFailure) {
    out.FailLine(text);
  } else if (kind == kWarning) {
    out.WarnLine(text);
  } else {
    out.Print(text);
  }
}

void PassOnLines(const std::vector<Line>& lines, CReporter& out) {
  for (const Line& line : lines) Relay(out, line.kind, line.text);
}

}  // namespace

struct CParallelWork::Piece {
  Task task;
  std::vector<Line> lines;
  size_t kept = 0;  // bytes in lines
  bool done = false;
  bool cut = false;  // failed once the end had begun: perhaps only because of it
};

// What a running piece reports, passed to Record.
class CParallelWork::CPieceOut : public CReporter {
 public:
  CPieceOut(CParallelWork& work, Piece& piece)
      : CReporter(work.Tool()), m_work(work), m_piece(piece) {}
  void Print(std::string_view text) override { m_work.Record(m_piece, kOutput, text); }
  void FailLine(std::string_view line) override {
    MarkFailed();
    m_work.Record(m_piece, kFailure, line);
  }
  void WarnLine(std::string_view line) override { m_work.Record(m_piece, kWarning, line); }

 private:
  CParallelWork& m_work;
  Piece& m_piece;
};

CParallelWork::CParallelWork(CReporter& out, unsigned workers) : CReporter(out.Tool()), m_out(out) {
  if (workers == 0) return;
  m_deferring = true;
  platform::DeferInterrupts(true);
  try {
    m_passer = std::thread([this] { PassOn(); });
    for (unsigned i = 0; i < workers; ++i) m_workers.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // Fewer threads than asked for still do the work; none at all means working inline.
    if (m_workers.empty()) Finish();
  }
}

CParallelWork::~CParallelWork() { Finish(); }

void CParallelWork::Queue(Task task) {
  if (!m_passer.joinable()) {
    task(m_out);
    return;
  }
  std::unique_lock lock(m_mutex);
  m_roomFree.wait(lock, [&] { return m_order.size() < kWindow || m_interrupted; });
  if (m_interrupted) return;  // the passing thread is about to end the process
  auto piece = std::make_unique<Piece>();
  piece->task = std::move(task);
  m_todo.push_back(piece.get());
  m_order.push_back(std::move(piece));
  lock.unlock();
  m_workReady.notify_one();
}

void CParallelWork::Print(std::string_view text) { Append(kOutput, text); }

void CParallelWork::FailLine(std::string_view line) {
  MarkFailed();
  Append(kFailure, line);
}

void CParallelWork::WarnLine(std::string_view line) { Append(kWarning, line); }

void CParallelWork::Append(int kind, std::string_view text) {
  if (!m_passer.joinable()) {
    Relay(m_out, kind, text);
    return;
  }
  std::unique_lock lock(m_mutex);
  if (m_order.empty() && !m_passing) {
    // Nothing is waiting to be passed on before it: out at once, under the lock so that the
    // passing thread cannot start writing meanwhile.
    Relay(m_out, kind, text);
    return;
  }
  if (m_order.empty() || !m_order.back()->done) {
    m_order.push_back(std::make_unique<Piece>());
    m_order.back()->done = true;
  }
  CRecorder recorder(Tool(), &m_order.back()->lines);
  Relay(recorder, kind, text);
  lock.unlock();
  m_pieceDone.notify_one();
}

void CParallelWork::Record(Piece& piece, int kind, std::string_view text) {
  std::unique_lock lock(m_mutex);
  piece.kept += text.size();
  if (m_passing || m_order.front().get() != &piece || piece.kept <= kKeptBeforeWritingThrough) {
    CRecorder recorder(Tool(), &piece.lines);
    Relay(recorder, kind, text);
    return;
  }
  piece.kept = 0;
  // First in the order, and nothing being written: what the piece kept goes out first, then
  // this. Meanwhile the others keep what they report, as while the passing thread writes; this
  // piece is not done, so that thread has nothing to write.
  std::vector<Line> kept;
  kept.swap(piece.lines);
  m_passing = true;
  lock.unlock();
  PassOnLines(kept, m_out);
  Relay(m_out, kind, text);
  lock.lock();
  m_passing = false;
  lock.unlock();
  m_pieceDone.notify_one();
}

void CParallelWork::Work() {
  platform::BlockInterruptsInThisThread();
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_workReady.wait(lock, [&] { return !m_todo.empty() || m_finishing || m_interrupted; });
    if (m_todo.empty()) return;
    Piece* piece = m_todo.front();
    m_todo.pop_front();
    ++m_running;
    lock.unlock();
    bool failed = false;
    {
      CPieceOut out(*this, *piece);
      piece->task(out);
      piece->task = nullptr;
      failed = out.Failed();
    }
    lock.lock();
    --m_running;
    piece->done = true;
    piece->cut = failed && platform::Ending();
    m_pieceDone.notify_one();
  }
}

void CParallelWork::PassOn() {
  platform::BlockInterruptsInThisThread(/*keep_broken_pipe=*/true);
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (!m_interrupted && platform::PendingInterrupt() != 0) {
      m_interrupted = true;
      m_todo.clear();
      m_workReady.notify_all();
      m_roomFree.notify_all();
    }
    if (platform::SecondInterrupt() != 0) EndAtOnce(lock);
    bool passed = PassOnDone(lock);
    if (m_interrupted && m_running == 0) EndInterrupted(lock);
    if (m_finishing && m_order.empty()) return;
    if (!passed) m_pieceDone.wait_for(lock, kInterruptPoll);
  }
}

// Passes on the finished pieces at the front of the order; false when there were none.
bool CParallelWork::PassOnDone(std::unique_lock<std::mutex>& lock) {
  std::vector<std::unique_ptr<Piece>> done;
  while (!m_order.empty() && m_order.front()->done) {
    done.push_back(std::move(m_order.front()));
    m_order.pop_front();
  }
  if (done.empty()) return false;
  m_roomFree.notify_all();
  m_passing = true;
  lock.unlock();
  for (const auto& piece : done) PassOnLines(piece->lines, m_out);
  lock.lock();
  m_passing = false;
  return true;
}

// Everything started has finished and what came before the first piece not started has been
// passed on: the run ends by the held-back signal.
void CParallelWork::EndInterrupted(std::unique_lock<std::mutex>& lock) {
  PassOnDone(lock);
  platform::FlushOutput();
  platform::EndByPendingInterrupt();
}

// A second interruption: nothing more starts, nothing in flight can still put a file in place,
// and what every finished piece did is passed on, in order, before the process ends. A piece
// that failed once the end had begun did nothing, so it is not reported at all.
void CParallelWork::EndAtOnce(std::unique_lock<std::mutex>& lock) {
  m_interrupted = true;
  m_todo.clear();
  m_workReady.notify_all();
  m_roomFree.notify_all();
  lock.unlock();
  platform::BeginEnding();
  lock.lock();
  m_pieceDone.wait_for(lock, kEndingWait, [&] { return m_running == 0 && !m_passing; });
  // Held to the end: a piece still in flight after the wait writes nothing meanwhile.
  for (const auto& piece : m_order) {
    if (piece->done && !piece->cut) PassOnLines(piece->lines, m_out);
  }
  platform::FlushOutput();
  platform::EndByPendingInterrupt();
}

void CParallelWork::Finish() {
  if (m_passer.joinable()) {
    {
      std::lock_guard lock(m_mutex);
      m_finishing = true;
    }
    m_pieceDone.notify_all();
    m_workReady.notify_all();
    m_passer.join();
  }
  for (std::thread& worker : m_workers) worker.join();
  m_workers.clear();
  if (!m_deferring) return;
  m_deferring = false;
  platform::DeferInterrupts(false);
  if (platform::PendingInterrupt() != 0) {
    platform::FlushOutput();
    platform::EndByPendingInterrupt();
  }
}

unsigned FileWorkers() {
  unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return std::clamp(2 * cores, 4u, 8u);
}
