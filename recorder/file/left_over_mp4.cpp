#include "recorder/file/left_over_mp4.h"

#include <mutex>
#include <thread>
#include <utility>

#include "recorder/file/windows_disk.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/paths.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {

// Reads of a long file tell their progress at most this often.
constexpr double kProgressSeconds = 0.1;

// The repair's file over one we opened; it owns the handle.
class WindowsRepairFile : public mp4::RepairFile {
 public:
  explicit WindowsRepairFile(tk::File& file) : file_(file) {}
  uint64_t Size() override { return file_.Length().value_or(0); }
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    return file_.ReadAt(offset, data, size);
  }
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    return IoStatusOf(file_.WriteAt(offset, data, size));
  }
  mp4::IoStatus Flush() override { return IoStatusOf(FlushFileBuffers(file_.handle()) != 0); }
  mp4::IoStatus Truncate(uint64_t size) override { return IoStatusOf(file_.Truncate(size)); }

 private:
  static mp4::IoStatus IoStatusOf(bool ok) {
    if (ok) return mp4::IoStatus::Ok;
    return DiskStatusOfLastError() == DiskStatus::Full ? mp4::IoStatus::DiskFull
                                                       : mp4::IoStatus::Failed;
  }
  tk::File& file_;
};

bool SameFile(const tk::File& file, const FileIdentity& made) {
  const std::optional<tk::File::Identity> id = file.Identify();
  return id && (made.volume != 0 || made.index != 0) && id->volume == made.volume &&
         id->index == made.index;
}

// A file that never took the recording's name holds at most a frame that was never committed.
void RemoveOurPartialFile(const UnfinishedRecording& r) {
  if (r.partialPath.empty()) return;
  tk::File partial = tk::File::Open(r.partialPath, tk::FileMode::Read);
  if (!partial.IsOpen() || !SameFile(partial, r.file)) return;
  partial.Close();
  tk::RemoveFile(r.partialPath);
}

LeftOverOutcome WhyNotOpened(DWORD error, const std::wstring& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      // Deleted by the user, or its drive is away.
      return tk::FolderExists(tk::FolderOfFile(path)) ? LeftOverOutcome::Settled
                                                      : LeftOverOutcome::Unreachable;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return LeftOverOutcome::InUse;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
      return LeftOverOutcome::Failed;
    default:
      return LeftOverOutcome::Unreachable;
  }
}

LeftOverOutcome OutcomeOf(mp4::RepairResult result) {
  switch (result) {
    case mp4::RepairResult::Repaired:
      return LeftOverOutcome::Repaired;
    case mp4::RepairResult::Failed:
      return LeftOverOutcome::Failed;
    case mp4::RepairResult::Cancelled:
      return LeftOverOutcome::Cancelled;
    default:
      return LeftOverOutcome::Settled;
  }
}

}  // namespace

LeftOverResult FinishLeftOver(const UnfinishedRecording& r, const mp4::RepairProgress& progress) {
  LeftOverResult result;
  if (progress && !progress(0, 0)) {
    result.outcome = LeftOverOutcome::Cancelled;
    return result;
  }
  RemoveOurPartialFile(r);
  if (!MayNeedRepair(r.path)) return result;  // an AVI plays as a kill left it
  DWORD error = 0;
  tk::File file = tk::File::Open(r.path, tk::FileMode::Update, nullptr, &error);
  if (!file.IsOpen()) {
    result.outcome = WhyNotOpened(error, r.path);
    result.systemError = error;
    return result;
  }
  if (!SameFile(file, r.file)) return result;  // another file has the name now: not ours
  WindowsRepairFile repairFile(file);
  result.report = mp4::Repair(repairFile, r.id, progress);
  result.outcome = OutcomeOf(result.report.result);
  return result;
}

// Shared with the thread, so that a thread the system holds up (a share that does not answer)
// can be left behind and end, whenever it does, on memory of its own.
struct LeftOverRepairs::State {
  std::vector<UnfinishedRecording> recordings;
  std::function<void()> changed;
  std::thread thread;
  std::atomic<bool> stop{false}, done{false};
  mutable std::mutex m;
  std::optional<Current> now;
  std::vector<Finished> finished;

  void Run();
  void Tell(const std::function<void()>& update) {
    {
      std::lock_guard<std::mutex> lock(m);
      update();
    }
    if (changed) changed();
  }
};

void LeftOverRepairs::State::Run() {
  for (const UnfinishedRecording& r : recordings) {
    if (stop) break;
    Tell([&] { now = Current{r.path, 0}; });
    double toldAt = -1;
    const auto progress = [&](uint64_t read, uint64_t total) {
      const double t = tk::MonotonicSeconds();
      if (total > 0 && t - toldAt >= kProgressSeconds) {
        toldAt = t;
        Tell([&] { now = Current{r.path, static_cast<double>(read) / total}; });
      }
      return !stop;
    };
    LeftOverResult result = FinishLeftOver(r, progress);
    Tell([&] { finished.push_back({r, std::move(result)}); });
  }
  Tell([&] { now.reset(); });
  done = true;
  if (changed) changed();
}

void LeftOverRepairs::Start(std::vector<UnfinishedRecording> recordings,
                            std::function<void()> changed) {
  Stop(0);
  s_ = std::make_shared<State>();
  s_->recordings = std::move(recordings);
  s_->changed = std::move(changed);
  s_->thread = std::thread([s = s_] { s->Run(); });
}

std::optional<LeftOverRepairs::Current> LeftOverRepairs::Now() const {
  if (!s_) return std::nullopt;
  std::lock_guard<std::mutex> lock(s_->m);
  return s_->now;
}

std::vector<LeftOverRepairs::Finished> LeftOverRepairs::TakeFinished() {
  if (!s_) return {};
  std::lock_guard<std::mutex> lock(s_->m);
  return std::exchange(s_->finished, {});
}

bool LeftOverRepairs::Running() const { return s_ && !s_->done; }

void LeftOverRepairs::Stop(double seconds) {
  if (!s_) return;
  s_->stop = true;
  if (tk::WaitUntil([s = s_] { return s->done.load(); }, seconds))
    s_->thread.join();
  else
    s_->thread.detach();
  s_.reset();
}

}  // namespace orvik
