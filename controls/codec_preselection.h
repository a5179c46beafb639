#pragma once
// Wine's compression dialog always opens on its first entry, whatever codec its options name:
// while one of these lives, a hook on this thread selects the named codec's entry as the dialog
// activates, the way a user would (the dialog reads the codec's settings on the selection
// change). Only the first dialog is touched: the user's own choice is not overridden.
#include <windows.h>

#include <string>

namespace orvik {

class CodecPreselection {
 public:
  // `description`: the entry to select, as the dialog lists it (empty: nothing is selected).
  explicit CodecPreselection(std::wstring description);
  ~CodecPreselection();
  CodecPreselection(const CodecPreselection&) = delete;
  CodecPreselection& operator=(const CodecPreselection&) = delete;

 private:
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam);
  static void Select(HWND dialog);

  static inline std::wstring description_;
  static inline HHOOK hook_ = nullptr;
};

}  // namespace orvik
