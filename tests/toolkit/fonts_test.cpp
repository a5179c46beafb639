// The program's text is drawn in the toolkit's default font (title, labels) and in the
// system's menu, caption and message-box fonts. A Wine prefix without Wine's own fonts has
// no Latin glyphs in any of them and draws boxes; a prefix without the CJK font link draws
// the Chinese menus as boxes. Pixel tests notice that only through thresholds; glyph lookups
// do not depend on them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/handles.h"

namespace {

// Characters of `text` the font has no glyph for (empty when every one is there).
std::wstring MissingGlyphs(HFONT font, const std::wstring& text) {
  tk::WindowDc screen(nullptr);
  tk::SelectGuard selected(screen.get(), font);
  std::vector<WORD> glyphs(text.size());
  const DWORD n = GetGlyphIndicesW(screen.get(), text.c_str(), static_cast<int>(text.size()),
                                   glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
  if (n == GDI_ERROR) return text;
  std::wstring missing;
  for (size_t i = 0; i < text.size(); ++i) {
    if (glyphs[i] == 0xFFFF) missing += text[i];
  }
  return missing;
}

// The face the system links to `face` for characters it lacks (the first entry of the
// SystemLink value, "file,face"), or empty when there is no link.
std::wstring LinkedFace(const std::wstring& face) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE,
                   L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                   face.c_str(), RRF_RT_REG_MULTI_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return L"";
  const std::wstring first(value);
  const size_t comma = first.find(L',');
  return comma == std::wstring::npos ? L"" : first.substr(comma + 1);
}

std::wstring FaceOf(HFONT font) {
  tk::WindowDc screen(nullptr);
  tk::SelectGuard selected(screen.get(), font);
  wchar_t face[LF_FACESIZE] = {};
  GetTextFaceW(screen.get(), LF_FACESIZE, face);
  return face;
}

struct NamedFont {
  const char* what;
  HFONT font;  // borrowed
};

}  // namespace

TEST(Fonts, TheProgramsLatinAndChineseTextHasGlyphsWhereItIsDrawn) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
  tk::UniqueFont menu(CreateFontIndirectW(&metrics.lfMenuFont));
  tk::UniqueFont caption(CreateFontIndirectW(&metrics.lfCaptionFont));
  tk::UniqueFont message(CreateFontIndirectW(&metrics.lfMessageFont));
  const NamedFont fonts[] = {
      {"title and labels", static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))},
      {"menu bar", menu.get()},
      {"window captions", caption.get()},
      {"message boxes", message.get()},
  };
  const std::wstring chinese = L"文件设置开始停止暂停继续退出录制区域光标保存请选择其它编码";
  for (const NamedFont& f : fonts) {
    ASSERT_TRUE(f.font) << f.what;
    EXPECT_EQ(MissingGlyphs(f.font, L"Orvik 3.0 (F) (O) Full Frames"), L"")
        << "no Latin glyphs in the " << f.what << " font: are Wine's fonts (fonts-wine) in the"
        << " prefix?";

    // Chinese reaches these fonts through the system's font link.
    const std::wstring linked = LinkedFace(FaceOf(f.font));
    ASSERT_FALSE(linked.empty()) << "no font link for the " << f.what << " font";
    LOGFONTW lf{};
    lf.lfHeight = -12;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(lf.lfFaceName, linked.c_str(), LF_FACESIZE - 1);
    tk::UniqueFont fallback(CreateFontIndirectW(&lf));
    EXPECT_EQ(FaceOf(fallback.get()), linked) << "the linked font is not installed";
    EXPECT_EQ(MissingGlyphs(fallback.get(), chinese), L"") << "for the " << f.what << " font";
  }
}
