#pragma once
// Texts the recorder shows: the output file name rule and the progress caption. No <windows.h>.
#include <cstdint>
#include <string>

namespace orvik {

// The chosen save name with spaces trimmed from both ends and ".avi" appended unless it already
// ends in exactly ".avi" (case-sensitive: "clip.AVI" becomes "clip.AVI.avi").
std::wstring AviPathFromChoice(const std::wstring& chosen);

// A number in general format: no trailing zeros, up to 15 significant digits, the given
// decimal separator ("3.5078125", "-0.25", "12").
std::wstring GeneralNumber(double value, const std::wstring& decimalSeparator);

// "Flame:<count> Second:<seconds>", the caption shown on the task-bar button while recording.
std::wstring ProgressCaption(int64_t frameCount, float seconds,
                             const std::wstring& decimalSeparator);

}  // namespace orvik
