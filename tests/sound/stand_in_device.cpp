#include "sound/stand_in_device.h"

#include <chrono>

#include "sound/simulated_device.h"

namespace orvik::sound::standin {

namespace {
double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
constexpr double kPacket = 0.01;
}  // namespace

void Gate::Shut() {
  std::lock_guard<std::mutex> lock(mutex_);
  shut_ = true;
}

void Gate::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shut_ = false;
  }
  changed_.notify_all();
}

void Gate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return !shut_; });
}

StandInDevice::~StandInDevice() {
  c_->destroyedOn = std::this_thread::get_id();
  c_->destroyed = true;
}

DeviceProblem StandInDevice::Open() {
  c_->open.Pass();
  if (c_->refuseOpen) return DeviceProblem::Refused;
  ++c_->opens;
  format_ = moved_ ? c_->movedFormat : c_->format;
  level_ = moved_ ? c_->movedLevel : c_->level;
  nextPacketAt_ = Now();
  return DeviceProblem::None;
}

bool StandInDevice::Read(Packets* got) {
  c_->read.Pass();
  if (c_->failRead.exchange(false)) return false;
  const double now = Now();
  const auto frames = static_cast<uint32_t>(format_.rate * kPacket);
  const size_t bytes = static_cast<size_t>(frames) * format_.BytesPerFrame();
  for (; nextPacketAt_ + kPacket <= now; nextPacketAt_ += kPacket) {
    if (c_->quiet) continue;
    got->list.push_back({frames, now - (nextPacketAt_ + kPacket), false});
    const size_t at = got->bytes.size();
    got->bytes.resize(at + bytes);
    const uint32_t sample = format_.BytesPerFrame() / format_.channels;
    for (size_t i = 0; i < bytes / sample; ++i)
      sim::EncodeSample(format_.type, level_, &got->bytes[at + i * sample]);
  }
  return true;
}

bool StandInDevice::DefaultMoved() {
  if (!c_->moved.exchange(false)) return false;
  moved_ = true;
  return true;
}

void StandInDevice::Close() {
  c_->close.Pass();
  ++c_->closes;
}

}  // namespace orvik::sound::standin
