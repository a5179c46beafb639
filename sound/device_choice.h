#pragma once
// Which device records a source, chosen from the names of the active endpoints, in the order of
// preference the user's setting and the system's defaults give. No <windows.h>: the Windows side
// lists the endpoints and tries the candidates in turn; the first that opens records.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "sound/sound_sources.h"

namespace orvik::sound {

struct Endpoint {
  std::wstring name;  // the friendly name the system shows
  bool output = false;
};

struct Endpoints {
  std::vector<Endpoint> active;  // in the system's order
  std::optional<size_t> defaultOutput, defaultInput;
};

// One way to record a source: from an endpoint, an output in loopback.
struct Candidate {
  size_t endpoint = 0;
  bool loopback = false;
};

struct DeviceChoice {
  std::vector<Candidate> candidates;            // best first
  DeviceProblem problem = DeviceProblem::None;  // when there is none: why
  // Chosen as the default output (true) or input (false): when that default changes, the
  // source should move to the new one. None: a device the user named.
  std::optional<bool> followsDefaultOutput;
};

// The candidates for `source`; `wanted` is the device the user named (empty: the defaults).
// System sound: a named output in loopback, else its own monitor ("Monitor of <name>"), else a
// named input; unnamed, the default output in loopback, its own monitor, then any other input
// that carries what is played ("Monitor of ...", "Stereo Mix", "立体声混音", "What U Hear").
// Microphone: the named input, or the default input. Names compare without regard to case.
DeviceChoice ChooseDevice(Source source, const std::wstring& wanted, const Endpoints& endpoints);

// Whether an input carries what the outputs play.
bool CarriesTheOutput(const std::wstring& name);

}  // namespace orvik::sound
