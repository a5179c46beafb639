#pragma once
// Every wait of the program has a bound. Code that runs without windows takes its wait as a
// BoundedWait, so that the program can hand it the one that lets the waiting window thread answer
// what other threads send it (tk::WaitUntil, toolkit/app.h) and a test the plain one here. No
// <windows.h>.
#include <functional>

namespace tk {

// Returns true once `done` says so, or false when `seconds` have passed first.
using BoundedWait = std::function<bool(const std::function<bool()>& done, double seconds)>;

// The plain bounded wait: looks every millisecond and only sleeps in between.
bool SleepUntil(const std::function<bool()>& done, double seconds);

}  // namespace tk
