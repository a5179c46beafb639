#include "mp4/mp4_repair.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace mp4 {

namespace {

constexpr uint64_t kLargestFtyp = 1024;
constexpr uint64_t kLargestMoov = 16u << 20;
constexpr uint64_t kLargestMoof = 16u << 20;
constexpr uint32_t kNonSyncSample = 0x00010000;
constexpr uint32_t kMfhd = FourCC('m', 'f', 'h', 'd');
// Children of a finished moov looked through for our identity box (ours has four at most).
constexpr int kMostMoovChildren = 64;
// Calls of the progress callback while the fragments are read, at most (and two more).
constexpr uint64_t kProgressSteps = 256;

// A box inside a buffer: its type and body (after the header, and after version and flags for
// a full box when asked through Full).
struct Box {
  uint32_t type = 0;
  const uint8_t* body = nullptr;
  size_t size = 0;
  size_t header = 8;
};

// Calls `each` for every box in [p, p + n); false when one does not fit or `each` says so.
template <typename Each>
bool ForEachBox(const uint8_t* p, size_t n, Each&& each) {
  while (n > 0) {
    if (n < 8) return false;
    uint64_t size = Load32(p);
    size_t header = 8;
    if (size == 1) {
      if (n < 16) return false;
      size = Load64(p + 8);
      header = 16;
    } else if (size == 0) {
      size = n;
    }
    if (size < header || size > n) return false;
    if (!each(Box{Load32(p + 4), p + header, static_cast<size_t>(size - header), header}))
      return false;
    p += size;
    n -= static_cast<size_t>(size);
  }
  return true;
}

// The first child of `box` of `type`.
bool Child(const Box& box, uint32_t type, Box* found) {
  bool seen = false;
  ForEachBox(box.body, box.size, [&](const Box& b) {
    if (b.type == type && !seen) {
      *found = b;
      seen = true;
    }
    return true;
  });
  return seen;
}

bool Path(Box box, std::initializer_list<uint32_t> types, Box* found) {
  for (uint32_t type : types)
    if (!Child(box, type, &box)) return false;
  *found = box;
  return true;
}

// A full box's version; its fields start 4 bytes into the body.
bool Version(const Box& b, size_t v0Bytes, size_t v1Bytes, uint8_t* version) {
  if (b.size < 4) return false;
  *version = b.body[0];
  return b.size >= 4 + (*version == 1 ? v1Bytes : v0Bytes);
}

// The sound's priming: what the edit list skips (the writer writes one edit; none: nothing).
bool ReadPriming(const Box& trak, Track* t) {
  Box elst;
  if (!Path(trak, {FourCC('e', 'd', 't', 's'), FourCC('e', 'l', 's', 't')}, &elst)) return true;
  uint8_t v = 0;
  if (!Version(elst, 4 + 12, 4 + 20, &v) || Load32(elst.body + 4) != 1) return false;
  const uint64_t mediaTime = v == 1 ? Load64(elst.body + 16) : Load32(elst.body + 12);
  if (mediaTime >= t->timescale) return false;  // as the writer takes it: under a second
  t->priming = static_cast<uint32_t>(mediaTime);
  return true;
}

bool ReadTrack(const Box& trak, Track* t) {
  Box tkhd, mdhd, hdlr, stsd;
  uint8_t v = 0;
  if (!Child(trak, FourCC('t', 'k', 'h', 'd'), &tkhd) || !Version(tkhd, 80, 92, &v)) return false;
  t->id = Load32(tkhd.body + 4 + (v == 1 ? 16 : 8));
  t->width = Load32(tkhd.body + tkhd.size - 8) >> 16;
  t->height = Load32(tkhd.body + tkhd.size - 4) >> 16;
  if (!Path(trak, {FourCC('m', 'd', 'i', 'a'), FourCC('m', 'd', 'h', 'd')}, &mdhd) ||
      !Version(mdhd, 20, 32, &v))
    return false;
  t->timescale = Load32(mdhd.body + 4 + (v == 1 ? 16 : 8));
  if (!Path(trak, {FourCC('m', 'd', 'i', 'a'), FourCC('h', 'd', 'l', 'r')}, &hdlr) ||
      hdlr.size < 12)
    return false;
  t->handler = Load32(hdlr.body + 8);
  if (!Path(trak,
            {FourCC('m', 'd', 'i', 'a'), FourCC('m', 'i', 'n', 'f'), FourCC('s', 't', 'b', 'l'),
             FourCC('s', 't', 's', 'd')},
            &stsd) ||
      stsd.size < 16)
    return false;
  const uint32_t entry = Load32(stsd.body + 8);
  if (entry < 8 || entry > stsd.size - 8) return false;
  t->sampleEntry.assign(stsd.body + 8, stsd.body + 8 + entry);
  if (t->id == 0 || t->timescale == 0) return false;
  if (t->handler == kSoundHandler) return ReadPriming(trak, t);
  return t->handler == kVideoHandler;
}

// Whether the moov holds our identity box naming `ours`.
bool NamesRecording(const Box& moov, const RecordingId& ours) {
  bool named = false;
  ForEachBox(moov.body, moov.size, [&](const Box& b) {
    Identity identity;
    named |= ReadIdentity(b.body - b.header, b.size + b.header, &identity) && identity.id == ours;
    return true;
  });
  return named;
}

// The writer's moov while recording for the recording `ours`: a movie timescale, a picture's
// track and perhaps a sound's, and mvex.
bool ReadMoov(const std::vector<uint8_t>& bytes, const RecordingId& ours, Movie* movie) {
  const Box moov{kMoov, bytes.data() + 8, bytes.size() - 8};
  Box mvhd, mvex;
  uint8_t v = 0;
  if (!NamesRecording(moov, ours) || !Child(moov, FourCC('m', 'v', 'h', 'd'), &mvhd) ||
      !Version(mvhd, 20, 32, &v) || !Child(moov, FourCC('m', 'v', 'e', 'x'), &mvex))
    return false;
  movie->timescale = Load32(mvhd.body + 4 + (v == 1 ? 16 : 8));
  movie->recordingId = ours;
  const bool whole = ForEachBox(moov.body, moov.size, [&](const Box& b) {
    if (b.type != FourCC('t', 'r', 'a', 'k')) return true;
    Track t;
    if (!ReadTrack(b, &t) || movie->tracks.size() == 2) return false;
    for (const Track& other : movie->tracks)
      if (other.id == t.id || other.handler == t.handler) return false;
    movie->tracks.push_back(std::move(t));
    return true;
  });
  const auto picture = [](const Track& t) { return t.handler == kVideoHandler; };
  return whole && movie->timescale != 0 &&
         std::any_of(movie->tracks.begin(), movie->tracks.end(), picture);
}

// One track run of a fragment: where its data lies and its samples.
struct Run {
  size_t track = 0;
  uint64_t time = 0;
  uint64_t dataAt = 0;
  std::vector<uint32_t> durations, sizes;
  std::vector<bool> keys;
};

struct TrackDefaults {
  uint64_t base = 0;
  uint32_t duration = 0, size = 0, flags = 0;
};

bool ReadTfhd(const Box& tfhd, uint64_t moofAt, uint32_t* id, TrackDefaults* d) {
  if (tfhd.size < 8) return false;
  const uint32_t flags = Load32(tfhd.body) & 0xFFFFFF;
  *id = Load32(tfhd.body + 4);
  d->base = moofAt;
  size_t at = 8;
  const auto field = [&](uint32_t flag, size_t bytes, auto&& use) {
    if (!(flags & flag)) return true;
    if (tfhd.size < at + bytes) return false;
    use(tfhd.body + at);
    at += bytes;
    return true;
  };
  return !(flags & 0x010000) &&  // duration-is-empty
         field(0x01, 8, [&](const uint8_t* p) { d->base = Load64(p); }) &&
         field(0x02, 4, [](const uint8_t*) {}) &&
         field(0x08, 4, [&](const uint8_t* p) { d->duration = Load32(p); }) &&
         field(0x10, 4, [&](const uint8_t* p) { d->size = Load32(p); }) &&
         field(0x20, 4, [&](const uint8_t* p) { d->flags = Load32(p); });
}

// `base` moved by a signed 32-bit offset, in unsigned arithmetic; false when it leaves
// [0, 2^64).
bool Offset(uint64_t base, uint32_t offset, uint64_t* at) {
  if (offset & 0x80000000u) {
    const uint64_t back = (uint64_t{1} << 32) - offset;
    if (back > base) return false;
    *at = base - back;
    return true;
  }
  if (offset > UINT64_MAX - base) return false;
  *at = base + offset;
  return true;
}

// A track run as the writer lays it down: a data offset, and a duration and a size for every
// sample (its flags too for the picture), no composition offsets. So each sample takes at least
// 8 bytes of the box, and its count is bounded by the box's bytes: the samples kept in memory
// cost at most a few bytes per byte read.
bool ReadTrun(const Box& trun, const TrackDefaults& d, Run* run) {
  constexpr uint32_t kRequired = kTrunDataOffset | kTrunDuration | kTrunSize;
  if (trun.size < 12) return false;
  const uint32_t flags = Load32(trun.body) & 0xFFFFFF;
  const uint32_t count = Load32(trun.body + 4);
  if ((flags & kRequired) != kRequired || (flags & kTrunCompositionOffsets)) return false;
  size_t at = 12;
  if (!Offset(d.base, Load32(trun.body + 8), &run->dataAt)) return false;
  uint32_t firstFlags = d.flags;
  if (flags & kTrunFirstFlags) {
    if (trun.size < at + 4) return false;
    firstFlags = Load32(trun.body + at);
    at += 4;
  }
  const size_t each = (flags & kTrunFlags) ? 12 : 8;
  if (uint64_t{count} * each > trun.size - at) return false;
  run->durations.reserve(count);
  run->sizes.reserve(count);
  run->keys.reserve(count);
  for (uint32_t i = 0; i < count; ++i, at += each) {
    const uint32_t sampleFlags = (flags & kTrunFlags) ? Load32(trun.body + at + 8)
                                 : i == 0             ? firstFlags
                                                      : d.flags;
    run->durations.push_back(Load32(trun.body + at));
    run->sizes.push_back(Load32(trun.body + at + 4));
    run->keys.push_back(!(sampleFlags & kNonSyncSample));
  }
  return true;
}

size_t TrackIndex(const Movie& movie, uint32_t id) {
  for (size_t i = 0; i < movie.tracks.size(); ++i)
    if (movie.tracks[i].id == id) return i;
  return movie.tracks.size();
}

// A moof's runs, or false when it is not one the repair can take whole.
bool ReadMoof(const std::vector<uint8_t>& bytes, uint64_t moofAt, const Movie& movie,
              std::vector<Run>* runs) {
  return ForEachBox(bytes.data() + 8, bytes.size() - 8, [&](const Box& traf) {
    if (traf.type != FourCC('t', 'r', 'a', 'f')) return true;
    Box tfhd, tfdt;
    uint32_t id = 0;
    TrackDefaults d;
    if (!Child(traf, FourCC('t', 'f', 'h', 'd'), &tfhd) || !ReadTfhd(tfhd, moofAt, &id, &d))
      return false;
    const size_t track = TrackIndex(movie, id);
    if (track == movie.tracks.size()) return false;
    uint8_t v = 0;
    const bool timed = Child(traf, FourCC('t', 'f', 'd', 't'), &tfdt);
    if (timed && !Version(tfdt, 4, 8, &v)) return false;
    const Track& t = movie.tracks[track];
    uint64_t time = !timed ? t.end : v == 1 ? Load64(tfdt.body + 4) : Load32(tfdt.body + 4);
    return ForEachBox(traf.body, traf.size, [&](const Box& trun) {
      if (trun.type != FourCC('t', 'r', 'u', 'n')) return true;
      Run run;
      run.track = track;
      run.time = time;
      if (!ReadTrun(trun, d, &run)) return false;
      for (uint32_t duration : run.durations) time += duration;
      runs->push_back(std::move(run));
      return true;
    });
  });
}

// Whether the runs' data lies inside [from, to) and their times follow the samples before.
bool Fits(const std::vector<Run>& runs, const Movie& movie, uint64_t from, uint64_t to) {
  std::vector<uint64_t> last;
  for (const Track& t : movie.tracks)
    last.push_back(t.samples.empty() ? 0 : t.samples.back().time + 1);
  for (const Run& r : runs) {
    uint64_t bytes = 0;
    for (uint32_t size : r.sizes) bytes += size;
    if (r.dataAt < from || r.dataAt > to || bytes > to - r.dataAt) return false;
    if (r.time < last[r.track] || r.time > (uint64_t{1} << 62)) return false;
    uint64_t time = r.time;
    for (uint32_t duration : r.durations) time += duration;
    last[r.track] = r.durations.empty() ? last[r.track] : time;
  }
  return true;
}

void Append(const std::vector<Run>& runs, Movie* movie) {
  for (const Run& r : runs) {
    if (r.sizes.empty()) continue;
    Track& t = movie->tracks[r.track];
    t.chunks.push_back({r.dataAt, static_cast<uint32_t>(r.sizes.size())});
    uint64_t time = r.time;
    for (size_t i = 0; i < r.sizes.size(); ++i) {
      t.samples.push_back({time, r.sizes[i], r.keys[i]});
      time += r.durations[i];
    }
    t.end = time;
  }
}

// A box header at `at`: its type and whole size (0 when it does not fit the file).
struct Header {
  uint32_t type = 0;
  uint64_t size = 0, header = 8;
};

Header ReadHeader(RepairFile& file, uint64_t at, uint64_t fileSize) {
  Header h;
  uint8_t b[16];
  if (at > fileSize || fileSize - at < 8 || !file.ReadAt(at, b, 8)) return h;
  h.type = Load32(b + 4);
  h.size = Load32(b);
  if (h.size == 1) {
    if (fileSize - at < 16 || !file.ReadAt(at + 8, b + 8, 8)) return Header();
    h.size = Load64(b + 8);
    h.header = 16;
  }
  if (h.size < h.header || h.size > fileSize - at) h.size = 0;
  return h;
}

bool ReadBox(RepairFile& file, uint64_t at, const Header& h, uint64_t largest,
             std::vector<uint8_t>* bytes) {
  if (h.size == 0 || h.size > largest || h.header != 8) return false;
  bytes->resize(static_cast<size_t>(h.size));
  return file.ReadAt(at, bytes->data(), bytes->size());
}

size_t SampleCount(const Movie& movie) {
  size_t samples = 0;
  for (const Track& t : movie.tracks) samples += t.samples.size();
  return samples;
}

// The fragment at `at`, taken into the tables when it is whole and named and the movie can hold
// its samples; returns where the next one starts, or 0.
uint64_t ReadFragment(RepairFile& file, uint64_t at, uint64_t fileSize, Movie* movie) {
  const Header moof = ReadHeader(file, at, fileSize);
  std::vector<uint8_t> bytes;
  std::vector<Run> runs;
  if (moof.type != kMoof || !ReadBox(file, at, moof, kLargestMoof, &bytes) ||
      !ReadMoof(bytes, at, *movie, &runs))
    return 0;
  size_t samples = SampleCount(*movie);
  for (const Run& r : runs) samples += r.sizes.size();
  const uint64_t mdatAt = at + moof.size;
  const Header mdat = ReadHeader(file, mdatAt, fileSize);
  if (samples > kMostSamples || mdat.type != kMdat || mdat.size == 0 ||
      !Fits(runs, *movie, mdatAt + mdat.header, mdatAt + mdat.size))
    return 0;
  Append(runs, movie);
  return mdatAt + mdat.size;
}

// Writes `bytes` at `at`, then flushes them to the disk.
bool WriteFlushed(RepairFile& file, uint64_t at, const std::vector<uint8_t>& bytes) {
  return file.WriteAt(at, bytes.data(), bytes.size()) == IoStatus::Ok &&
         file.Flush() == IoStatus::Ok;
}

// Whether [from, to) holds only zeros, as a power cut leaves where a write never landed.
bool AllZeros(RepairFile& file, uint64_t from, uint64_t to) {
  std::vector<uint8_t> chunk;
  for (uint64_t at = from; at < to; at += chunk.size()) {
    chunk.assign(static_cast<size_t>(std::min<uint64_t>(to - at, 64 << 10)), 0);
    if (!file.ReadAt(at, chunk.data(), chunk.size()) ||
        std::any_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b != 0; }))
      return false;
  }
  return true;
}

// Whether the moof labelled at `at` (`free` until the writer names it) is cut by the end of the
// file or followed by its mdat cut, reaching the end, or not written at all. A named one must be
// cut: a whole named fragment the reader did not take is kept.
bool FragmentCutOrUnnamed(RepairFile& file, uint64_t mdatAt, uint64_t size, bool named) {
  if (mdatAt >= size) return true;
  const uint64_t left = size - mdatAt;
  uint8_t h[16];
  if (left < 8) return true;  // its header cut
  if (!file.ReadAt(mdatAt, h, 8)) return false;
  if (Load32(h + 4) != kMdat) return AllZeros(file, mdatAt, size);
  uint64_t mdat = Load32(h);
  if (mdat == 1) {
    if (left < 16) return true;
    if (!file.ReadAt(mdatAt + 8, h + 8, 8)) return false;
    mdat = Load64(h + 8);
  }
  return mdat > left || (!named && mdat == left);
}

// Whether [at, size) is the next fragment of ours, torn or never named: a box labelled as the
// writer labels a fragment, and then its mfhd numbering it `sequence`, or zeros to the end (the
// label landed, nothing after it did).
bool TornFragmentOfOurs(RepairFile& file, uint64_t at, uint64_t size, uint32_t sequence) {
  if (at > size || size - at < 8) return false;
  const uint64_t left = size - at;
  uint8_t h[24];
  if (!file.ReadAt(at, h, static_cast<size_t>(std::min<uint64_t>(left, sizeof h)))) return false;
  const uint32_t label = Load32(h + 4), box = Load32(h);
  if ((label != kFree && label != kMoof) || box < sizeof h || box > kLargestMoof) return false;
  const bool numbered = left >= sizeof h && Load32(h + 8) == 16 && Load32(h + 12) == kMfhd &&
                        Load32(h + 16) == 0 && Load32(h + 20) == sequence;
  if (!numbered && left >= sizeof h) return AllZeros(file, at + 8, size);
  return box >= left || FragmentCutOrUnnamed(file, at + box, size, label == kMoof);
}

// Where the moov a repair cut off on the way laid after the bytes it kept starts, when the file
// ends with it: our identity box naming `ours` and that moov's place, from which a moov runs to
// the end. 0 when there is none.
uint64_t OurMoovAtTheEnd(RepairFile& file, uint64_t from, uint64_t size, const RecordingId& ours) {
  uint8_t tail[kIdentityBytes];
  Identity identity;
  if (size < from || size - from < 8 + kIdentityBytes ||
      !file.ReadAt(size - kIdentityBytes, tail, kIdentityBytes) ||
      !ReadIdentity(tail, kIdentityBytes, &identity) || identity.id != ours ||
      identity.moovAt < from || identity.moovAt > size - kIdentityBytes - 8)
    return 0;
  const Header moov = ReadHeader(file, identity.moovAt, size);
  return moov.type == kMoov && moov.size == size - identity.moovAt ? identity.moovAt : 0;
}

// Where the finished moov goes: after the last whole fragment when what follows it (up to a
// moov laid by a repair cut off on the way, which goes too) is provably ours to cut, else after
// everything, which stays.
uint64_t MoovPlace(RepairFile& file, const Fragments& f, uint64_t size) {
  const uint64_t end = f.laidMoovAt != 0 ? f.laidMoovAt : size;
  if (AllZeros(file, f.end, end) || TornFragmentOfOurs(file, f.end, end, f.fragments + 1))
    return f.end;
  return end;
}

// A finished file of the recording `ours`: its moov, where the mdat's size puts it, holds our
// identity box.
bool FinishedAndOurs(RepairFile& file, uint64_t placeholderAt, const Header& mdat, uint64_t size,
                     const RecordingId& ours) {
  const uint64_t moovAt = placeholderAt + mdat.size;
  const Header moov = ReadHeader(file, moovAt, size);
  if (moov.type != kMoov || moov.size == 0) return false;
  uint64_t at = moovAt + moov.header;
  for (int i = 0; i < kMostMoovChildren && at < moovAt + moov.size; ++i) {
    const Header child = ReadHeader(file, at, moovAt + moov.size);
    if (child.size == 0) return false;
    uint8_t box[kIdentityBytes];
    Identity identity;
    if (child.type == kUuid && child.size == kIdentityBytes &&
        file.ReadAt(at, box, kIdentityBytes) && ReadIdentity(box, kIdentityBytes, &identity))
      return identity.id == ours;
    at += child.size;
  }
  return false;
}

// Tells the callback where the reading is, every 1/kProgressSteps of the file or when asked.
class Progress {
 public:
  Progress(const RepairProgress& callback, uint64_t total)
      : callback_(callback), total_(total), step_(std::max<uint64_t>(total / kProgressSteps, 1)) {}
  // False when the callback says stop.
  bool At(uint64_t done, bool always = false) {
    if (!callback_ || (!always && done < next_)) return true;
    next_ = done + step_;
    return callback_(std::min(done, total_), total_);
  }

 private:
  const RepairProgress& callback_;
  uint64_t total_, step_, next_ = 0;
};

}  // namespace

Fragments ReadFragments(RepairFile& file, const RecordingId& ours, const RepairProgress& progress) {
  Fragments f;
  const uint64_t size = file.Size();
  const Header ftyp = ReadHeader(file, 0, size);
  if (ftyp.type != kFtyp || ftyp.size == 0 || ftyp.size > kLargestFtyp || ftyp.header != 8)
    return f;
  const Header placeholder = ReadHeader(file, ftyp.size, size);
  if (placeholder.type == kMdat && placeholder.size > 0) {
    if (FinishedAndOurs(file, ftyp.size, placeholder, size, ours))
      f.kind = Fragments::Kind::Finished;
    return f;
  }
  const uint64_t moovAt = ftyp.size + kPlaceholderBytes;
  const Header moov = ReadHeader(file, moovAt, size);
  std::vector<uint8_t> bytes;
  if (placeholder.type != kFree || placeholder.size != kPlaceholderBytes || moov.type != kMoov ||
      !ReadBox(file, moovAt, moov, kLargestMoov, &bytes) || !ReadMoov(bytes, ours, &f.movie))
    return f;
  f.kind = Fragments::Kind::Fragmented;
  f.placeholderAt = ftyp.size;
  f.end = moovAt + moov.size;
  f.laidMoovAt = OurMoovAtTheEnd(file, f.end, size, ours);
  const uint64_t limit = f.laidMoovAt != 0 ? f.laidMoovAt : size;
  Progress told(progress, size);
  if (!told.At(f.end, true)) f.kind = Fragments::Kind::Cancelled;
  for (uint64_t next; f.kind == Fragments::Kind::Fragmented &&
                      (next = ReadFragment(file, f.end, limit, &f.movie)) != 0;
       f.end = next) {
    ++f.fragments;
    if (!told.At(next)) f.kind = Fragments::Kind::Cancelled;
  }
  return f;
}

RepairReport Repair(RepairFile& file, const RecordingId& ours, const RepairProgress& progress) {
  RepairReport report;
  const Fragments f = ReadFragments(file, ours, progress);
  switch (f.kind) {
    case Fragments::Kind::NotOurs:
      return report;
    case Fragments::Kind::Finished:
      report.result = RepairResult::Finished;
      return report;
    case Fragments::Kind::Cancelled:
      report.result = RepairResult::Cancelled;
      return report;
    case Fragments::Kind::Fragmented:
      break;
  }
  if (SampleCount(f.movie) == 0) return report;  // nothing to keep: left as it is
  for (const Track& t : f.movie.tracks) {
    const uint32_t samples = static_cast<uint32_t>(t.samples.size());
    if (t.handler == kVideoHandler) {
      report.videoSamples = samples;
      report.seconds = static_cast<double>(t.end) / t.timescale;
    } else {
      report.soundSamples = samples;
    }
  }
  const uint64_t size = file.Size();
  const uint64_t moovAt = MoovPlace(file, f, size);
  if (progress && !progress(size, size)) {
    report.result = RepairResult::Cancelled;
    return report;
  }
  report.bytesKept = moovAt - f.end;
  report.bytesCut = size - moovAt;
  const FinishWrites w = PlanFinish(f.movie, f.placeholderAt, moovAt, moovAt);
  report.result = RepairResult::Failed;
  if (w.moov.empty()) return report;  // cannot happen within kMostSamples
  report.fileChanged = true;
  const bool cut =
      size == moovAt || (file.Truncate(moovAt) == IoStatus::Ok && file.Flush() == IoStatus::Ok);
  if (cut && WriteFlushed(file, moovAt, w.moov) &&
      WriteFlushed(file, f.placeholderAt, w.mdatHeader))
    report.result = RepairResult::Repaired;
  return report;
}

}  // namespace mp4
