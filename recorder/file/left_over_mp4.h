#pragma once
// Recordings a run left unfinished (the program was killed, the power went, the disk filled
// up) are finished at a later start: an MP4 left as fragments, which browsers play but Windows'
// own player handles badly, is made into a plain MP4 in place (mp4_repair.h). Only a file
// proven ours is touched: the one the recording made (the same file on the same volume) whose
// movie names the same recording. The work runs on a thread of its own, so that a file of
// hours, a slow disk or a share that does not answer never holds up the window.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mp4/mp4_repair.h"
#include "recorder/file/unfinished_recording.h"

namespace orvik {

// What became of one unfinished recording.
enum class LeftOverOutcome {
  Repaired,     // its fragments became a plain MP4
  Settled,      // nothing left to do: finished already, not ours (left as it is), or gone
  InUse,        // another program holds the file: untouched, tried again at the next start
  Unreachable,  // its folder cannot be reached now (a drive or share away): the same
  Failed,       // a read, write or flush failed (report.fileChanged says whether it wrote)
  Cancelled,    // the program closed first: untouched
};

struct LeftOverResult {
  LeftOverOutcome outcome = LeftOverOutcome::Settled;
  mp4::RepairReport report;
  DWORD systemError = 0;  // why the file could not be opened, when it could not
};

// Finishes `recording` when its file is still the one it made. Its file under the name of its
// own (a kill before the first frame reached the disk) holds nothing of the user's and is
// removed. `progress` as mp4::Repair takes it.
LeftOverResult FinishLeftOver(const UnfinishedRecording& recording,
                              const mp4::RepairProgress& progress = {});

// Finishes a list of them one after another on a thread of its own.
class LeftOverRepairs {
 public:
  struct Finished {
    UnfinishedRecording recording;
    LeftOverResult result;
  };
  // The file being looked at, and how far the repair has read it (0..1).
  struct Current {
    std::wstring path;
    double done = 0;
  };

  LeftOverRepairs() = default;
  ~LeftOverRepairs() { Stop(0); }
  LeftOverRepairs(const LeftOverRepairs&) = delete;
  LeftOverRepairs& operator=(const LeftOverRepairs&) = delete;

  // `changed` is called on the repairs' thread whenever Now or TakeFinished has news.
  void Start(std::vector<UnfinishedRecording> recordings, std::function<void()> changed);
  std::optional<Current> Now() const;
  std::vector<Finished> TakeFinished();
  bool Running() const;
  // Asks the repairs to stop before they write anything more and waits up to `seconds` (the
  // messages other threads send meanwhile run); a thread held up by the system is left behind.
  void Stop(double seconds);

 private:
  struct State;
  std::shared_ptr<State> s_;
};

}  // namespace orvik
