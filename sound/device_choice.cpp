#include "sound/device_choice.h"

#include <cwctype>

namespace orvik::sound {

namespace {

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// Appends every endpoint of the given direction whose lowered name `match` accepts.
template <typename Match>
void AddEach(const Endpoints& e, bool output, bool loopback, Match match, DeviceChoice* choice) {
  for (size_t i = 0; i < e.active.size(); ++i) {
    if (e.active[i].output != output || !match(Lower(e.active[i].name))) continue;
    bool listed = false;
    for (const Candidate& c : choice->candidates) listed = listed || c.endpoint == i;
    if (!listed) choice->candidates.push_back({i, loopback});
  }
}

// An output recorded in loopback, and then what records it as an input, its monitor.
void AddOutput(const Endpoints& e, const std::wstring& lowered, DeviceChoice* choice) {
  AddEach(
      e, true, true, [&](const std::wstring& n) { return n == lowered; }, choice);
  const std::wstring monitor = L"monitor of " + lowered;
  AddEach(
      e, false, false, [&](const std::wstring& n) { return n == monitor; }, choice);
}

void ChooseSystemSound(const std::wstring& wanted, const Endpoints& e, DeviceChoice* choice) {
  if (!wanted.empty()) {
    const std::wstring name = Lower(wanted);
    AddOutput(e, name, choice);
    AddEach(
        e, false, false, [&](const std::wstring& n) { return n == name; }, choice);
    return;
  }
  choice->followsDefaultOutput = true;
  if (e.defaultOutput && *e.defaultOutput < e.active.size())
    AddOutput(e, Lower(e.active[*e.defaultOutput].name), choice);
  AddEach(e, false, false, CarriesTheOutput, choice);
}

void ChooseMicrophone(const std::wstring& wanted, const Endpoints& e, DeviceChoice* choice) {
  if (!wanted.empty()) {
    const std::wstring name = Lower(wanted);
    AddEach(
        e, false, false, [&](const std::wstring& n) { return n == name; }, choice);
    return;
  }
  choice->followsDefaultOutput = false;
  if (e.defaultInput && *e.defaultInput < e.active.size() && !e.active[*e.defaultInput].output)
    choice->candidates.push_back({*e.defaultInput, false});
}

}  // namespace

bool CarriesTheOutput(const std::wstring& name) {
  const std::wstring n = Lower(name);
  return n.rfind(L"monitor of", 0) == 0 || n.find(L"stereo mix") != std::wstring::npos ||
         n.find(L"立体声混音") != std::wstring::npos ||
         n.find(L"what u hear") != std::wstring::npos;
}

DeviceChoice ChooseDevice(Source source, const std::wstring& wanted, const Endpoints& endpoints) {
  DeviceChoice choice;
  if (endpoints.active.empty()) {
    choice.problem = DeviceProblem::NoSoundSystem;
    return choice;
  }
  if (source == Source::SystemSound)
    ChooseSystemSound(wanted, endpoints, &choice);
  else
    ChooseMicrophone(wanted, endpoints, &choice);
  if (choice.candidates.empty()) choice.problem = DeviceProblem::NotFound;
  return choice;
}

}  // namespace orvik::sound
