#pragma once
// What can go wrong in the recording engine, from the codec dialog to the file's last byte: one
// list, so what the writer's thread finds is what the windows tell the user. No <windows.h>.
namespace orvik {

enum class EngineError {
  None,
  TemplateUnreadable,  // the first bitmap, which gives the frame format, could not be loaded
  CodecCancelled,      // the user cancelled the codec dialog
  CodecRefused,        // the chosen codec cannot compress frames of this format
  FileNotCreated,      // the output file could not be made
  DiskFull,            // the disk had no room left; the frames before are kept
  WriteFailed,         // the codec or the file refused a frame, or finishing the file failed
};

// True for the errors that end a recording that was running (as opposed to one that never
// began).
constexpr bool EndsARecording(EngineError e) {
  return e == EngineError::DiskFull || e == EngineError::WriteFailed;
}

}  // namespace orvik
