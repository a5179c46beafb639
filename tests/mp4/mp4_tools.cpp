#include "mp4/mp4_tools.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include "support/unix_tools.h"
#else
#include "avi/avi_tools.h"
#endif

namespace mp4test {

namespace {

// The machine's ffmpeg, also from a test under Wine (which starts Unix programs).
int RunTool(const std::string& command, std::string* log) {
#ifdef _WIN32
  return testsupport::RunShell(command, log);
#else
  return avitest::Run(command, log);
#endif
}

// The NAL units of an Annex-B stream, without start codes or the zeros before them.
std::vector<std::vector<uint8_t>> NalUnits(const std::vector<uint8_t>& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= s.size(); ++i)
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) starts.push_back(i + 3);
  std::vector<std::vector<uint8_t>> units;
  for (size_t k = 0; k < starts.size(); ++k) {
    size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : s.size();
    while (end > starts[k] && s[end - 1] == 0) --end;
    if (end > starts[k]) units.emplace_back(s.begin() + starts[k], s.begin() + end);
  }
  return units;
}

}  // namespace

AvcStream SplitAnnexB(const std::vector<uint8_t>& annexB) {
  AvcStream out;
  bool sliceSeen = false;
  for (const std::vector<uint8_t>& nal : NalUnits(annexB)) {
    const int type = nal[0] & 0x1F;
    const bool slice = type == 1 || type == 5;
    if (type == 7) out.sps = nal;
    if (type == 8) out.pps = nal;
    if (type == 7 || type == 8 || type == 9) continue;
    // A new access unit: a picture's first slice, or what comes before it after a slice.
    const bool firstSlice = slice && nal.size() > 1 && (nal[1] & 0x80);
    if (out.frames.empty() || (sliceSeen && (!slice || firstSlice))) {
      out.frames.emplace_back();
      out.keys.push_back(false);
      sliceSeen = false;
    }
    std::vector<uint8_t>& frame = out.frames.back();
    const uint32_t n = static_cast<uint32_t>(nal.size());
    for (int shift = 24; shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(n >> shift));
    frame.insert(frame.end(), nal.begin(), nal.end());
    sliceSeen |= slice;
    if (type == 5) out.keys.back() = true;
  }
  return out;
}

AacStream SplitAdts(const std::vector<uint8_t>& adts) {
  static const uint32_t kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                    22050, 16000, 12000, 11025, 8000,  7350};
  AacStream out;
  for (size_t at = 0; at + 7 <= adts.size();) {
    const uint8_t* h = &adts[at];
    if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) break;
    const size_t header = (h[1] & 1) ? 7 : 9;
    const int profile = h[2] >> 6, rate = h[2] >> 2 & 0xF;
    const int channels = (h[2] & 1) << 2 | h[3] >> 6;
    const size_t length = size_t{h[3] & 3u} << 11 | size_t{h[4]} << 3 | h[5] >> 5;
    if (length < header || at + length > adts.size() || rate >= 13) break;
    const uint16_t config = static_cast<uint16_t>((profile + 1) << 11 | rate << 7 | channels << 3);
    out.audioSpecificConfig = {static_cast<uint8_t>(config >> 8), static_cast<uint8_t>(config)};
    out.sampleRate = kRates[rate];
    out.channels = static_cast<uint16_t>(channels);
    out.frames.emplace_back(adts.begin() + at + header, adts.begin() + at + length);
    at += length;
  }
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
#ifdef _WIN32
  // Under Wine a Unix path is found on drive Z:, Wine's mapping of the Unix root.
  std::ifstream in(path.rfind('/', 0) == 0 ? "Z:" + path : path, std::ios::binary);
#else
  std::ifstream in(path, std::ios::binary);
#endif
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MakeTestStreams(const std::string& dir, uint32_t width, uint32_t height, uint32_t fps,
                     int seconds, int gop, TestStreams* out) {
  out->h264Path = dir + "/picture.h264";
  out->adtsPath = dir + "/sound.aac";
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  const std::string video =
      "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=" + size + ":r=" + std::to_string(fps) +
      " -t " + std::to_string(seconds) + " -c:v libx264 -preset veryfast -bf 0 -g " +
      std::to_string(gop) +
      " -pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709"
      " -color_range tv -f h264 \"" +
      out->h264Path + "\" 2>&1";
  // Clicks on a tone: a sample out of place shows.
  const std::string sound =
      "ffmpeg -v error -nostdin -y -f lavfi -i sine=f=440:beep_factor=4:"
      "sample_rate=48000 -ac 2 -t " +
      std::to_string(seconds) + " -c:a aac -b:a 160k -f adts \"" + out->adtsPath + "\" 2>&1";
  std::string log;
  if (RunTool(video, &log) != 0 || RunTool(sound, &log) != 0) return false;
  out->video = SplitAnnexB(ReadFile(out->h264Path));
  out->sound = SplitAdts(ReadFile(out->adtsPath));
  out->videoFormat.width = width;
  out->videoFormat.height = height;
  out->videoFormat.sps = out->video.sps;
  out->videoFormat.pps = out->video.pps;
  out->videoFormat.framesPerSecond = fps;
  out->soundFormat.audioSpecificConfig = out->sound.audioSpecificConfig;
  out->soundFormat.sampleRate = out->sound.sampleRate;
  out->soundFormat.channels = out->sound.channels;
  out->soundSamples = uint64_t{48000} * static_cast<uint64_t>(seconds);
  return !out->video.frames.empty() && !out->sound.frames.empty();
}

bool RecordTestStreams(const TestStreams& s, mp4::Sink& sink, size_t frames, size_t commitEvery,
                       bool close) {
  mp4::Writer w;
  mp4::WriterOptions options;
  options.recordingId = kTestRecording;
  if (frames > s.video.frames.size() || !w.Open(sink, s.videoFormat, &s.soundFormat, options))
    return false;
  const uint32_t fps = s.videoFormat.framesPerSecond;
  size_t sound = 0;
  const auto writeSound = [&](uint64_t upTo) {
    for (; sound < s.sound.frames.size() && sound * mp4::kAacFrameSamples < upTo; ++sound) {
      const std::vector<uint8_t>& f = s.sound.frames[sound];
      if (!w.WriteSound(f.data(), static_cast<uint32_t>(f.size()))) return false;
    }
    return true;
  };
  for (size_t i = 0; i < frames; ++i) {
    const std::vector<uint8_t>& f = s.video.frames[i];
    const uint32_t slot = static_cast<uint32_t>(i);
    if (!w.WriteVideo(slot, f.data(), static_cast<uint32_t>(f.size()), s.video.keys[i]) ||
        !writeSound(mp4::kAacPriming + uint64_t{slot + 1} * s.soundFormat.sampleRate / fps))
      return false;
    if ((i + 1) % commitEvery == 0 && !w.Flush()) return false;
  }
  if (!close) return true;
  if (frames == s.video.frames.size() && !writeSound(UINT64_MAX)) return false;
  w.SetSoundLength(
      std::min<uint64_t>(s.soundSamples, uint64_t{frames} * s.soundFormat.sampleRate / fps));
  return w.Close();
}

std::vector<std::pair<uint32_t, uint64_t>> TopLevelBoxes(const std::vector<uint8_t>& file) {
  std::vector<std::pair<uint32_t, uint64_t>> boxes;
  for (uint64_t at = 0; at + 8 <= file.size();) {
    uint64_t size = mp4::Load32(&file[at]);
    if (size == 1 && at + 16 <= file.size()) size = mp4::Load64(&file[at + 8]);
    if (size < 8 || size > file.size() - at) break;
    boxes.emplace_back(mp4::Load32(&file[at + 4]), at);
    at += size;
  }
  return boxes;
}

}  // namespace mp4test
