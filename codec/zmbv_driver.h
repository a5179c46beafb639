#pragma once
// The ZMBV codec as a Video for Windows compressor and decompressor inside this process:
// once registered, the "Video Compression" dialog lists it, AVIFile compresses through it and
// any VfW player in the process decodes it. Nothing is written to the registry.
#include <windows.h>

#include <vfw.h>

namespace orvik::zmbv {

constexpr DWORD kZmbvFourCC = mmioFOURCC('Z', 'M', 'B', 'V');
// What ICInfo and the codec dialog show.
inline constexpr wchar_t kCodecDescription[] = L"Orvik lossless screen codec (ZMBV)";

// The installable-driver entry point that ICInstall(ICINSTALL_FUNCTION) takes.
LRESULT CALLBACK DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM lParam1,
                            LPARAM lParam2);

// Installs the codec for this process (ICInstall, ICTYPE_VIDEO 'ZMBV'); true on success.
bool RegisterOrvikCodec();
// Removes it again; instances opened before stay usable until closed.
void UnregisterOrvikCodec();

}  // namespace orvik::zmbv
