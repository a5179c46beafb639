#include "recorder/recording_session.h"

#include <climits>

#include "toolkit/files.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {
// Room a recording needs to begin: the headers and a few uncompressed frames.
uint64_t BytesToBegin(const CaptureArea& area) {
  const uint64_t frame = static_cast<uint64_t>(area.width) * static_cast<uint64_t>(area.height) * 4;
  return 4 * frame + (1 << 20);
}
}  // namespace

StartOutcome RecordingSession::Start(const Setup& setup, tk::PictureBox& surface) {
  Stop();
  setup_ = setup;
  fileProblem_ = {};
  frameCount_ = 0;
  if (!surface.SaveLayerAsBmp(setup_.templatePath)) return StartOutcome::TemplateNotSaved;
  fileProblem_ = CheckOutputFile(setup_.outputPath, BytesToBegin(setup_.area));
  if (fileProblem_.error != OutputFileError::None) return StartOutcome::FileNotCreatable;
  if (!AVIDecs::AviOpenWriter(setup_.owner, setup_.templatePath, setup_.outputPath,
                              setup_.frameRate))
    return StartOutcome::CodecNotOpened;
  active_ = true;
  screen_ = std::make_unique<tk::WindowDc>(nullptr);
  clock_ = RecordingClock(setup_.frameRate);
  clock_.Start(tk::MonotonicSeconds());
  return StartOutcome::Started;
}

void RecordingSession::Pause() { clock_.Pause(tk::MonotonicSeconds()); }
void RecordingSession::Resume() { clock_.Resume(tk::MonotonicSeconds()); }

TickOutcome RecordingSession::Tick(tk::PictureBox& surface, bool drawCursor) {
  if (!active_) return TickOutcome::Waiting;
  const int64_t slot = clock_.ClaimSlot(tk::MonotonicSeconds());
  if (slot < 0 || slot > INT32_MAX) return TickOutcome::Waiting;

  CaptureScreen(surface.hDC(), screen_->get(), setup_.area);
  if (drawCursor) cursor_.Draw(surface.hDC(), setup_.area);
  // The surface's pixels are laid out as the template frame: they go to the writer as they are
  // (a surface of another size, which the windows never make during a recording, is left out).
  const tk::LayerPixels pixels = surface.Pixels();
  if (pixels.width == setup_.area.width && pixels.height == setup_.area.height)
    AVIDecs::AviWriteFramePixels(static_cast<int32_t>(slot), pixels.bits);
  if (!AVIDecs::AviWriterIsOpen()) return TickOutcome::WriterClosed;
  if (frameCount_ < INT32_MAX) ++frameCount_;
  return TickOutcome::Written;
}

void RecordingSession::Stop() {
  if (!active_) return;
  active_ = false;
  screen_.reset();
  frameCount_ = 0;
  clock_.Pause(tk::MonotonicSeconds());  // the recording's length stays readable
  AVIDecs::AviCloseWriter();
  if (tk::FileLength(setup_.outputPath) == 0u) tk::RemoveFile(setup_.outputPath);
}

void RecordingSession::Abandon() {
  if (!active_) return;
  active_ = false;
  screen_.reset();
  AVIDecs::AviCloseWriter();
  tk::RemoveFile(setup_.outputPath);
}

double RecordingSession::ElapsedSeconds() const { return clock_.Elapsed(tk::MonotonicSeconds()); }

double RecordingSession::SecondsToNextSlot() const {
  const double next = static_cast<double>(clock_.LastSlot() + 1) * clock_.SlotSeconds();
  const double left = next - ElapsedSeconds();
  return left > 0 ? left : 0;
}

}  // namespace orvik
