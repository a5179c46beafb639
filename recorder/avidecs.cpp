#include "recorder/avidecs.h"

namespace AVIDecs {

namespace {
uint64_t g_sizeLimit = kDefaultSizeLimit;
}

bool AviOpenWriter(HWND, const std::wstring&, const std::wstring&, int) { return false; }
void AviWriteFrame(int32_t, const std::wstring&) {}
int32_t AviCloseWriter() { return 0; }
bool AviWriterIsOpen() { return false; }
CloseReason AviWriterCloseReason() { return CloseReason::None; }
void AviSetSizeLimit(uint64_t bytes) { g_sizeLimit = bytes; }
uint64_t AviSizeLimit() { return g_sizeLimit; }

}  // namespace AVIDecs
