#pragma once
// What a real browser did with a file, as tests/support/browser_play.py prints it (key=value
// lines): read the same way by the native tests and by the Windows tests under Wine.
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

namespace testsupport {

struct BrowserVerdict {
  bool ran = false;     // the tool gave a verdict: the browser started and the page answered
  bool played = false;  // the tool's own summary: every fact below as a playable file has them
  std::string canPlayType, error, audioError;
  int maxReadyState = 0;
  double duration = 0;  // what the <video> says the file lasts
  double endTime = 0;   // where playing stopped
  bool ended = false;   // the `ended` event came
  int width = 0, height = 0;
  long presentedFrames = 0;  // pictures the browser put on its (headless) screen
  long decodedFrames = 0;
  long audioDecodedBytes = 0;               // while playing
  double audioDuration = 0, audioPeak = 0;  // the sound decoded whole through WebAudio
  double seconds = 0;                       // the whole check, browser start to verdict
  std::string pixel;  // "R,G,B" of the first picture where the check asked, as shown
  std::map<std::string, std::string> fields;  // every line, for messages
};

inline BrowserVerdict ParseBrowserVerdict(const std::string& lines) {
  BrowserVerdict v;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) v.fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  const auto text = [&](const char* key) {
    const auto it = v.fields.find(key);
    return it == v.fields.end() ? std::string() : it->second;
  };
  const auto number = [&](const char* key) { return std::atof(text(key).c_str()); };
  v.ran = v.fields.count("played") > 0 && v.fields.count("maxReadyState") > 0;
  v.played = text("played") == "1";
  v.canPlayType = text("canPlayType");
  v.error = text("error");
  v.audioError = text("audioError");
  v.maxReadyState = static_cast<int>(number("maxReadyState"));
  v.duration = number("duration");
  v.endTime = number("currentTime");
  v.ended = text("endedEvent") == "1";
  v.width = static_cast<int>(number("videoWidth"));
  v.height = static_cast<int>(number("videoHeight"));
  v.presentedFrames = static_cast<long>(number("presentedFrames"));
  v.decodedFrames = static_cast<long>(number("totalVideoFrames"));
  v.audioDecodedBytes = static_cast<long>(number("audioDecodedBytes"));
  v.audioDuration = number("audioDuration");
  v.audioPeak = number("audioPeak");
  v.seconds = number("seconds");
  v.pixel = text("pixel");
  return v;
}

// Every line the tool printed, on one line: for a failure message.
inline std::string Describe(const BrowserVerdict& v) {
  std::string out;
  for (const auto& [key, value] : v.fields) out += key + "=" + value + " ";
  return out.empty() ? "no verdict" : out;
}

}  // namespace testsupport
