#pragma once
// MP4 (H.264 + AAC) writer that leaves a file that plays whenever the process dies or the power
// goes, and a plain MP4 when it is closed: every player opens the finished file, and browsers
// play the fragments of one cut off. No <windows.h>: the Windows side passes a Sink over its own
// file handle.
//
// The file while recording: ftyp, a 16-byte 'free' placeholder, a moov with mvex and no samples
// (with the sound's edit list, so that the fragments play in step, and our identity box naming
// the recording, by which the repair knows the file), then one fragment (moof + mdat) per
// commit. A fragment goes out with its moof labelled 'free', is flushed, and only then is named
// 'moof' and flushed again: a named fragment whose data is not on the disk stops a browser dead,
// an unnamed one is skipped. Close writes a complete moov after
// the last fragment (every sample, 64-bit chunk offsets, an edit list removing the AAC priming),
// flushes it, and only then turns the placeholder into a 64-bit mdat header over everything after
// it (the fragments' moofs are just bytes in it), flushed: a plain MP4. A file left as fragments
// is finished the same way by the repair (mp4_repair.h).
//
// A failed write or flush: nothing is named past the last flush that succeeded. A fragment whose
// data a flush put on the disk stays in the file even if naming it failed, since the moov at
// Close lists it; one whose flush failed is given up (its bytes may be gone) and Close covers
// whatever it left past the moov.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/sink.h"
#include "mp4/mp4_boxes.h"

namespace mp4 {

using IoStatus = io::IoStatus;

// Why the writer refused its last call (returned false).
enum class Refusal {
  None,
  Io,              // a write or a flush failed, in this call or before it: Failure() says how
  SampleTooLarge,  // a sample of kLargestSample bytes or more
  BadCall,         // not open, a slot already written, no sound track, a format it cannot use
  MovieFull,       // kMostSamples samples given: the moov could list no more
};

// Where the file's bytes go (io/sink.h).
using Sink = io::Sink;

// H.264 with 4-byte NAL unit lengths, its SPS and PPS out of band; frames in time slots.
struct VideoFormat {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> sps, pps;  // without start codes or lengths
  uint32_t framesPerSecond = 10;
};

// AAC, 1024 samples a frame, the encoder's first `priming` samples before the sound (what the
// encoder says: the edit list skips them, less than a second of them).
struct SoundFormat {
  std::vector<uint8_t> audioSpecificConfig;
  uint32_t sampleRate = 48000;
  uint16_t channels = 2;
  uint32_t priming = kAacPriming;
};

struct WriterOptions {
  // Samples waiting for a commit past this many bytes are committed by the writer itself.
  uint64_t fragmentBytes = 64ull << 20;
  // Named in the moov's identity box: the repair finishes a file only for the recording it
  // belongs to.
  RecordingId recordingId{};
};

constexpr uint32_t kLargestSample = 1u << 30;

class Writer {
 public:
  // An empty file that plays, flushed. `sound` may be null: a file with a picture only. The
  // writer takes one file at a time and can be opened again after Close.
  bool Open(Sink& sink, const VideoFormat& video, const SoundFormat* sound,
            const WriterOptions& options = {});

  // The picture of `slot` (after every slot so far): one H.264 access unit, its NAL units
  // length-prefixed. An empty sample (size 0) marks the slot as holding the picture before. The
  // first picture shows from slot 0. Samples wait in memory for the next commit, which the
  // writer makes itself once they pass WriterOptions::fragmentBytes. Refused (false;
  // LastRefusal says why): a slot already written (BadCall), a sample of kLargestSample bytes or
  // more (SampleTooLarge), one past kMostSamples samples of both tracks (MovieFull), anything
  // once a write or flush has failed (Io).
  bool WriteVideo(uint32_t slot, const void* data, uint32_t size, bool keyFrame);
  // The next AAC frame (raw, no ADTS header); refused as a picture is, and in a file without
  // sound (BadCall).
  bool WriteSound(const void* data, uint32_t size);
  // The sound's true length in samples, when the encoder was given fewer than its frames hold:
  // the edit list ends there.
  void SetSoundLength(uint64_t samples) { soundLength_ = samples; }

  // One fragment with everything since the last commit, named once its data is on the disk
  // (four sink calls: the fragment, a flush, its name, a flush). Refused after a failure.
  bool Flush();
  // The last fragment and the finished file. After a failure it finishes the file with what is
  // on the disk; a write or flush failing on the way is tried once more. False when anything
  // failed.
  bool Close();

  Refusal LastRefusal() const { return refusal_; }
  IoStatus Failure() const { return failure_; }
  uint64_t FileSize() const { return fileSize_; }
  // Bytes the file grows by, at most, if a video sample of `size` bytes comes next and the file
  // is then closed.
  uint64_t BytesNeededFor(uint32_t size) const;
  // Samples given so far (video samples are pictures, not slots), and those in named fragments:
  // what a reader of the fragments sees if the power goes now.
  uint32_t VideoSamples() const { return given_[0]; }
  uint32_t SoundSamples() const { return given_[1]; }
  uint32_t CommittedVideoSamples() const { return named_[0]; }
  uint32_t CommittedSoundSamples() const { return named_[1]; }
  // The slot after the last one written or marked.
  uint32_t SlotCount() const { return nextSlot_; }
  bool IsOpen() const { return open_; }

 private:
  // Samples given since the last commit, of one track.
  struct Pending {
    std::vector<uint8_t> data;
    std::vector<uint32_t> sizes;
    std::vector<bool> keys;
    std::vector<uint64_t> times;
  };

  bool Refuse(Refusal why);
  bool MovieIsFull() const;
  bool Outcome(bool ok);
  bool Put(uint64_t offset, const std::vector<uint8_t>& bytes);
  bool FlushSink();
  bool CommitIfFull(uint64_t adding);
  void Add(size_t track, const void* data, uint32_t size, bool key, uint64_t time);
  bool Commit();
  std::vector<FragmentTrack> FragmentTracks() const;
  void Record(const std::vector<FragmentTrack>& tracks, uint64_t dataAt);
  bool Finish();
  void ClearPending();

  Sink* sink_ = nullptr;
  bool open_ = false;
  IoStatus failure_ = IoStatus::Ok;
  Refusal refusal_ = Refusal::None;
  WriterOptions options_;
  Movie movie_;  // samples on the disk
  Pending pending_[2];
  uint64_t placeholderAt_ = 0;
  uint64_t moovBytes_ = 0;  // the moov as Open wrote it
  uint32_t ticksPerSlot_ = 1;
  uint32_t nextSlot_ = 0;  // the slot after the last one written
  uint64_t soundLength_ = 0;
  uint32_t sequence_ = 0;
  uint64_t end_ = 0;  // where the next fragment goes: after the last one whose data is on the disk
  uint64_t reach_ = 0;     // the end of the furthest write tried
  uint64_t fileSize_ = 0;  // the end of the furthest write that succeeded
  uint32_t given_[2] = {0, 0};
  uint32_t named_[2] = {0, 0};
};

}  // namespace mp4
