#pragma once
// One recording from start to stop: where it goes, which part of the screen it takes, its
// slot clock and frame count, the writer, and whether it is paused. The windows call it and
// show what it reports; it shows no message itself.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "recorder/capture/followed_window.h"
#include "recorder/capture/screen_capture.h"
#include "recorder/marks/keys_shown.h"
#include "recorder/marks/pointer_marks.h"
#include "recorder/marks/press_hook.h"
#include "recorder/output/engine_error.h"
#include "recorder/output/file_format.h"
#include "recorder/output/output_file.h"
#include "recorder/output/recording_output.h"
#include "recorder/session/recording_clock.h"
#include "sound/wasapi/sound_recorder.h"
#include "toolkit/handles.h"
#include "toolkit/picturebox.h"

namespace orvik {

enum class StartOutcome {
  Started,
  TemplateNotSaved,  // the black format frame could not be written to the temporary folder
  FileNotCreatable,  // the output file cannot be made (see StartFileProblem)
  CodecNotOpened,    // the codec dialog was cancelled or the chosen codec refused the format
};

enum class TickOutcome {
  Waiting,       // this slot already has its frame (or the recording is paused)
  Written,       // a fresh frame went to its slot
  Dropped,       // the writer still had every frame buffer: this slot stays empty
  WriterClosed,  // the writer stopped taking frames: the recording must end (see Reason)
  Held,          // the followed window is hidden or closed: the slot keeps the last picture
};

class RecordingSession {
 public:
  struct Setup {
    HWND owner = nullptr;  // owns the codec dialog
    std::wstring outputPath;
    FileFormat format = FileFormat::Avi;  // MP4 asks no codec dialog
    std::wstring templatePath;            // the temporary frame bitmap
    CaptureArea area;
    int frameRate = kDefaultFrameRate;
    sound::SoundRecorder::Wanted sound;  // nothing wanted: a recording without sound
    bool showClicks = false;             // rings where the mouse's buttons are pressed
    int dpi = 96;                        // the screen's: the rings are drawn to its scale
    // The clock waits for Begin (a countdown runs between the dialogs and the first frame).
    bool beginsLater = false;
    // A window the frames follow (another program's; null: the area stays put), and where the
    // area lay in it when it was picked; the area gives the frames' size.
    HWND followWindow = nullptr;
    FollowedFrame followFrame;
    bool showKeys = false;          // a caption of the shortcuts pressed
    std::vector<KeyCombo> ownKeys;  // the program's hot keys, which the caption leaves out
  };

  RecordingSession() = default;
  // A process that ends during a recording still finishes the file.
  ~RecordingSession() { Finish(true); }
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // Saves the black template frame from `surface` (sized to the area), checks that the output
  // file can be made, and opens the writer in the setup's format (AVI after the codec dialog the
  // user answers, MP4 at once). The clock starts too, unless the setup begins later.
  StartOutcome Start(const Setup& setup, tk::PictureBox& surface);
  // Starts the clock of a session started to begin later: the first frame is taken from now.
  void Begin();
  // Started, and its clock running or paused: frames are being taken.
  bool Begun() const { return active_ && begun_; }
  // What kept the output file from being made, after StartOutcome::FileNotCreatable.
  const OutputFileProblem& StartFileProblem() const { return fileProblem_; }
  // Which sound sources record, and why a wanted one does not (after a start).
  const sound::SoundRecorder::Started& SoundStarted() const { return soundStarted_; }
  // After a stop: where a source's sound is missing, and why.
  const std::vector<sound::SoundGap>& SoundGaps() const { return sound_.Gaps(); }

  // Presses and keys while paused are not listened to, and rings and captions from before a
  // pause end with it.
  void Pause();
  void Resume();
  // Takes a frame when a new slot has begun since the last one: the screen is copied straight
  // into one of the writer's frame buffers.
  TickOutcome Tick(bool drawCursor);
  // Finishes the file; a file that holds no frame is removed (and a file of that name the new
  // one was to replace stays). Returns what ended the recording
  // badly, if anything (the writer stopping by itself, or finishing the file failing); None
  // when all of it is on the disk. The frame count starts again at 0 and the recording's
  // length stays readable until the next start.
  EngineError Stop() { return Finish(true); }
  // Start was overtaken by the program closing: nothing of this recording stays.
  void Abandon() { Finish(false); }

  bool Active() const { return active_; }
  bool Paused() const { return clock_.Paused(); }
  // Frames handed to the writer so far (slots left empty do not count); 0 after a stop.
  int32_t FrameCount() const { return active_ ? frameCount_ : 0; }
  // The recording's file (the last one after a stop): its counts may be read from any thread.
  const RecordingOutput& Output() const { return output_; }
  double ElapsedSeconds() const;
  // Seconds until the next slot begins (0 when it already has).
  double SecondsToNextSlot() const;
  // What stopped the writer by itself, after TickOutcome::WriterClosed.
  EngineError Reason() const;
  const std::wstring& OutputPath() const { return setup_.outputPath; }
  const SharedClock& Clock() const { return clock_; }
  // The last frame of the last recording, made small as the recording stopped (null before
  // any, or when none was captured); it stays until the next stop.
  HBITMAP LastPicture() const { return lastPicture_.get(); }
  // Whether the frames follow a window, where the last frame was taken on the screen, and
  // whether the window was closed (the last picture held from then on; readable after a stop).
  bool Following() const { return follow_.Active(); }
  const CaptureArea& FrameArea() const { return frameArea_; }
  bool FollowedWindowClosed() const { return follow_.Closed(); }

 private:
  // The one way out of a recording: the clock stops, the file is finished, the last picture kept
  // (when the file is), the devices let go; a file that is not kept or holds no frame goes.
  EngineError Finish(bool keepFile);

  Setup setup_;
  RecordingOutput output_;  // this recording's file, kept until the next
  SharedClock clock_;       // the sound's threads read it too
  sound::SoundRecorder sound_;
  sound::SoundRecorder::Started soundStarted_;
  CursorPainter cursor_;
  // While clicks are shown: the hook (only while running), the presses it gave, their rings.
  std::unique_ptr<PressHook> presses_;
  ClickMarks marks_;
  RingPainter rings_;
  bool showClicks_ = false;
  void ListenToPresses(bool listen);
  void DrawRings(HDC surface, const CaptureArea& area);
  FollowedWindow follow_;
  CaptureArea frameArea_;
  KeysShown keys_;  // while keys are shown
  bool showKeys_ = false;
  // The screen's DC, kept for the whole recording: under Wine getting and releasing it cost
  // as much CPU as the copy itself (measured 11 ms a frame at 1920 x 1080).
  std::unique_ptr<tk::WindowDc> screen_;
  void StartSound();
  // The surface the last frame was captured into, readable until the file lets its surfaces go.
  HDC lastCapture_ = nullptr;
  tk::UniqueBitmap lastPicture_;
  void KeepLastPicture();

  OutputFileProblem fileProblem_;
  int32_t frameCount_ = 0;
  bool active_ = false;
  bool begun_ = false;
};

}  // namespace orvik
