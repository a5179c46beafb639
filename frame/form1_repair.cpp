// The frame window's part in finishing what earlier runs left unfinished: the repairs run on a
// thread of their own while the window answers; its face says which file is being repaired and
// how far, and the user is told what became of each. A note is dropped only once its file is
// finished or found not to be ours: one that could not be finished now is tried again at the
// next start, and one cut off (the program closed, crashed) is taken up again.
#include <cwctype>

#include "frame/form1.h"
#include "frame/recording_text.h"
#include "settings/remembered_choices.h"
#include "toolkit/app.h"

namespace orvik {

namespace {
bool SamePath(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

UnrepairedBecause BecauseOf(LeftOverOutcome outcome) {
  switch (outcome) {
    case LeftOverOutcome::InUse:
      return UnrepairedBecause::InUse;
    case LeftOverOutcome::Unreachable:
      return UnrepairedBecause::Unreachable;
    default:
      return UnrepairedBecause::Failed;
  }
}
}  // namespace

void Form1::RepairWhatTheLastRunLeft() {
  std::vector<UnfinishedRecording> left = UnfinishedRecordings();
  if (left.empty()) return;
  HWND window = Handle();
  repairs_.Start(std::move(left), [window] { PostMessageW(window, kRepairsChangedMessage, 0, 0); });
}

// A message box below runs its own loop, which brings more news here: those are told once it
// is answered, in order.
void Form1::ShowRepairs() {
  const std::optional<LeftOverRepairs::Current> now = repairs_.Now();
  face_.SetNotice(now ? RepairNotice(now->path, now->done) : L"");
  if (tellingRepairs_) return;
  tellingRepairs_ = true;
  for (auto finished = repairs_.TakeFinished(); !finished.empty();
       finished = repairs_.TakeFinished()) {
    for (const LeftOverRepairs::Finished& f : finished) TellWhatBecameOf(f);
  }
  tellingRepairs_ = false;
}

void Form1::TellWhatBecameOf(const LeftOverRepairs::Finished& f) {
  const LeftOverResult& r = f.result;
  switch (r.outcome) {
    case LeftOverOutcome::Repaired:
      ForgetUnfinished(f.recording.id);  // before the message, which may never be answered
      tk::MsgBox(RepairedRecordingMessage(f.recording.path, r.report.seconds),
                 MB_OK | MB_ICONINFORMATION);
      return;
    case LeftOverOutcome::Settled:
      ForgetUnfinished(f.recording.id);
      return;
    case LeftOverOutcome::Cancelled:
      return;
    default:
      tk::MsgBox(
          UnrepairedRecordingMessage(f.recording.path, BecauseOf(r.outcome), r.report.fileChanged),
          MB_OK | MB_ICONWARNING);
      return;
  }
}

bool Form1::BeingRepaired(const std::wstring& path) const {
  const std::optional<LeftOverRepairs::Current> now = repairs_.Now();
  return now && SamePath(now->path, path);
}

}  // namespace orvik
