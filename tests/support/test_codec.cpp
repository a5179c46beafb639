#include "support/test_codec.h"

#include <cstring>
#include <cwchar>
#include <mutex>

namespace testsupport {

namespace {

// The driver procedure has no context of its own: it reaches the one installed codec here.
struct Registration {
  TestCodec::Behaviour behaviour;
  std::mutex mutex;
  std::set<DWORD> threads;
  void Note(DWORD thread) {
    std::lock_guard<std::mutex> lock(mutex);
    threads.insert(thread);
  }
};
Registration* g_codec = nullptr;

struct Instance {
  DWORD openedOn = GetCurrentThreadId();
  bool began = false;  // compressed with; the dialog's instances only answer questions
  bool compressing = false;
};

LRESULT Compress(const ICCOMPRESS* ic) {
  g_codec->Note(GetCurrentThreadId());
  if (g_codec->behaviour.sendTo) SendMessageW(g_codec->behaviour.sendTo, WM_APP, 0, 0);
  std::memcpy(ic->lpOutput, ic->lpInput, ic->lpbiInput->biSizeImage);
  ic->lpbiOutput->biSizeImage = ic->lpbiInput->biSizeImage;
  if (ic->lpdwFlags) *ic->lpdwFlags = AVIIF_KEYFRAME;
  return ICERR_OK;
}

LRESULT Message(Instance* c, UINT message, LPARAM lParam1, LPARAM lParam2) {
  const auto* in = reinterpret_cast<const BITMAPINFOHEADER*>(lParam1);
  auto* out = reinterpret_cast<BITMAPINFOHEADER*>(lParam2);
  switch (message) {
    case ICM_COMPRESS_QUERY:
      return in && in->biBitCount == 32 && in->biCompression == BI_RGB ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_COMPRESS_GET_FORMAT:
      if (!out) return sizeof(BITMAPINFOHEADER);
      *out = *in;
      return ICERR_OK;
    case ICM_COMPRESS_GET_SIZE:
      return g_codec->behaviour.sizeAnswer ? g_codec->behaviour.sizeAnswer : in->biSizeImage;
    case ICM_COMPRESS_BEGIN:
      c->began = c->compressing = true;
      g_codec->Note(c->openedOn);
      g_codec->Note(GetCurrentThreadId());
      return ICERR_OK;
    case ICM_COMPRESS:
      return Compress(reinterpret_cast<const ICCOMPRESS*>(lParam1));
    case ICM_COMPRESS_END:
      if (c->compressing) {
        g_codec->Note(GetCurrentThreadId());
        if (g_codec->behaviour.sendTo) SendMessageW(g_codec->behaviour.sendTo, WM_APP, 0, 0);
      }
      c->compressing = false;
      return ICERR_OK;
    default:
      return ICERR_UNSUPPORTED;
  }
}

LRESULT Info(LPARAM lParam1, LPARAM lParam2) {
  if (!lParam1 || static_cast<size_t>(lParam2) < sizeof(ICINFO)) return 0;
  auto* info = reinterpret_cast<ICINFO*>(lParam1);
  *info = ICINFO{};
  info->dwSize = sizeof(ICINFO);
  info->fccType = ICTYPE_VIDEO;
  info->fccHandler = TestCodec::kFourcc;
  info->dwVersionICM = ICVERSION;
  wcscpy(info->szName, L"OTST");
  wcscpy(info->szDescription, TestCodec::kName);
  return sizeof(ICINFO);
}

LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT message, LPARAM lParam1,
                            LPARAM lParam2) {
  switch (message) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_INSTALL:
    case DRV_REMOVE:
      return 1;
    case DRV_OPEN:
      return reinterpret_cast<LRESULT>(new Instance);
    case DRV_CLOSE: {
      auto* c = reinterpret_cast<Instance*>(id);
      if (c && c->began) g_codec->Note(GetCurrentThreadId());
      delete c;
      return 1;
    }
    case ICM_GETINFO:
      return Info(lParam1, lParam2);
    default:
      break;
  }
  if (message < DRV_USER) return DefDriverProc(id, driver, message, lParam1, lParam2);
  if (!id) return ICERR_BADHANDLE;
  return Message(reinterpret_cast<Instance*>(id), message, lParam1, lParam2);
}

}  // namespace

TestCodec::TestCodec(Behaviour behaviour) {
  g_codec = new Registration;
  g_codec->behaviour = behaviour;
  installed_ = ICInstall(ICTYPE_VIDEO, kFourcc, reinterpret_cast<LPARAM>(&DriverProc), nullptr,
                         ICINSTALL_FUNCTION);
}

TestCodec::~TestCodec() {
  ICRemove(ICTYPE_VIDEO, kFourcc, 0);
  delete g_codec;
  g_codec = nullptr;
}

std::set<DWORD> TestCodec::CompressThreads() const {
  std::lock_guard<std::mutex> lock(g_codec->mutex);
  return g_codec->threads;
}

}  // namespace testsupport
