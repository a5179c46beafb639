#include "toolkit/units.h"

#include <atomic>

namespace orvik {

namespace {
std::atomic<int> g_uiDpi{kDesignDpi};
}  // namespace

int UiDpi() { return g_uiDpi.load(std::memory_order_relaxed); }
void SetUiDpi(int dpi) { g_uiDpi.store(SaneDpi(dpi), std::memory_order_relaxed); }

}  // namespace orvik
