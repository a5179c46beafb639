#pragma once
// One recording from start to stop: where it goes, which part of the screen it takes, its
// slot clock and frame count, the writer, and whether it is paused. The windows call it and
// show what it reports; it shows no message itself.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "recorder/avidecs.h"
#include "recorder/output_file.h"
#include "recorder/recording_clock.h"
#include "recorder/screen_capture.h"
#include "toolkit/handles.h"
#include "toolkit/picturebox.h"

namespace orvik {

enum class StartOutcome {
  Started,
  TemplateNotSaved,  // the black format frame could not be written to the temporary folder
  FileNotCreatable,  // the output file cannot be made (see StartFileProblem)
  CodecNotOpened,    // the codec dialog was cancelled or the chosen codec refused the format
};

// Why a recording ended by itself: the writer stopped taking frames.
using StopReason = AVIDecs::CloseReason;

enum class TickOutcome {
  Waiting,       // this slot already has its frame (or the recording is paused)
  Written,       // a fresh frame went to its slot
  WriterClosed,  // the writer stopped taking frames: the recording must end (see Reason)
};

class RecordingSession {
 public:
  struct Setup {
    HWND owner = nullptr;  // owns the codec dialog
    std::wstring outputPath;
    std::wstring templatePath;  // the temporary frame bitmap
    CaptureArea area;
    int frameRate = kDefaultFrameRate;
  };

  // Saves the black template frame from `surface` (sized to the area), checks that the output
  // file can be made, and opens the writer, whose codec dialog the user answers.
  StartOutcome Start(const Setup& setup, tk::PictureBox& surface);
  // What kept the output file from being made, after StartOutcome::FileNotCreatable.
  const OutputFileProblem& StartFileProblem() const { return fileProblem_; }

  void Pause();
  void Resume();
  // Takes a frame when a new slot has begun since the last one.
  TickOutcome Tick(tk::PictureBox& surface, bool drawCursor);
  // Finishes the file; a file that holds nothing is removed. The frame count starts again at 0
  // and the recording's length stays readable until the next start.
  void Stop();
  // Start was overtaken by the program closing: nothing of this recording stays.
  void Abandon();

  bool Active() const { return active_; }
  bool Paused() const { return clock_.Paused(); }
  int32_t FrameCount() const { return frameCount_; }
  double ElapsedSeconds() const;
  // Seconds until the next slot begins (0 when it already has).
  double SecondsToNextSlot() const;
  StopReason Reason() const { return AVIDecs::AviWriterCloseReason(); }
  const std::wstring& OutputPath() const { return setup_.outputPath; }
  const RecordingClock& Clock() const { return clock_; }

 private:
  Setup setup_;
  RecordingClock clock_;
  CursorPainter cursor_;
  // The screen's DC, kept for the whole recording: under Wine getting and releasing it cost
  // as much CPU as the copy itself (measured 11 ms a frame at 1920 x 1080).
  std::unique_ptr<tk::WindowDc> screen_;
  OutputFileProblem fileProblem_;
  int32_t frameCount_ = 0;
  bool active_ = false;
};

}  // namespace orvik
