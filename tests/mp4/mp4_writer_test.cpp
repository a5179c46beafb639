// The MP4 writer's files as the machine's ffprobe and ffmpeg read them: real H.264 and AAC, a
// finished file exact to the frame and the sample, files cut by a power failure anywhere between
// two flushes or by a write or flush that fails, each playable as it is or after our repair, and
// a layout past 4 GiB.
#include "mp4/mp4_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>

#include "avi/avi_tools.h"
#include "avi/power_cut.h"
#include "avi/posix_file_sink.h"
#include "mp4/mp4_repair.h"
#include "mp4/mp4_tools.h"

namespace {

using avitest::Bounds;
using mp4test::TestStreams;

constexpr uint32_t kFps = 10;

// Made once for all the tests: 3 s of 320x240 picture at 10 fps and of sound.
const TestStreams& Streams() {
  static avitest::TempDir dir;
  static TestStreams streams;
  static const bool made = mp4test::MakeTestStreams(dir.path(), 320, 240, kFps, 3, 20, &streams);
  EXPECT_TRUE(made) << "ffmpeg with libx264 and aac";
  return streams;
}

Bounds CountsOf(const mp4::Writer& w) {
  return {w.CommittedVideoSamples(), w.VideoSamples(), w.CommittedSoundSamples(), w.SoundSamples()};
}

// One recording of the test streams: a picture in every slot, the sound kept just ahead of it, a
// commit every `commitEvery` pictures, the last picture held for `heldSlots` more.
struct Script {
  size_t frames = 30;
  size_t commitEvery = 5;
  uint32_t heldSlots = 0;
  size_t skipAfter = 0;  // a slot left without a new picture after every this many pictures
  mp4::WriterOptions options = {64ull << 20, mp4test::kTestRecording};
};

uint32_t SlotOf(const Script& script, size_t picture) {
  return static_cast<uint32_t>(picture + (script.skipAfter ? picture / script.skipAfter : 0));
}

bool Record(const Script& script, mp4::Sink& sink, mp4::Writer& w) {
  const TestStreams& s = Streams();
  if (!w.Open(sink, s.videoFormat, &s.soundFormat, script.options)) return false;
  size_t sound = 0;
  const auto writeSound = [&](uint64_t upTo) {
    for (; sound < s.sound.frames.size() && sound * mp4::kAacFrameSamples < upTo; ++sound) {
      const std::vector<uint8_t>& f = s.sound.frames[sound];
      if (!w.WriteSound(f.data(), static_cast<uint32_t>(f.size()))) return false;
    }
    return true;
  };
  for (size_t i = 0; i < script.frames; ++i) {
    const std::vector<uint8_t>& f = s.video.frames[i];
    const uint32_t slot = SlotOf(script, i);
    if (!w.WriteVideo(slot, f.data(), static_cast<uint32_t>(f.size()), s.video.keys[i]) ||
        !writeSound(mp4::kAacPriming + (slot + 1) * 48000 / kFps))
      return false;
    if ((i + 1) % script.commitEvery == 0 && !w.Flush()) return false;
  }
  if (script.heldSlots > 0 &&
      !w.WriteVideo(SlotOf(script, script.frames - 1) + script.heldSlots, nullptr, 0, false))
    return false;
  if (!writeSound(UINT64_MAX)) return false;
  w.SetSoundLength(s.soundSamples);
  return w.Close();
}

// The decoded pictures of the test stream, to compare with what a file plays.
const std::vector<avitest::CrcPacket>& ReferencePictures() {
  static const auto reference = avitest::FrameCrcs({Streams().h264Path});
  EXPECT_TRUE(reference[0]);
  static const std::vector<avitest::CrcPacket> pictures =
      reference[0] ? *reference[0] : std::vector<avitest::CrcPacket>();
  return pictures;
}

// Why a file's packets (ffmpeg's framecrc: pictures decoded, sound copied) are not what the
// bounds allow; empty when they are: the first pictures of the stream, pixel for pixel, each at
// its slot's time, and between the bounds' counts of pictures and sound frames.
std::string Mismatch(const Script& script, const std::vector<avitest::CrcPacket>& packets,
                     const Bounds& b) {
  const std::vector<avitest::CrcPacket>& reference = ReferencePictures();
  size_t pictures = 0, sound = 0;
  for (const avitest::CrcPacket& p : packets) {
    if (p.stream == 1) {
      ++sound;
      continue;
    }
    if (pictures >= reference.size() || p.crc != reference[pictures].crc)
      return "pixels of frame " + std::to_string(pictures);
    if (p.pts != SlotOf(script, pictures))
      return "frame " + std::to_string(pictures) + " at pts " + std::to_string(p.pts);
    ++pictures;
  }
  if (pictures < b.minSlots || pictures > b.maxSlots)
    return std::to_string(pictures) + " frames, not in [" + std::to_string(b.minSlots) + ", " +
           std::to_string(b.maxSlots) + "]";
  // An edit list may hide the frame that holds only the encoder's priming.
  if (sound + 1 < b.minBlocks || sound > b.maxBlocks)
    return std::to_string(sound) + " sound frames, not in [" + std::to_string(b.minBlocks) + ", " +
           std::to_string(b.maxBlocks) + "]";
  return "";
}

// Each image must play what its bounds allow: as it is when it is still fragments, and after our
// repair, which must finish it into a plain MP4 that ffmpeg decodes without an error; a second
// repair changes nothing. Returns the number of images that did not.
size_t ExpectPlayableOrRepaired(const Script& script,
                                const std::vector<std::pair<avitest::Image, Bounds>>& cuts) {
  avitest::TempDir dir;
  size_t bad = 0;
  constexpr size_t kBatch = 40;
  for (size_t from = 0; from < cuts.size(); from += kBatch) {
    std::vector<std::string> raw, repaired;
    std::vector<bool> fragmented;
    std::vector<uint32_t> kept;  // the pictures the repair says it kept
    for (size_t i = from; i < std::min(cuts.size(), from + kBatch); ++i) {
      mp4test::MemoryFile file(cuts[i].first);
      const mp4::RepairReport report = mp4::Repair(file, mp4test::kTestRecording);
      fragmented.push_back(report.result == mp4::RepairResult::Repaired);
      kept.push_back(report.videoSamples);
      const std::vector<uint8_t> once = file.image;
      if (report.result == mp4::RepairResult::NotOurs) {
        // Only a file with no whole fragment yet, which is left as it is.
        const Bounds& b = cuts[i].second;
        EXPECT_TRUE(b.minSlots == 0 && b.minBlocks == 0) << "cut " << i;
        EXPECT_TRUE(once == cuts[i].first && !report.fileChanged) << "cut " << i;
      } else {
        EXPECT_EQ(mp4::Repair(file, mp4test::kTestRecording).result, mp4::RepairResult::Finished)
            << "cut " << i;
        EXPECT_TRUE(file.image == once) << "cut " << i << ": a second repair changed the file";
      }
      raw.push_back(dir.File("raw" + std::to_string(i) + ".mp4"));
      repaired.push_back(dir.File("repaired" + std::to_string(i) + ".mp4"));
      avitest::WriteFile(raw.back(), cuts[i].first);
      avitest::WriteFile(repaired.back(), once);
    }
    const auto asIs = avitest::FrameCrcs(raw);
    const auto fixed = avitest::FrameCrcs(repaired, "-xerror");
    for (size_t k = 0; k < raw.size(); ++k) {
      const Bounds& b = cuts[from + k].second;
      std::string why =
          fixed[k] ? Mismatch(script, *fixed[k], b) : "ffmpeg -xerror fails on it repaired";
      if (!fixed[k] && b.minSlots == 0) {
        // No picture to decode (ffmpeg then fails on any file): it must read without an error.
        std::string log;
        const int code = avitest::Run(
            "ffprobe -v error -select_streams v -show_entries "
            "packet=pts -of csv=p=0 \"" +
                repaired[k] + "\" 2>&1",
            &log);
        why = code == 0 && log.empty() ? "" : "ffprobe: " + log;
      } else if (why.empty() && fragmented[k] &&
                 std::count_if(fixed[k]->begin(), fixed[k]->end(),
                               [](const auto& p) { return p.stream == 0; }) != kept[k]) {
        why = "the repair reports " + std::to_string(kept[k]) + " pictures";
      } else if (why.empty() && fragmented[k] && asIs[k]) {
        // As it is, it plays its named fragments: at least what was committed.
        const std::string raw = Mismatch(script, *asIs[k], b);
        if (!raw.empty()) why = "as it is: " + raw;
      } else if (why.empty() && fragmented[k]) {
        why = "ffmpeg cannot read it as it is";
      }
      if (!why.empty() && ++bad <= 3) {
        const std::string keep = "/tmp/orvik_bad_cut" + std::to_string(bad) + ".mp4";
        avitest::WriteFile(keep, cuts[from + k].first);
        ADD_FAILURE() << "cut " << from + k << ": " << why << " (kept as " << keep << ")";
      }
      std::remove(raw[k].c_str());
      std::remove(repaired[k].c_str());
    }
  }
  return bad;
}

// What ffprobe says of each packet: stream, time, offset in the file, whether it is a key frame.
struct Packet {
  int stream = 0;
  double time = 0;
  uint64_t pos = 0;
  uint64_t size = 0;
  bool key = false;
};
std::vector<Packet> ProbePackets(const std::string& path) {
  std::string out;
  std::vector<Packet> packets;
  if (avitest::Run("ffprobe -v error -show_entries packet=stream_index,pts_time,pos,size,flags -of "
                   "csv=p=0 \"" +
                       path + "\"",
                   &out) != 0)
    return packets;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    Packet p;
    char comma;
    std::istringstream fields(line);
    std::string flags;
    fields >> p.stream >> comma >> p.time >> comma >> p.size >> comma >> p.pos >> comma >> flags;
    p.key = !flags.empty() && flags[0] == 'K';
    if (fields) packets.push_back(p);
  }
  return packets;
}

TEST(Mp4Writer, AFinishedFileIsAPlainMp4ExactToTheFrameAndTheSample) {
  const TestStreams& s = Streams();
  ASSERT_EQ(s.video.frames.size(), 30u);
  const auto keys = std::count(s.video.keys.begin(), s.video.keys.end(), true);
  EXPECT_TRUE(keys >= 2 && keys < 10) << keys;  // a key frame every 2 s, deltas between
  mp4test::MemoryFile file;
  mp4::Writer w;
  Script script;
  ASSERT_TRUE(Record(script, file, w)) << static_cast<int>(w.LastRefusal());
  EXPECT_EQ(w.CommittedVideoSamples(), 30u);
  EXPECT_EQ(w.CommittedSoundSamples(), s.sound.frames.size());
  EXPECT_EQ(w.FileSize(), file.image.size());
  // Refused: a call after Close, a slot already written, sound in a file without it.
  EXPECT_FALSE(w.WriteVideo(40, "x", 1, true));
  EXPECT_EQ(w.LastRefusal(), mp4::Refusal::BadCall);
  {
    mp4test::MemoryFile other;
    mp4::Writer v;
    ASSERT_TRUE(v.Open(other, s.videoFormat, nullptr));
    for (uint32_t slot = 3; slot < 15; ++slot) {
      // What the picture and a close would add is foretold (a little over, never under),
      // measured on a copy of the writer and undone.
      const std::vector<uint8_t>& f = s.video.frames[slot];
      const uint32_t size = static_cast<uint32_t>(f.size());
      const uint64_t foretold = v.BytesNeededFor(size);
      const std::vector<uint8_t> before = other.image;
      mp4::Writer probe = v;
      ASSERT_TRUE(probe.WriteVideo(slot, f.data(), size, s.video.keys[slot]) && probe.Close());
      EXPECT_GE(foretold, other.image.size() - before.size()) << slot;
      EXPECT_LT(foretold, other.image.size() - before.size() + 4096) << slot;
      other.image = before;
      ASSERT_TRUE(v.WriteVideo(slot, f.data(), size, s.video.keys[slot]));
      if (slot % 4 == 0) ASSERT_TRUE(v.Flush());
    }
    EXPECT_EQ(v.SlotCount(), 15u);
    EXPECT_FALSE(v.WriteVideo(14, s.video.frames[1].data(), 4, false));
    EXPECT_FALSE(v.WriteSound("x", 1));
    EXPECT_EQ(v.LastRefusal(), mp4::Refusal::BadCall);
  }

  // ftyp, then one mdat over everything up to the moov at the end: the fragments are inside it.
  const auto boxes = mp4test::TopLevelBoxes(file.image);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[0].first, mp4::kFtyp);
  EXPECT_EQ(boxes[1].first, mp4::kMdat);
  EXPECT_EQ(boxes[2].first, mp4::kMoov);
  EXPECT_EQ(mp4::Load32(&file.image[boxes[1].second]), 1u);  // a 64-bit size
  mp4test::MemoryFile again(file.image);
  EXPECT_EQ(mp4::Repair(again, mp4test::kTestRecording).result, mp4::RepairResult::Finished);
  EXPECT_TRUE(again.image == file.image);

  avitest::TempDir dir;
  const std::string path = dir.File("finished.mp4");
  ASSERT_TRUE(avitest::WriteFile(path, file.image));
  std::string log;
  EXPECT_EQ(
      avitest::Run("ffmpeg -v error -nostdin -xerror -i \"" + path + "\" -f null - 2>&1", &log), 0)
      << log;
  EXPECT_EQ(log, "");
  const auto streams = avitest::ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_name"), "h264");
  EXPECT_EQ(streams[0].at("width"), "320");
  EXPECT_EQ(streams[0].at("color_space"), "bt709");
  EXPECT_EQ(streams[0].at("color_range"), "tv");
  EXPECT_EQ(streams[0].at("nb_frames"), "30");
  EXPECT_EQ(streams[0].at("duration"), "3.000000");
  EXPECT_EQ(streams[1].at("codec_name"), "aac");
  EXPECT_EQ(streams[1].at("profile"), "LC");
  EXPECT_EQ(streams[1].at("sample_rate"), "48000");
  EXPECT_EQ(streams[1].at("channels"), "2");
  // The edit list: the sound starts with the picture and is as long as the tone.
  EXPECT_EQ(streams[1].at("start_time"), "0.000000");
  EXPECT_EQ(streams[1].at("duration"), "3.000000");

  // Frame n at n / fps, where the moov's chunk offsets put it, pixel for pixel.
  const std::vector<Packet> packets = ProbePackets(path);
  std::vector<Packet> pictures;
  for (const Packet& p : packets)
    if (p.stream == 0) pictures.push_back(p);
  ASSERT_EQ(pictures.size(), 30u);
  for (size_t n = 0; n < pictures.size(); ++n) {
    EXPECT_NEAR(pictures[n].time, n / double{kFps}, 1e-6) << n;
    EXPECT_EQ(pictures[n].key, s.video.keys[n]) << n;
    const std::vector<uint8_t>& sample = s.video.frames[n];
    ASSERT_EQ(pictures[n].size, sample.size());
    EXPECT_TRUE(std::equal(sample.begin(), sample.end(), file.image.begin() + pictures[n].pos))
        << n;
  }
  const auto played = avitest::FrameCrcs({path}, "-xerror");
  ASSERT_TRUE(played[0]);
  EXPECT_EQ(Mismatch(script, *played[0], {30, 30, 0, 1000}), "");
  // The sound decodes to the tone's samples exactly, the priming left out (ffmpeg ignores where
  // the edit ends: it plays the encoder's padding after the tone).
  const std::vector<uint8_t> pcm = avitest::DecodeRaw(path, "-map 0:a -f s16le");
  const std::vector<uint8_t> adts = avitest::DecodeRaw(s.adtsPath, "-f s16le");
  ASSERT_GE(pcm.size(), s.soundSamples * 4);
  ASSERT_LT(pcm.size(), (s.soundSamples + mp4::kAacFrameSamples) * 4);
  ASSERT_GE(adts.size(), pcm.size() + mp4::kAacPriming * 4);
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), adts.begin() + mp4::kAacPriming * 4));
}

// A file left as fragments plays its sound in step with its picture: the moov written at the
// start carries the edit list that skips what the encoder says it primed, and the repair takes
// the priming back from there. With ffmpeg keeping the file's times, the sound from 0 s is the
// encoder's first real sample, as in the finished file. A priming other than libavcodec's shows
// that the number comes from the format given, not from a constant.
TEST(Mp4Writer, AFileLeftAsFragmentsStartsItsSoundWithItsPicture) {
  avitest::TempDir dir;
  const std::vector<uint8_t> reference = avitest::DecodeRaw(Streams().adtsPath, "-f s16le");
  for (uint32_t priming : {mp4::kAacPriming, 2 * mp4::kAacPriming}) {
    SCOPED_TRACE("priming " + std::to_string(priming));
    TestStreams s = Streams();
    s.soundFormat.priming = priming;
    mp4test::MemoryFile file;
    ASSERT_TRUE(mp4test::RecordTestStreams(s, file, 27, 5, false));  // 25 pictures committed
    const std::string killed = dir.File("killed.mp4"), repaired = dir.File("repaired.mp4");
    ASSERT_TRUE(avitest::WriteFile(killed, file.image));
    EXPECT_EQ(mp4::Repair(file, mp4test::kTestRecording).result, mp4::RepairResult::Repaired);
    ASSERT_TRUE(avitest::WriteFile(repaired, file.image));
    for (const std::string& path : {killed, repaired}) {
      SCOPED_TRACE(path);
      const std::vector<uint8_t> pcm =
          avitest::DecodeRaw(path, "-copyts -map 0:a -af atrim=start=0 -f s16le");
      ASSERT_GT(pcm.size(), 48000u * 4 * 2);
      ASSERT_GE(reference.size(), pcm.size() + priming * 4);
      EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), reference.begin() + priming * 4));
      std::string first;
      avitest::Run(
          "ffprobe -v error -show_entries packet=pts_time -of csv=p=0 "
          "-read_intervals %+#1 -select_streams v \"" +
              path + "\"",
          &first);
      EXPECT_EQ(first, "0.000000\n");  // the first picture
    }
  }
}

// Fragmented MP4s another program made, as the machine's ffmpeg makes them: fragments at key
// frames with its trailing mfra, B-frames whose truns carry composition offsets, and DASH
// segments (styp) put together; each also in our layout (a 16-byte 'free' after the ftyp), and
// with an identity box of ours naming another recording in its moov. The repair leaves every one
// byte for byte.
TEST(Mp4Repair, OtherProgramsFragmentedFilesAreLeftByteForByte) {
  avitest::TempDir dir;
  const std::string sources =
      "-f lavfi -i testsrc2=s=320x240:r=25 -f lavfi -i sine=f=440:sample_rate=48000 -t 6.2 "
      "-c:v libx264 -preset veryfast -g 25 -c:a aac ";
  const std::vector<std::pair<std::string, std::string>> made = {
      {"keyframes.mp4", "-bf 0 -movflags frag_keyframe+empty_moov+default_base_moof keyframes.mp4"},
      {"bframes.mp4",
       "-movflags frag_keyframe+empty_moov+default_base_moof+skip_trailer "
       "bframes.mp4"},
      {"dash.mp4",
       "-f dash -seg_duration 2 out.mpd && cat init-stream0.m4s chunk-stream0-* "
       "> dash.mp4"}};
  mp4::RecordingId another = mp4test::kTestRecording;
  another[3] ^= 0x10;
  const std::vector<uint8_t> otherIdentity = mp4::BuildIdentity({another, 0});
  for (const auto& [name, options] : made) {
    std::string log;
    ASSERT_EQ(avitest::Run("cd \"" + dir.path() + "\" && ffmpeg -v error -nostdin -y " + sources +
                               options + " 2>&1",
                           &log),
              0)
        << log;
    const std::vector<uint8_t> made = mp4test::ReadFile(dir.File(name));
    ASSERT_GT(made.size(), 100000u) << name;
    const auto boxes = mp4test::TopLevelBoxes(made);
    ASSERT_GT(boxes.size(), 6u);
    // Our layout: a 'free' of 16 bytes after the ftyp; then our identity box, another id.
    std::vector<uint8_t> ourLayout = made;
    const uint32_t ftyp = mp4::Load32(made.data());
    const uint8_t placeholder[16] = {0, 0, 0, 16, 'f', 'r', 'e', 'e'};
    ourLayout.insert(ourLayout.begin() + ftyp, placeholder, placeholder + 16);
    std::vector<uint8_t> otherId = ourLayout;
    const uint32_t moov = ftyp + 16, moovBytes = mp4::Load32(&otherId[moov]);
    ASSERT_EQ(mp4::Load32(&otherId[moov + 4]), mp4::kMoov);
    otherId.insert(otherId.begin() + moov + moovBytes, otherIdentity.begin(), otherIdentity.end());
    mp4::Store32(&otherId[moov], moovBytes + static_cast<uint32_t>(otherIdentity.size()));
    for (const auto& [variant, bytes] :
         {std::make_pair("as made", made), std::make_pair("our layout", ourLayout),
          std::make_pair("another id", otherId)}) {
      SCOPED_TRACE(name + ", " + variant);
      const std::string path = dir.File("variant.mp4");
      ASSERT_TRUE(avitest::WriteFile(path, bytes));
      const auto probed = avitest::ProbeStreams(path);  // a file that plays, whichever variant
      ASSERT_FALSE(probed.empty());
      EXPECT_NEAR(std::atof(probed[0].at("duration").c_str()), 6.2, 0.05);
      mp4test::MemoryFile file(bytes);
      const mp4::RepairReport report = mp4::Repair(file, mp4test::kTestRecording);
      EXPECT_EQ(report.result, mp4::RepairResult::NotOurs);
      EXPECT_FALSE(report.fileChanged);
      EXPECT_TRUE(file.image == bytes);
    }
  }
}

// A recording of ours left as fragments and what may follow its last whole fragment: the
// writer's next fragment torn by a power cut (labelled 'free', as it is until named) or whole
// but never named, zeros where a write never landed, or bytes nobody can say are ours. Only the
// first three are cut; the last stay, inside the mdat, and the file still plays. Another
// recording's file, or one with no whole fragment yet, is left as it is.
TEST(Mp4Repair, CutsOnlyATornFragmentOfOursAndKeepsWhatItCannotProve) {
  const TestStreams& s = Streams();
  mp4test::MemoryFile four, five, empty;
  ASSERT_TRUE(mp4test::RecordTestStreams(s, four, 20, 5, false));
  ASSERT_TRUE(mp4test::RecordTestStreams(s, five, 25, 5, false));
  ASSERT_TRUE(mp4test::RecordTestStreams(s, empty, 4, 5, false));
  const std::vector<uint8_t>& whole = four.image;
  ASSERT_TRUE(std::equal(whole.begin(), whole.end(), five.image.begin()));
  std::vector<uint8_t> unnamed = five.image;  // the fifth fragment before it was named
  mp4::Store32(&unnamed[whole.size() + 4], mp4::kFree);
  std::vector<uint8_t> unknown(3000);
  std::mt19937 random(7);
  for (uint8_t& b : unknown) b = static_cast<uint8_t>(random());
  const auto with = [&](const std::vector<uint8_t>& tail) {
    std::vector<uint8_t> f = whole;
    f.insert(f.end(), tail.begin(), tail.end());
    return f;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    bool cut;
  };
  std::vector<uint8_t> unknownThenTorn = unknown;
  unknownThenTorn.insert(unknownThenTorn.end(), unnamed.begin() + whole.size(),
                         unnamed.end() - 500);
  const std::vector<Case> cases = {
      {"torn in its mdat", std::vector<uint8_t>(unnamed.begin(), unnamed.end() - 500), true},
      {"torn in its moof",
       std::vector<uint8_t>(unnamed.begin(), unnamed.begin() + whole.size() + 30), true},
      {"whole, not named", unnamed, true},
      {"zeros", with(std::vector<uint8_t>(4096, 0)), true},
      {"unknown bytes", with(unknown), false},
      {"unknown bytes, then the torn fragment", with(unknownThenTorn), false}};
  const size_t placeholderEnd = mp4::Load32(whole.data()) + mp4::kPlaceholderBytes;
  avitest::TempDir dir;
  Script twenty;
  twenty.frames = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint64_t tail = c.image.size() - whole.size();
    mp4test::MemoryFile file(c.image);
    const mp4::RepairReport report = mp4::Repair(file, mp4test::kTestRecording);
    ASSERT_EQ(report.result, mp4::RepairResult::Repaired);
    EXPECT_TRUE(report.fileChanged);
    EXPECT_EQ(report.videoSamples, 20u);
    EXPECT_EQ(report.bytesCut, c.cut ? tail : 0);
    EXPECT_EQ(report.bytesKept, c.cut ? 0 : tail);
    // Every byte up to the moov kept but the placeholder, now the mdat's header over them.
    const std::vector<uint8_t>& f = file.image;
    const uint64_t moovAt = whole.size() + report.bytesKept;
    ASSERT_GT(f.size(), moovAt);
    EXPECT_TRUE(std::equal(f.begin() + placeholderEnd, f.begin() + moovAt,
                           c.image.begin() + placeholderEnd));
    EXPECT_EQ(mp4test::TopLevelBoxes(f).size(), 3u);
    const std::string path = dir.File("repaired.mp4");
    ASSERT_TRUE(avitest::WriteFile(path, f));
    const auto played = avitest::FrameCrcs({path}, "-xerror");
    ASSERT_TRUE(played[0]);
    EXPECT_EQ(Mismatch(twenty, *played[0], {20, 20, 0, 1000}), "");
    EXPECT_EQ(mp4::Repair(file, mp4test::kTestRecording).result, mp4::RepairResult::Finished);
  }

  // Another recording's id, or no whole fragment yet: left as it is.
  mp4::RecordingId another = mp4test::kTestRecording;
  another[0] ^= 1;
  for (const auto& [image, id] :
       {std::make_pair(whole, another), std::make_pair(empty.image, mp4test::kTestRecording)}) {
    mp4test::MemoryFile file(image);
    const mp4::RepairReport report = mp4::Repair(file, id);
    EXPECT_EQ(report.result, mp4::RepairResult::NotOurs);
    EXPECT_FALSE(report.fileChanged);
    EXPECT_TRUE(file.image == image);
  }
}

// A recording cut by a power failure anywhere between any two flushes, every subset of the writes
// since the last one landing, whole or torn.
TEST(Mp4Writer, PowerCutAnywhereLeavesAFileThatPlaysOrIsRepaired) {
  Script script;
  script.heldSlots = 3;
  script.skipAfter = 4;  // holes inside fragments and between them
  mp4::Writer w;
  avitest::OpLog log([&w] { return CountsOf(w); });
  class LogSink : public mp4::Sink {
   public:
    explicit LogSink(avitest::OpLog& log) : log_(log) {}
    mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
      log_.WriteAt(offset, data, size);
      return mp4::IoStatus::Ok;
    }
    mp4::IoStatus Flush() override {
      log_.Flush();
      return mp4::IoStatus::Ok;
    }

   private:
    avitest::OpLog& log_;
  } sink(log);
  ASSERT_TRUE(Record(script, sink, w));
  std::mt19937 random(20261208);
  avitest::CutSet cuts;
  size_t intervals = 0;
  log.ForEachInterval([&](const avitest::Image& disk, const auto& writes, const Bounds& b) {
    ++intervals;
    ASSERT_LE(writes.size(), 4u);
    cuts.AddEveryCut(disk, writes, b);
    for (int i = 0; i < 4; ++i) cuts.AddRandomCut(disk, writes, b, random);
  });
  EXPECT_GE(intervals, 14u);
  EXPECT_EQ(ExpectPlayableOrRepaired(script, cuts.cuts), 0u) << cuts.cuts.size() << " images";
}

// Fails operation number `failAt` (writes and flushes counted together) once, as a disk under an
// operating system's file cache does: a write puts down nothing or, `partly`, half its bytes; a
// flush loses every write since the last one that succeeded or, `partly`, every other one.
// Notes the writer's counts then: the file must keep at least what was committed.
class FailingSink : public mp4test::MemoryFile {
 public:
  FailingSink(const mp4::Writer& writer, size_t failAt, bool partly)
      : writer_(writer), failAt_(failAt), partly_(partly) {}
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    const bool fails = Fails(false);
    if (fails && !partly_) return mp4::IoStatus::Failed;
    if (fails) size /= 2;
    const auto* bytes = static_cast<const uint8_t*>(data);
    unflushed_.push_back({offset, std::vector<uint8_t>(bytes, bytes + size)});
    MemoryFile::WriteAt(offset, data, size);
    return fails ? mp4::IoStatus::DiskFull : mp4::IoStatus::Ok;
  }
  mp4::IoStatus Flush() override {
    const bool fails = Fails(true);
    if (fails) {
      image = flushed_;
      for (size_t i = 1; partly_ && i < unflushed_.size(); i += 2)
        MemoryFile::WriteAt(unflushed_[i].first, unflushed_[i].second.data(),
                            unflushed_[i].second.size());
    }
    flushed_ = image;
    unflushed_.clear();
    return fails ? mp4::IoStatus::Failed : MemoryFile::Flush();
  }

  size_t ops = 0;
  mp4::IoStatus failed = mp4::IoStatus::Ok;
  Bounds atFailure;

 private:
  bool Fails(bool flush) {
    if (ops++ != failAt_) return false;
    failed = flush || !partly_ ? mp4::IoStatus::Failed : mp4::IoStatus::DiskFull;
    atFailure = CountsOf(writer_);
    return true;
  }

  const mp4::Writer& writer_;
  size_t failAt_;
  bool partly_;
  std::vector<uint8_t> flushed_;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> unflushed_;
};

// Every write and flush of a recording fails in turn. The writer says why, still finishes the
// file, and what it finished plays at least what was committed before the failure.
TEST(Mp4Writer, AFailedWriteOrFlushNamesNothingPastTheLastGoodFlush) {
  Script script;
  script.frames = 12;
  script.commitEvery = 3;
  script.options.fragmentBytes = 8000;  // the writer commits a large key frame's fragment itself
  mp4::Writer clean;
  FailingSink counting(clean, SIZE_MAX, false);
  ASSERT_TRUE(Record(script, counting, clean));
  // Open, two a commit (five: every 3 pictures, the sound left at the end) and two at Close, and
  // the fragments the writer committed itself.
  EXPECT_GT(counting.flushes, 1u + 2 * 5 + 2);
  std::vector<std::pair<avitest::Image, Bounds>> files;
  size_t finished = 0;
  for (size_t failAt = 0; failAt < counting.ops; ++failAt) {
    for (bool partly : {false, true}) {
      SCOPED_TRACE("operation " + std::to_string(failAt) + (partly ? ", partly" : ""));
      mp4::Writer w;
      FailingSink sink(w, failAt, partly);
      EXPECT_FALSE(Record(script, sink, w));
      EXPECT_EQ(w.Failure(), sink.failed);
      EXPECT_EQ(w.LastRefusal(), mp4::Refusal::Io);
      EXPECT_FALSE(w.IsOpen() && w.Close());
      if (failAt < 2) continue;  // Open's write or flush: no file to speak of
      const Bounds& b = sink.atFailure;
      // Counted as committed only what a named fragment holds; nothing given after the failure.
      EXPECT_LE(w.CommittedVideoSamples(), b.maxSlots);
      EXPECT_GE(w.CommittedVideoSamples(), b.minSlots);
      finished += mp4test::TopLevelBoxes(sink.image).size() == 3;
      files.emplace_back(sink.image, Bounds{b.minSlots, b.maxSlots, b.minBlocks, b.maxBlocks});
    }
  }
  EXPECT_GT(files.size(), 40u);
  EXPECT_GT(finished, files.size() / 2);  // the second try finishes most of them at Close
  EXPECT_EQ(ExpectPlayableOrRepaired(script, files), 0u);
}

// Writes everything but the payload of large writes, which stay holes in a sparse file.
class SparseSink : public mp4::Sink {
 public:
  explicit SparseSink(const std::string& path) : file_(path) {}
  bool ok() const { return file_.ok(); }
  mp4::IoStatus WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (size > (1u << 20)) {  // the fragment's head and the last sample's first bytes land
      file_.WriteAt(offset, data, 4096);
      return file_.WriteAt(offset + size - 4096, static_cast<const uint8_t*>(data) + size - 4096,
                           4096) == avi::IoStatus::Ok
                 ? mp4::IoStatus::Ok
                 : mp4::IoStatus::Failed;
    }
    return file_.WriteAt(offset, data, size) == avi::IoStatus::Ok ? mp4::IoStatus::Ok
                                                                  : mp4::IoStatus::Failed;
  }
  mp4::IoStatus Flush() override { return mp4::IoStatus::Ok; }

 private:
  avitest::PosixFileSink file_;
};

TEST(Mp4Writer, AFilePastFourGigabytesHasEverySampleWhereTheMoovSays) {
  const TestStreams& s = Streams();
  avitest::TempDir dir;
  const std::string path = dir.File("big.mp4");
  constexpr uint32_t kSampleBytes = 64u << 20;
  std::vector<uint8_t> sample(kSampleBytes, 0);
  size_t written = 0;
  {
    SparseSink sink(path);
    ASSERT_TRUE(sink.ok());
    mp4::Writer w;
    ASSERT_TRUE(w.Open(sink, s.videoFormat, nullptr));
    // A real picture, then filler data to the end of the sample, marked with its number.
    for (uint32_t slot = 0; w.FileSize() < (9ull << 29); ++slot, ++written) {
      const std::vector<uint8_t>& picture = s.video.frames[slot % 20];
      std::copy(picture.begin(), picture.end(), sample.begin());
      const uint32_t filler = kSampleBytes - static_cast<uint32_t>(picture.size()) - 4;
      mp4::Store32(&sample[picture.size()], filler);
      sample[picture.size() + 4] = 12;  // a filler NAL unit
      mp4::Store32(&sample[kSampleBytes - 4], slot);
      ASSERT_TRUE(w.WriteVideo(slot, sample.data(), kSampleBytes, slot % 20 == 0));
      ASSERT_TRUE(w.Flush());
    }
    ASSERT_TRUE(w.Close());
  }
  const std::vector<Packet> packets = ProbePackets(path);
  ASSERT_EQ(packets.size(), written);
  EXPECT_GT(packets.back().pos, 4ull << 30);
  EXPECT_NEAR(packets.back().time, (written - 1) / double{kFps}, 1e-6);
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  uint8_t mark[4];
  ASSERT_EQ(::fseeko(f, static_cast<off_t>(packets.back().pos + kSampleBytes - 4), SEEK_SET), 0);
  ASSERT_EQ(std::fread(mark, 1, 4, f), 4u);
  std::fclose(f);
  EXPECT_EQ(mp4::Load32(mark), written - 1);
}

}  // namespace
