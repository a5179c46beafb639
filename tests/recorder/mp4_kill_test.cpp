// MP4 recordings killed at random moments (TerminateProcess, as a crash or the task manager
// does) while recording_child writes picture and the system's sound through the program's own
// path: each file plays as it is, in ffmpeg and a real browser, up to its last commit before the
// kill, and the next start's repair finishes it into a plain MP4 with the same pictures, once.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "mp4/mp4_tools.h"
#include "recorder/file/left_over_mp4.h"
#include "recorder/output/avidecs.h"
#include "settings/remembered_choices.h"
#include "sound/sound_sources.h"
#include "support/playback_check.h"
#include "support/sound_tools.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

// Six kills a run, each at a random moment in its own sixth of the span, so that every run covers
// the span from a single fragment to several; the seed differs from run to run (it is printed,
// and ORVIK_KILL_SEED repeats it), so the runs together try many more moments than one does.
constexpr int kKills = 6;
constexpr double kFirstKill = 0.6, kLastKill = 4.0;  // seconds after the child's first frame
constexpr double kSlot = 1.0 / 30;                   // the child's clock runs at 30 fps
// How far before the kill the file's picture may end: what a recording promises to keep. The
// commit rhythm (0.4 s), the writer's wait for a frame before it looks at the rhythm (50 ms) and
// the commit's two flushes stay within it (a rhythm of 0.5 s lost up to 0.58 s while other
// builds ran).
constexpr double kPictureBehind = 0.5;
// How far the sound may end before the picture: it goes into the file 0.3 s behind the clock;
// the encoder holds what has not filled a frame yet and a whole frame for its look-ahead; and
// its first frame, the priming, plays before 0 (the edit list skips it).
constexpr double kSoundBehind = 0.3 + 3 * 1024 / 48000.0 + kSlot;
// A browser check costs 3 to 12 s here: every file is played in ffmpeg, every third in Chromium
// too, and every one killed before its second commit (a file of a single fragment).
bool PlayInBrowser(int kill, double after) { return kill % 3 == 0 || after < 1.1; }

// The moment of kill `k`: somewhere in the k-th of kKills equal parts of the span.
double KillMoment(int k, std::mt19937& random) {
  const double band = (kLastKill - kFirstKill) / kKills;
  std::uniform_real_distribution<double> within(0, band);
  return kFirstKill + k * band + within(random);
}

std::wstring TestExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p = path;
  return p.substr(0, p.find_last_of(L'\\'));
}

std::string FileText(const std::wstring& path) {
  tk::File f = tk::File::Open(path, tk::FileMode::Read);
  char text[33] = {};
  const size_t size = static_cast<size_t>(std::min<uint64_t>(f.Length().value_or(0), 32));
  return f.IsOpen() && f.ReadAt(0, text, size) ? text : "";
}

std::string Shell(const std::string& command) {
  std::string out;
  EXPECT_EQ(RunShell(command, &out), 0) << command << "\n" << out;
  return out;
}

// The pictures as ffmpeg decodes them: a time and a checksum each. The file's own times: the
// sound's priming starts before 0 in a file left as fragments, and ffmpeg would otherwise move
// everything by it.
std::string PictureChecksums(const std::wstring& path) {
  return Shell("ffmpeg -v error -nostdin -copyts -i " + ShellQuote(UnixPath(path)) +
               " -map 0:v -f framemd5 -");
}

std::vector<std::string> TopLevelBoxes(const std::wstring& path) {
  const std::string bytes = ReadWholeFile(path);
  std::vector<std::string> names;
  for (const auto& [type, at] : mp4test::TopLevelBoxes({bytes.begin(), bytes.end()})) {
    (void)at;
    names.push_back({static_cast<char>(type >> 24), static_cast<char>(type >> 16),
                     static_cast<char>(type >> 8), static_cast<char>(type)});
  }
  return names;
}

// One child recording into `path`, killed `after` seconds after its first frame.
struct Kill {
  bool recorded = false;  // the child handed over a frame and was killed
  bool soundStarted = false;
  double clockAtKill = 0;  // the child's recording time when it was killed
};

Kill RecordAndKill(const std::wstring& path, double after) {
  Kill kill;
  std::wstring cmd = L"\"" + TestExeFolder() + L"\\recording_child.exe\" \"" + path + L"\" " +
                     std::to_wstring(AVIDecs::kDefaultSegmentBytes) + L" sound 100000 mp4";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return kill;
  tk::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  const double started = tk::MonotonicSeconds();
  while (std::atoi(FileText(path + L".progress").c_str()) == 0 &&
         tk::MonotonicSeconds() - started < 20)
    Sleep(5);
  const double firstFrame = tk::MonotonicSeconds();
  const bool handed = std::atoi(FileText(path + L".progress").c_str()) > 0;
  while (handed && tk::MonotonicSeconds() - firstFrame < after) Sleep(1);
  TerminateProcess(process.get(), 9);
  const double killedAt = tk::MonotonicSeconds();
  WaitForSingleObject(process.get(), 10000);
  kill.recorded = handed;
  kill.soundStarted = FileText(path + L".sound") ==
                      std::to_string(static_cast<int>(orvik::sound::DeviceProblem::None));
  kill.clockAtKill = killedAt - std::atof(FileText(path + L".clock").c_str());
  return kill;
}

// As the next start finishes it: through the note the child left.
orvik::LeftOverResult FinishAsTheNextStartWould(const std::wstring& path) {
  for (const orvik::UnfinishedRecording& note : orvik::UnfinishedRecordings())
    if (note.path == path) return orvik::FinishLeftOver(note);
  ADD_FAILURE() << "the recording left no note";
  return {};
}

unsigned KillSeed() {
  const char* given = std::getenv("ORVIK_KILL_SEED");
  return given ? static_cast<unsigned>(std::strtoul(given, nullptr, 10)) : GetTickCount();
}

TEST(KilledMp4Recording, PlaysUpToItsLastCommitAndIsRepairedIntoAPlainMp4) {
  std::string why;
  ASSERT_TRUE(SoundServerUp(&why)) << why;
  ASSERT_TRUE(orvik::ProgramSettings().WriteText(L"SystemSoundDevice", kSystemSoundDevice));
  const std::wstring dir = MakeTempDir(L"mp4kill");
  const unsigned seed = KillSeed();
  std::printf("[ kills    ] seed %u (ORVIK_KILL_SEED=%u repeats the moments)\n", seed, seed);
  std::mt19937 random(seed);
  double mostBehind = 0;
  // The longest repaired file goes to Windows' media API: this Wine's source reader hands over
  // no sound at all from a track of only a couple of AAC frames (it drops the first and last).
  std::wstring longestRepaired;
  size_t longestPictures = 0;
  for (int k = 0; k < kKills; ++k) {
    const double after = KillMoment(k, random);
    SCOPED_TRACE("kill " + std::to_string(k) + " after " + std::to_string(after) + " s");
    const std::wstring path = dir + L"\\killed-" + std::to_wstring(k) + L".mp4";
    Playing tone(SoundSink::Speakers, Tone{1000, after + 10});
    const Kill kill = RecordAndKill(path, after);
    tone.Stop();
    ASSERT_TRUE(kill.recorded) << "the child never recorded";
    EXPECT_TRUE(kill.soundStarted);

    // As it is: fragments up to the last commit, played in ffmpeg and a browser.
    const bool browser = PlayInBrowser(k, after);
    const PlaybackFacts f = CheckPlayback(path, {true, browser, false});
    const std::string all = Describe(f);
    EXPECT_TRUE(f.ffmpegDecodes) << all;
    ASSERT_FALSE(f.video.times.empty()) << all;
    for (double t : f.video.times) EXPECT_NEAR(t, std::round(t / kSlot) * kSlot, 1e-4) << all;
    const double behind = kill.clockAtKill - f.video.End();
    mostBehind = std::max(mostBehind, behind);
    EXPECT_LE(behind, kPictureBehind) << all;
    EXPECT_GE(behind, -kSlot) << all;  // nothing from after the kill
    EXPECT_GE(f.audio.End(), f.video.End() - kSoundBehind) << all;
    if (browser) {
      EXPECT_TRUE(f.browser.played) << all;
      EXPECT_NEAR(f.browser.endTime, std::max(f.video.End(), f.audio.End()), 0.05) << all;
      EXPECT_EQ(f.browser.decodedFrames, static_cast<long>(f.video.times.size())) << all;
    }
    const std::string pictures = PictureChecksums(path);

    // The next start: a plain MP4 with the same pictures and sound, finished once.
    const mp4::RepairReport report = FinishAsTheNextStartWould(path).report;
    EXPECT_EQ(report.result, mp4::RepairResult::Repaired);
    EXPECT_EQ(TopLevelBoxes(path), (std::vector<std::string>{"ftyp", "mdat", "moov"}));
    const PlaybackFacts r = CheckPlayback(path, {true, false, false});
    EXPECT_TRUE(r.ffmpegDecodes) << Describe(r);
    EXPECT_EQ(PictureChecksums(path), pictures);
    EXPECT_EQ(r.audio.times.size(), f.audio.times.size());
    const double length =
        std::atof(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
                        ShellQuote(UnixPath(path)))
                      .c_str());
    EXPECT_NEAR(length, report.seconds, 0.002);
    EXPECT_EQ(FinishAsTheNextStartWould(path).report.result, mp4::RepairResult::Finished);
    if (r.video.times.size() > longestPictures) {
      longestRepaired = path;
      longestPictures = r.video.times.size();
    }
    std::printf(
        "[ killed   ] %2d after %.3f s, clock %.3f: %3zu pictures to %.3f s (%.3f behind), sound "
        "to %.3f s; repaired %.3f s; ffmpeg %lu ms, browser %lu ms\n",
        k, after, kill.clockAtKill, f.video.times.size(), f.video.End(), behind, f.audio.End(),
        report.seconds, f.ffmpegMs, f.browserMs);
  }
  std::printf("[ kills    ] picture ended at most %.3f s before the kill\n", mostBehind);

  // Windows' media API reads a repaired file whole.
  const SourceReading reading = ReadWithSourceReader(longestRepaired);
  EXPECT_TRUE(reading.ok()) << Describe(reading);
  EXPECT_TRUE(reading.video.ended && reading.audio.ended) << Describe(reading);
  EXPECT_EQ(reading.video.times.size(), longestPictures);
  EXPECT_GT(reading.audio.audioFrames, 0u);
  orvik::ProgramSettings().Clear();
  RemoveTree(dir);
}

}  // namespace
