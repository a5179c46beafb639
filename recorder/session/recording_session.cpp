#include "recorder/session/recording_session.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "recorder/output/avidecs.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {
// Room a recording needs to begin: the headers and a few uncompressed frames.
uint64_t BytesToBegin(const CaptureArea& area) {
  const uint64_t frame = static_cast<uint64_t>(area.width) * static_cast<uint64_t>(area.height) * 4;
  return 4 * frame + (1 << 20);
}

StartOutcome OutcomeOf(EngineError openError) {
  return openError == EngineError::FileNotCreated ? StartOutcome::FileNotCreatable
                                                  : StartOutcome::CodecNotOpened;
}
}  // namespace

StartOutcome RecordingSession::Start(const Setup& setup, tk::PictureBox& surface) {
  Stop();
  setup_ = setup;
  fileProblem_ = {};
  lastCapture_ = nullptr;
  if (!surface.SaveLayerAsBmp(setup_.templatePath)) return StartOutcome::TemplateNotSaved;
  fileProblem_ = CheckOutputFile(setup_.outputPath, BytesToBegin(setup_.area));
  if (fileProblem_.error != OutputFileError::None) return StartOutcome::FileNotCreatable;
  clock_.Reset(setup_.frameRate);
  StartSound();
  output_.SetSound(sound_.Recording() ? &sound_ : nullptr,
                   [this] { return clock_.Elapsed(tk::MonotonicSeconds()); });
  // The session owns its file: an MP4 opens at once, an AVI after the codec dialog.
  const bool opened = setup_.format == FileFormat::Mp4
                          ? output_.OpenMp4(setup_.templatePath, setup_.outputPath,
                                            setup_.frameRate) == EngineError::None
                          : AVIDecs::AviOpenWriter(output_, setup_.owner, setup_.templatePath,
                                                   setup_.outputPath, setup_.frameRate);
  if (!opened) {
    sound_.Stop();
    if (output_.OpenError() == EngineError::FileNotCreated) {
      // Made impossible between the check and the codec dialog: say what the disk says now.
      fileProblem_ = CheckOutputFile(setup_.outputPath, 0);
      if (fileProblem_.error == OutputFileError::None) fileProblem_.error = OutputFileError::Other;
    }
    return OutcomeOf(output_.OpenError());
  }
  active_ = true;
  begun_ = false;
  frameCount_ = 0;
  screen_ = std::make_unique<tk::WindowDc>(nullptr);
  showClicks_ = setup_.showClicks && rings_.Create(setup_.dpi);
  follow_.Follow(setup_.followWindow, setup_.followFrame);
  frameArea_ = setup_.area;
  showKeys_ = setup_.showKeys && keys_.Prepare(setup_.dpi, setup_.ownKeys);
  if (!setup_.beginsLater) Begin();
  return StartOutcome::Started;
}

void RecordingSession::Begin() {
  if (!active_ || begun_) return;
  begun_ = true;
  clock_.Start(tk::MonotonicSeconds());
  ListenToPresses(showClicks_);
  keys_.Listen(showKeys_);
}

// The devices start reading before the recording does (the codec dialog comes between); what
// they give before the clock starts is not recorded.
void RecordingSession::StartSound() {
  soundStarted_ =
      sound_.Start(setup_.sound, [this] { return clock_.RunningTime(tk::MonotonicSeconds()); });
}

void RecordingSession::Pause() {
  sound_.CatchUp();  // the sound made up to the pause is recorded
  clock_.Pause(tk::MonotonicSeconds());
  ListenToPresses(false);
  keys_.Listen(false);
}

void RecordingSession::Resume() {
  clock_.Resume(tk::MonotonicSeconds());
  ListenToPresses(Begun() && showClicks_);
  keys_.Listen(Begun() && showKeys_);
}

void RecordingSession::ListenToPresses(bool listen) {
  marks_.Clear();
  if (!listen) {
    presses_.reset();
  } else if (!presses_) {
    presses_ = std::make_unique<PressHook>();
  }
}

// The presses taken up to now, drawn as they show at the frame's moment.
void RecordingSession::DrawRings(HDC surface, const CaptureArea& area) {
  if (!presses_) return;
  for (const PressEvent& event : presses_->Take()) marks_.Add(event);
  rings_.Draw(surface, area, marks_.RingsAt(tk::MonotonicSeconds()));
}

TickOutcome RecordingSession::Tick(bool drawCursor) {
  if (!active_ || !begun_) return TickOutcome::Waiting;
  if (!output_.Accepting()) return TickOutcome::WriterClosed;
  const std::optional<Slot> slot = clock_.ClaimSlot(tk::MonotonicSeconds());
  if (!slot) return TickOutcome::Waiting;
  std::optional<FollowedCopy> followed;
  if (follow_.Active()) {
    followed = follow_.Now();
    // An empty slot: the file shows the last frame on (the first frame is always taken).
    if (followed->kind != FollowedCopy::Kind::Copy && lastCapture_) return TickOutcome::Held;
    if (followed->kind == FollowedCopy::Kind::Copy) frameArea_ = followed->frame;
  }
  const std::optional<RecordingOutput::Capture> capture = output_.Acquire(*slot);
  if (!capture) return output_.Accepting() ? TickOutcome::Dropped : TickOutcome::WriterClosed;
  if (followed)
    CaptureFollowed(capture->dc, screen_->get(), *followed, setup_.area.width, setup_.area.height);
  else
    CaptureScreen(capture->dc, screen_->get(), setup_.area);
  DrawRings(capture->dc, frameArea_);
  keys_.Draw(capture->dc, setup_.area);
  if (drawCursor) cursor_.Draw(capture->dc, frameArea_);
  lastCapture_ = capture->dc;
  output_.Submit(*capture);
  if (frameCount_ < INT32_MAX) ++frameCount_;
  return TickOutcome::Written;
}

EngineError RecordingSession::Finish(bool keepFile) {
  if (!active_) return EngineError::None;
  active_ = false;
  screen_.reset();
  ListenToPresses(false);
  keys_.Listen(false);
  sound_.CatchUp();                      // the sound made up to the stop is recorded
  clock_.Pause(tk::MonotonicSeconds());  // the recording's length stays readable
  const EngineError result = output_.Close(keepFile);
  if (keepFile) KeepLastPicture();
  lastCapture_ = nullptr;
  output_.ReleaseSurfaces();
  sound_.Stop();
  return result;
}

// The last frame from the surface it was captured into (the writer's thread is done with it),
// made small enough for the main window: no file is read back.
void RecordingSession::KeepLastPicture() {
  constexpr int kLargest = 480;
  lastPicture_.reset();
  HDC source = std::exchange(lastCapture_, nullptr);
  if (!source || setup_.area.width <= 0 || setup_.area.height <= 0) return;
  const double scale = std::min(
      1.0, static_cast<double>(kLargest) / std::max(setup_.area.width, setup_.area.height));
  const int w = std::max(1, static_cast<int>(setup_.area.width * scale));
  const int h = std::max(1, static_cast<int>(setup_.area.height * scale));
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  tk::UniqueBitmap picture(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  tk::UniqueMemDc dc(CreateCompatibleDC(nullptr));
  if (!picture || !dc) return;
  {
    tk::SelectGuard selected(dc.get(), picture.get());
    SetStretchBltMode(dc.get(), HALFTONE);
    SetBrushOrgEx(dc.get(), 0, 0, nullptr);
    if (!StretchBlt(dc.get(), 0, 0, w, h, source, 0, 0, setup_.area.width, setup_.area.height,
                    SRCCOPY))
      return;
  }
  lastPicture_ = std::move(picture);
}

EngineError RecordingSession::Reason() const { return output_.Error(); }

double RecordingSession::ElapsedSeconds() const { return clock_.Elapsed(tk::MonotonicSeconds()); }

double RecordingSession::SecondsToNextSlot() const {
  const double left = clock_.NextSlotStart() - ElapsedSeconds();
  return left > 0 ? left : 0;
}

}  // namespace orvik
