// The file walker: files of a level first, then its sub-directories, depth first.
#include "core/Walker.h"

#include <condition_variable>
#include <deque>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/Directory.h"
#include "core/FileIo.h"

namespace glos {
namespace {

// Stands for the outcome of a file handed to the pipeline, until it is known.
constexpr StatusCode kPending = static_cast<StatusCode>(3);

// Runs the operation on the walk's files on several threads while the walk goes on, and
// reports every line in the walk's order from the walking thread. A few files are handled ahead
// of the one whose line is due; a file's outcome waits until every line before it is out.
class Pipeline {
 public:
  Pipeline(const Settings& settings, FileOperation operation, void* context, unsigned threads,
           const char16_t* topPattern)
      : top(topPattern), settings_(settings), operation_(operation), context_(context) {
    for (unsigned i = 0; i < threads; ++i) {
      // A thread that cannot be had leaves its share to the others, or to the walking thread.
      try {
        workers_.emplace_back(&Pipeline::Work, this);
      } catch (...) {
        break;
      }
    }
    capacity_ = 2 * (workers_.size() + 1);
  }
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  ~Pipeline() { Finish(); }

  const char16_t* const top;  // the walk's pattern, which the files of the top level come from

  // The file at path, to be handled and reported in turn.
  void Submit(const char16_t* path, bool topLevel) {
    auto item = std::make_unique<Item>();
    CopyText(item->path, kPathCapacity, path);
    item->topLevel = topLevel;
    std::unique_lock<std::mutex> hold(lock_);
    // A file whose translation file is being written or read in flight, or the other way round,
    // waits for it, as it would in a single-threaded run.
    while (items_.size() >= capacity_ || Conflicts(item->path)) {
      if (!ReportReady(hold)) changed_.wait(hold);
    }
    if (workers_.empty()) {
      item->outcome = operation_(settings_, item->path, context_);
      item->done = true;
    } else {
      todo_.push_back(item.get());
      changed_.notify_all();
    }
    items_.push_back(std::move(item));
    ReportReady(hold);
  }

  // A line of the walker's own, reported after every line before it.
  void Report(StatusCode code, const char16_t* path) {
    auto item = std::make_unique<Item>();
    item->outcome = Outcome(code, path);
    item->done = true;
    item->line = true;
    std::unique_lock<std::mutex> hold(lock_);
    items_.push_back(std::move(item));
    ReportReady(hold);
  }

  // Waits for every file, reports the rest and ends the threads. Returns the code of the last
  // file of the top level, or kStatusNone.
  StatusCode Finish() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!items_.empty()) {
      if (!ReportReady(hold)) changed_.wait(hold);
    }
    stopping_ = true;
    changed_.notify_all();
    hold.unlock();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    return lastTopLevel_;
  }

 private:
  struct Item {
    char16_t path[kPathCapacity] = {};
    FileOutcome outcome;
    bool topLevel = false;
    bool line = false;  // a walker's line, not a file
    bool done = false;
  };

  void Work() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      if (todo_.empty()) {
        if (stopping_) return;
        changed_.wait(hold);
        continue;
      }
      Item* item = todo_.front();
      todo_.pop_front();
      hold.unlock();
      const FileOutcome outcome = operation_(settings_, item->path, context_);
      hold.lock();
      item->outcome = outcome;
      item->done = true;
      changed_.notify_all();
    }
  }

  // Reports the finished items at the front; false when the front one is not finished.
  bool ReportReady(std::unique_lock<std::mutex>& hold) {
    bool reported = false;
    while (!items_.empty() && items_.front()->done) {
      std::unique_ptr<Item> item = std::move(items_.front());
      items_.pop_front();
      hold.unlock();
      ReportStatus(item->outcome.code, item->outcome.path);
      hold.lock();
      if (item->topLevel) lastTopLevel_ = item->outcome.code;
      reported = true;
    }
    changed_.notify_all();
    return reported;
  }

  // True when path and a file in flight differ by a ".ttt" at the end of either.
  bool Conflicts(const char16_t* path) const {
    const std::u16string_view name(path);
    auto extends = [](std::u16string_view longer, std::u16string_view shorter) {
      return longer.size() == shorter.size() + 4 && longer.substr(0, shorter.size()) == shorter &&
             longer.substr(shorter.size()) == u".ttt";
    };
    for (const auto& item : items_) {
      if (item->line || item->done) continue;
      const std::u16string_view other(item->path);
      if (extends(name, other) || extends(other, name)) return true;
    }
    return false;
  }

  const Settings& settings_;
  FileOperation operation_;
  void* context_;
  std::vector<std::thread> workers_;
  std::size_t capacity_ = 2;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Item>> items_;  // in the walk's order, until reported
  std::deque<Item*> todo_;                   // not yet taken by a worker
  StatusCode lastTopLevel_ = kStatusNone;
  bool stopping_ = false;
};

// Puts name at position n of buffer; false (buffer unchanged) when it would not fit.
bool PutName(char16_t* buffer, std::size_t n, std::u16string_view name) {
  if (n + name.size() + 1 > kPathCapacity) return false;
  name.copy(buffer + n, name.size());
  buffer[n + name.size()] = 0;
  return true;
}

// The directories a run has entered. A directory reached again, through a link or a loop of
// links, is not walked again, so every file is handled at most once and a lattice of links
// costs one visit per directory.
struct Visited {
  std::set<std::pair<std::uint64_t, std::uint64_t>> ids;
  // True when id is new to the run (and now remembered). Without memory to remember it the
  // directory is not entered, as it might be one already walked.
  bool add(const DirectoryId& id) {
    try {
      return ids.emplace(id.volume, id.file).second;
    } catch (...) {
      return false;
    }
  }
};

// The identity of the directory holding the name part at n of path ("." when there is none).
bool LevelId(const char16_t* path, std::size_t n, DirectoryId& id) {
  char16_t directory[kPathCapacity + 1];
  std::u16string_view(path, n).copy(directory, n);
  directory[n] = u'.';
  directory[n + 1] = 0;
  return GetDirectoryId(directory, id);
}

StatusCode Walk(const Settings& settings, const char16_t* pattern, FileOperation operation,
                void* context, Visited& visited, Pipeline* pipeline) {
  char16_t buffer[kPathCapacity];
  CopyText(buffer, kPathCapacity, pattern);
  const std::size_t n = NamePosition(buffer);
  char16_t namePart[kPathCapacity];
  CopyText(namePart, kPathCapacity, buffer + n);

  StatusCode result = kStatusNone;
  DirectoryEntry entry;
  {
    DirectorySearch files(buffer);
    while (files.next(entry)) {
      // A name that cannot stand in the buffer names no file the platform could open. Our own
      // temporary files, left by an interrupted run, are nobody's target.
      if (entry.isDirectory || IsTemporaryName(entry.name) || !PutName(buffer, n, entry.name)) {
        continue;
      }
      if (RunStopRequested()) return kStatusCancelled;
      if (pipeline != nullptr) {
        pipeline->Submit(buffer, /*topLevel=*/pattern == pipeline->top);
        result = kPending;
        continue;
      }
      const FileOutcome outcome = operation(settings, buffer, context);
      result = outcome.code;
      ReportStatus(result, outcome.path);
      if (result == kStatusCancelled) return kStatusCancelled;
    }
  }
  if (result == kStatusNone) {
    // No file name was put into the buffer, so it still holds the pattern.
    if (pipeline != nullptr) {
      pipeline->Report(kStatusNoFile, buffer);
    } else {
      ReportStatus(kStatusNoFile, buffer);
    }
  }
  if (!HasOption(settings, kRecursive) || !PutName(buffer, n, u"*")) return result;

  DirectorySearch directories(buffer);
  while (directories.next(entry)) {
    if (!entry.isDirectory || entry.name[0] == u'.') continue;
    const std::u16string_view name(entry.name);
    const std::u16string_view rest(namePart);
    // A sub-directory whose pattern would not fit in the buffer is skipped.
    if (n + name.size() + 1 + rest.size() + 1 > kPathCapacity) continue;
    PutName(buffer, n, name);
    if (RunStopRequested()) return kStatusCancelled;
    DirectoryId id;
    if (GetDirectoryId(buffer, id) && !visited.add(id)) continue;
    buffer[n + name.size()] = kPathSeparator;
    PutName(buffer, n + name.size() + 1, rest);
    const StatusCode below = Walk(settings, buffer, operation, context, visited, pipeline);
    if (below == kStatusCancelled) return kStatusCancelled;
  }
  return result;
}

}  // namespace

FileOutcome Outcome(StatusCode code, std::u16string_view path) {
  FileOutcome outcome;
  outcome.code = code;
  CopyText(outcome.path, kPathCapacity, path);
  return outcome;
}

StatusCode WalkPattern(const Settings& settings, const char16_t* pattern, FileOperation operation,
                       void* context, unsigned threads) {
  Visited visited;
  DirectoryId id;
  if (HasOption(settings, kRecursive) && LevelId(pattern, NamePosition(pattern), id)) {
    visited.add(id);
  }
  if (threads == 0) threads = std::thread::hardware_concurrency();
  if (threads <= 1) return Walk(settings, pattern, operation, context, visited, nullptr);
  Pipeline pipeline(settings, operation, context, threads, pattern);
  const StatusCode walked = Walk(settings, pattern, operation, context, visited, &pipeline);
  const StatusCode last = pipeline.Finish();
  return walked == kStatusCancelled ? kStatusCancelled : last;
}

}  // namespace glos
