#include "mp4/mp4_writer.h"

#include <algorithm>

namespace mp4 {

namespace {

constexpr size_t kVideo = 0;
constexpr size_t kSound = 1;
constexpr uint32_t kSoundTrackId = 2;
constexpr uint32_t kVideoTimescale = 90000;
constexpr size_t kLargestAudioConfig = 64;

bool Usable(const VideoFormat& v) {
  return v.width > 0 && v.width <= 0xFFFF && v.height > 0 && v.height <= 0xFFFF &&
         v.sps.size() >= 4 && v.sps.size() <= 0xFFFF && !v.pps.empty() && v.pps.size() <= 0xFFFF &&
         v.framesPerSecond > 0 && v.framesPerSecond <= 1000;
}

bool Usable(const SoundFormat& s) {
  return s.audioSpecificConfig.size() >= 2 && s.audioSpecificConfig.size() <= kLargestAudioConfig &&
         s.sampleRate > 0 && s.sampleRate <= 0xFFFF && s.channels > 0 && s.priming < s.sampleRate;
}

// Bytes of the mdat payload after the samples that keep the next fragment 4-byte aligned, so
// that the label rewritten in place never straddles a disk sector.
size_t AlignPad(uint64_t bytes) { return static_cast<size_t>((4 - bytes % 4) % 4); }

}  // namespace

bool Writer::Refuse(Refusal why) {
  refusal_ = why;
  return false;
}

bool Writer::Outcome(bool ok) {
  refusal_ = ok ? Refusal::None : Refusal::Io;
  return ok;
}

bool Writer::Put(uint64_t offset, const std::vector<uint8_t>& bytes) {
  reach_ = std::max(reach_, offset + bytes.size());
  const IoStatus status = sink_->WriteAt(offset, bytes.data(), bytes.size());
  if (status != IoStatus::Ok) {
    if (failure_ == IoStatus::Ok) failure_ = status;
    return false;
  }
  fileSize_ = std::max(fileSize_, offset + bytes.size());
  return true;
}

bool Writer::FlushSink() {
  const IoStatus status = sink_->Flush();
  if (status != IoStatus::Ok && failure_ == IoStatus::Ok) failure_ = status;
  return status == IoStatus::Ok;
}

bool Writer::Open(Sink& sink, const VideoFormat& video, const SoundFormat* sound,
                  const WriterOptions& options) {
  if (open_ || !Usable(video) || (sound && !Usable(*sound))) return Refuse(Refusal::BadCall);
  *this = Writer();
  sink_ = &sink;
  options_ = options;
  const uint32_t fps = video.framesPerSecond;
  const uint32_t timescale = kVideoTimescale % fps == 0 ? kVideoTimescale : fps * 1000;
  ticksPerSlot_ = timescale / fps;
  movie_.timescale = timescale;
  movie_.recordingId = options.recordingId;
  Track picture;
  picture.id = 1;
  picture.timescale = timescale;
  picture.width = video.width;
  picture.height = video.height;
  picture.sampleEntry = BuildAvc1(video.width, video.height, video.sps, video.pps);
  movie_.tracks.push_back(std::move(picture));
  if (sound) {
    Track s;
    s.id = kSoundTrackId;
    s.handler = kSoundHandler;
    s.timescale = sound->sampleRate;
    s.priming = sound->priming;
    s.sampleEntry = BuildMp4a(sound->sampleRate, sound->channels, sound->audioSpecificConfig);
    movie_.tracks.push_back(std::move(s));
  }
  std::vector<uint8_t> head = BuildFtyp();
  placeholderAt_ = head.size();
  const uint8_t placeholder[kPlaceholderBytes] = {0, 0, 0, kPlaceholderBytes, 'f', 'r', 'e', 'e'};
  head.insert(head.end(), placeholder, placeholder + kPlaceholderBytes);
  const std::vector<uint8_t> moov = BuildMoov(movie_, true);
  moovBytes_ = moov.size();
  head.insert(head.end(), moov.begin(), moov.end());
  end_ = head.size();
  open_ = Put(0, head) && FlushSink();
  return Outcome(open_);
}

bool Writer::CommitIfFull(uint64_t adding) {
  const uint64_t waiting = pending_[kVideo].data.size() + pending_[kSound].data.size();
  return waiting == 0 || waiting + adding <= options_.fragmentBytes || Commit();
}

bool Writer::WriteVideo(uint32_t slot, const void* data, uint32_t size, bool keyFrame) {
  refusal_ = Refusal::None;
  if (!open_ || slot < nextSlot_ || slot == UINT32_MAX || (size > 0 && !data))
    return Refuse(Refusal::BadCall);
  if (failure_ != IoStatus::Ok) return Refuse(Refusal::Io);
  if (size >= kLargestSample) return Refuse(Refusal::SampleTooLarge);
  if (size > 0 && MovieIsFull()) return Refuse(Refusal::MovieFull);
  if (size == 0) {
    nextSlot_ = slot + 1;
    return true;
  }
  if (!CommitIfFull(size)) return Outcome(false);
  // The first picture shows from the start.
  Add(kVideo, data, size, keyFrame, given_[kVideo] == 0 ? 0 : uint64_t{slot} * ticksPerSlot_);
  nextSlot_ = slot + 1;
  return true;
}

bool Writer::WriteSound(const void* data, uint32_t size) {
  refusal_ = Refusal::None;
  if (!open_ || movie_.tracks.size() <= kSound || size == 0 || !data)
    return Refuse(Refusal::BadCall);
  if (failure_ != IoStatus::Ok) return Refuse(Refusal::Io);
  if (size >= kLargestSample) return Refuse(Refusal::SampleTooLarge);
  if (MovieIsFull()) return Refuse(Refusal::MovieFull);
  if (!CommitIfFull(size)) return Outcome(false);
  Add(kSound, data, size, true, uint64_t{given_[kSound]} * kAacFrameSamples);
  return true;
}

void Writer::Add(size_t track, const void* data, uint32_t size, bool key, uint64_t time) {
  Pending& p = pending_[track];
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  p.data.insert(p.data.end(), bytes, bytes + size);
  p.sizes.push_back(size);
  p.keys.push_back(key);
  p.times.push_back(time);
  ++given_[track];
}

// Durations from the times; the last picture lasts to the last slot marked so far (the next
// fragment's decode time corrects it when a later picture comes).
std::vector<FragmentTrack> Writer::FragmentTracks() const {
  std::vector<FragmentTrack> out;
  for (size_t k = 0; k < movie_.tracks.size(); ++k) {
    const Pending& p = pending_[k];
    if (p.sizes.empty()) continue;
    FragmentTrack t;
    t.id = movie_.tracks[k].id;
    t.video = k == kVideo;
    t.time = p.times.front();
    t.sizes = p.sizes;
    t.keys = p.keys;
    for (size_t i = 0; i < p.times.size(); ++i) {
      const uint64_t next = i + 1 < p.times.size() ? p.times[i + 1]
                            : t.video              ? uint64_t{nextSlot_} * ticksPerSlot_
                                                   : p.times[i] + kAacFrameSamples;
      t.durations.push_back(static_cast<uint32_t>(next - p.times[i]));
    }
    out.push_back(std::move(t));
  }
  return out;
}

void Writer::ClearPending() {
  for (Pending& p : pending_) p = Pending();
}

// The fragment's samples join the tables once its data is on the disk.
void Writer::Record(const std::vector<FragmentTrack>& tracks, uint64_t dataAt) {
  for (const FragmentTrack& f : tracks) {
    Track& t = movie_.tracks[f.video ? kVideo : kSound];
    t.chunks.push_back({dataAt, static_cast<uint32_t>(f.sizes.size())});
    uint64_t time = f.time;
    for (size_t i = 0; i < f.sizes.size(); ++i) {
      t.samples.push_back({time, f.sizes[i], f.keys[i]});
      time += f.durations[i];
      dataAt += f.sizes[i];
    }
    t.end = time;
  }
}

bool Writer::Commit() {
  const std::vector<FragmentTrack> tracks = FragmentTracks();
  if (tracks.empty()) return true;
  std::vector<uint8_t> data = std::move(pending_[kVideo].data);
  data.insert(data.end(), pending_[kSound].data.begin(), pending_[kSound].data.end());
  ClearPending();
  const bool large = data.size() + 8 > UINT32_MAX;
  const size_t mdatHeader = large ? 16 : 8;
  std::vector<uint8_t> fragment = BuildMoof(sequence_ + 1, tracks, mdatHeader);
  const size_t moofBytes = fragment.size();
  const size_t pad = AlignPad(moofBytes + mdatHeader + data.size());
  Store32(&fragment[4], kFree);  // not named until its data is on the disk
  const std::vector<uint8_t> header = MdatHeader(data.size() + pad, large);
  fragment.insert(fragment.end(), header.begin(), header.end());
  fragment.insert(fragment.end(), data.begin(), data.end());
  fragment.insert(fragment.end(), pad, 0);
  data = std::vector<uint8_t>();
  const uint64_t at = end_;
  if (!Put(at, fragment) || !FlushSink()) return false;  // given up: the bytes may be gone
  Record(tracks, at + moofBytes + mdatHeader);
  end_ = at + fragment.size();
  ++sequence_;
  uint8_t name[4];
  Store32(name, kMoof);
  if (!Put(at + 4, std::vector<uint8_t>(name, name + 4)) || !FlushSink()) return false;
  for (size_t k = 0; k < movie_.tracks.size(); ++k)
    named_[k] = static_cast<uint32_t>(movie_.tracks[k].samples.size());
  return true;
}

bool Writer::Flush() {
  refusal_ = Refusal::None;
  if (!open_) return Refuse(Refusal::BadCall);
  if (failure_ != IoStatus::Ok) return Refuse(Refusal::Io);
  return Outcome(Commit());
}

bool Writer::MovieIsFull() const {
  return uint64_t{given_[kVideo]} + given_[kSound] >= kMostSamples;
}

bool Writer::Finish() {
  const FinishWrites w = PlanFinish(movie_, placeholderAt_, end_, reach_);
  if (w.moov.empty()) return false;
  return Put(end_, w.moov) && FlushSink() && Put(placeholderAt_, w.mdatHeader) && FlushSink();
}

bool Writer::Close() {
  refusal_ = Refusal::None;
  if (!open_) return Refuse(Refusal::BadCall);
  if (failure_ == IoStatus::Ok && Commit()) {
    Track& video = movie_.tracks[kVideo];
    if (!video.samples.empty())  // the last picture is held to the last slot marked
      video.end = std::max(video.end, uint64_t{nextSlot_} * ticksPerSlot_);
  }
  ClearPending();
  if (movie_.tracks.size() > kSound) movie_.tracks[kSound].length = soundLength_;
  const bool ok = Finish() || Finish();
  open_ = false;
  return Outcome(ok && failure_ == IoStatus::Ok);
}

uint64_t Writer::BytesNeededFor(uint32_t size) const {
  if (!open_) return 0;
  uint64_t samples = 1, waiting = size;
  for (size_t k = 0; k < movie_.tracks.size(); ++k) {
    samples += movie_.tracks[k].samples.size() + pending_[k].sizes.size();
    waiting += pending_[k].data.size();
  }
  // The last fragment (its moof, mdat header and padding), then the moov: its fixed part as at
  // Open, and at most 12 bytes a sample in the fragment and 40 in the sample tables (a chunk per
  // sample at worst).
  const uint64_t fixed = 1024 + moovBytes_;
  const uint64_t end = end_ + 256 + 19 + waiting + fixed + samples * (12 + 40);
  return end > fileSize_ ? end - fileSize_ : 0;
}

}  // namespace mp4
