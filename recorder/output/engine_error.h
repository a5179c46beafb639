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
  WriteFailed,         // the file refused a write or a flush, or finishing the file failed
  CodecFailed,         // the codec failed on a frame during the recording
  FileFull,            // the file's index can take no more segments
  OutOfMemory,         // the writer could not get the memory a frame needed
  NotAnswering,        // the codec or the disk stopped answering; the file keeps what was
                       // committed before
  NameNotTaken,        // the file of the chosen name could not be replaced as the first frame
                       // came (another program holds it): it stays, the new file goes
};

// True for the errors that end a recording that was running (as opposed to one that never
// began).
constexpr bool EndsARecording(EngineError e) {
  return e == EngineError::DiskFull || e == EngineError::WriteFailed ||
         e == EngineError::CodecFailed || e == EngineError::FileFull ||
         e == EngineError::OutOfMemory || e == EngineError::NotAnswering ||
         e == EngineError::NameNotTaken;
}

}  // namespace orvik
