// "face": the recording with the main window minimized and restored.
#include "recording.h"
#include "scenarios.h"

namespace capture_bench {

// The same recording with the main window minimized (as a start leaves it) and restored, back to
// back: what the face's live count costs a frame.
void CompareFace(const Servers& servers, const std::wstring& dir) {
  const BothWays both = RecordBothWays(servers, dir + L"\\face.avi",
                                       [](int i) { g_restoredDuringRecording = i == 1; });
  PrintBothWays("The main window during a recording", "minimized", "restored", both, 0.3);
}

}  // namespace capture_bench
