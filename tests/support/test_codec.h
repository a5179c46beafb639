#pragma once
// A codec of the tests' own, installed in this process for the life of the object: it takes
// 32-bit frames and stores them as they are (ffmpeg plays them as raw pixels), notes the threads
// it is driven from, and misbehaves as some real codecs do when told to: sends a message to a
// window of the thread that started the recording while it compresses and as it ends, or
// answers the frame-size question with an error code.
#include <windows.h>

#include <vfw.h>

#include <set>

namespace testsupport {

class TestCodec {
 public:
  static constexpr DWORD kFourcc = mmioFOURCC('O', 'T', 'S', 'T');
  static constexpr const wchar_t* kName = L"Orvik test codec";

  struct Behaviour {
    HWND sendTo = nullptr;   // sent WM_APP for every frame and as compression ends
    LRESULT sizeAnswer = 0;  // what ICM_COMPRESS_GET_SIZE answers; 0: the frame's size
  };
  explicit TestCodec(Behaviour behaviour);
  ~TestCodec();
  TestCodec(const TestCodec&) = delete;
  TestCodec& operator=(const TestCodec&) = delete;

  bool Installed() const { return installed_; }
  // The threads the instance that compressed was opened, begun, used, ended and closed on.
  std::set<DWORD> CompressThreads() const;

 private:
  bool installed_ = false;
};

}  // namespace testsupport
