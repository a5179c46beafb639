#include "frame/recording_text.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "toolkit/paths.h"

namespace orvik {

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0x00A0 || c == 0x3000;
}

std::wstring TrimBlanks(const std::wstring& s) {
  size_t first = 0, last = s.size();
  while (first < last && IsBlank(s[first])) ++first;
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.substr(first, last - first);
}

std::wstring Upper(std::wstring s) {
  for (wchar_t& c : s) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return s;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 stand for devices whatever extension follows.
bool IsDeviceName(const std::wstring& fileName) {
  std::wstring base = fileName.substr(0, fileName.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = Upper(base);
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
      base == L"CONOUT$")
    return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'1' && base[3] <= L'9';
}

}  // namespace

SaveType SaveTypeOf(FileFormat format) {
  return format == FileFormat::Avi ? SaveType::Avi : SaveType::Mp4;
}

FileFormat FormatOfSaveType(SaveType type, FileFormat otherwise) {
  switch (type) {
    case SaveType::Mp4:
      return FileFormat::Mp4;
    case SaveType::Avi:
      return FileFormat::Avi;
    case SaveType::AllFiles:
      break;
  }
  return otherwise;
}

namespace {
const wchar_t* ExtensionOf(FileFormat format) {
  return format == FileFormat::Avi ? L".avi" : L".mp4";
}
}  // namespace

SaveName SavePathFromChoice(const std::wstring& chosen, SaveType type, FileFormat remembered) {
  std::wstring path = TrimBlanks(chosen);
  // The system drops trailing dots and spaces from a file name ("clip.avi." is "clip.avi").
  while (!path.empty() && (path.back() == L'.' || path.back() == L' ')) path.pop_back();
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
  if (fileName.empty()) return {L"", remembered, SaveNameProblem::NoFileName};
  if (IsDeviceName(fileName)) return {L"", remembered, SaveNameProblem::DeviceName};
  for (FileFormat typed : {FileFormat::Mp4, FileFormat::Avi}) {
    if (tk::EndsInExtension(path, ExtensionOf(typed))) return {path, typed, SaveNameProblem::None};
  }
  const FileFormat format = FormatOfSaveType(type, remembered);
  return {path + ExtensionOf(format), format, SaveNameProblem::None};
}

std::wstring SaveNameMessage(const std::wstring& chosen, SaveNameProblem problem) {
  switch (problem) {
    case SaveNameProblem::NoFileName:
      return L"请输入录像文件的名称：\r\n" + chosen + L"\r\n不是文件名。";
    case SaveNameProblem::DeviceName:
      return L"不能使用此文件名：\r\n" + chosen + L"\r\n它是系统保留的设备名。";
    case SaveNameProblem::None:
      break;
  }
  return L"";
}

std::wstring OutputFileMessage(const std::wstring& path, OutputFileError error) {
  std::wstring reason;
  switch (error) {
    case OutputFileError::IsFolder:
      reason = L"已有同名的文件夹。";
      break;
    case OutputFileError::AccessDenied:
      reason = L"没有写入权限（文件夹或文件是只读的）。";
      break;
    case OutputFileError::InUse:
      reason = L"文件正被其他程序使用。";
      break;
    case OutputFileError::FolderNotFound:
      reason = L"找不到所在的文件夹。";
      break;
    case OutputFileError::NameTooLong:
      reason = L"路径太长。";
      break;
    case OutputFileError::DiskFull:
      reason = L"磁盘空间不足。";
      break;
    case OutputFileError::InvalidName:
      reason = L"文件名无效。";
      break;
    case OutputFileError::None:
    case OutputFileError::Other:
      break;
  }
  std::wstring text = L"无法创建录像文件：\r\n" + path;
  if (!reason.empty()) text += L"\r\n" + reason;
  return text;
}

std::wstring GeneralNumber(double value, const std::wstring& decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::wstring out;
  for (const char* p = buf; *p; ++p) {
    if (*p == '.')
      out += decimalSeparator;
    else
      out += static_cast<wchar_t>(*p);
  }
  return out;
}

std::wstring WhyTheRecordingStopped(EngineError error) {
  switch (error) {
    case EngineError::DiskFull:
      return L"磁盘空间不足，录制已停止。";
    case EngineError::CodecFailed:
      return L"编码器处理画面时出错，录制已停止。";
    case EngineError::FileFull:
      return L"录像文件已达到能记录的上限，录制已停止。";
    case EngineError::OutOfMemory:
      return L"内存不足，录制已停止。";
    case EngineError::NotAnswering:
      return L"编码器或磁盘没有响应，录制已停止；录像保留到最近一次保存（最多丢失半秒）。";
    case EngineError::NameNotTaken:
      return L"无法替换同名文件（它可能正被其它程序使用），录制已停止；原来的文件保持原样。";
    default:
      return L"无法继续写入录像文件，录制已停止。";
  }
}

std::wstring ProgressCaption(int64_t frameCount, float seconds,
                             const std::wstring& decimalSeparator) {
  return L"Flame:" + std::to_wstring(frameCount) + L" Second:" +
         GeneralNumber(static_cast<double>(seconds), decimalSeparator);
}

std::wstring SoundSourceMessage(sound::Source source, sound::DeviceProblem problem,
                                const std::wstring& device) {
  const bool system = source == sound::Source::SystemSound;
  const std::wstring what = system ? L"系统声音" : L"麦克风";
  std::wstring why;
  switch (problem) {
    case sound::DeviceProblem::NoSoundSystem:
      why = L"系统中没有可用的声音设备。";
      break;
    case sound::DeviceProblem::NotFound:
      if (!device.empty())
        why = L"没有找到声音设备“" + device + L"”。";
      else
        why = system ? L"没有能录制系统声音的设备（回环或“立体声混音”）。" : L"没有找到麦克风。";
      break;
    case sound::DeviceProblem::Refused:
      why = L"声音设备无法启动。";
      break;
    case sound::DeviceProblem::NoAnswer:
      why = L"声音设备没有响应。";
      break;
    case sound::DeviceProblem::None:
      return L"";
  }
  return L"无法录制" + what + L"：" + why + L"\r\n本次录制不含" + what + L"，画面照常录制。";
}

namespace {

std::wstring MinutesSeconds(double seconds) {
  const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
  wchar_t text[32];
  std::swprintf(text, 32, L"%02ld:%02ld", total / 60, total % 60);
  return text;
}

std::wstring WhyMissing(sound::GapCause cause) {
  switch (cause) {
    case sound::GapCause::NoPackets:
      return L"没有收到声音设备的声音";
    case sound::GapCause::DeviceFailed:
      return L"声音设备出错（可能已被拔出）";
    case sound::GapCause::NoAnswer:
      return L"声音设备没有响应，已不再等待它";
    case sound::GapCause::DefaultChanged:
      return L"默认声音设备已更换，录音已改用新的默认设备";
  }
  return L"";
}

std::wstring GapLine(const sound::SoundGap& gap) {
  const std::wstring from = MinutesSeconds(gap.from);
  std::wstring when;
  if (!gap.to)
    when = L"从 " + from + L" 起直到结束";
  else if (MinutesSeconds(*gap.to) == from)
    when = L"在 " + from;
  else
    when = L"从 " + from + L" 到 " + MinutesSeconds(*gap.to);
  const wchar_t* what = gap.source == sound::Source::SystemSound ? L"系统声音" : L"麦克风";
  return what + (L"：" + when) + L"，" + WhyMissing(gap.cause) + L"。";
}

}  // namespace

std::wstring SoundGapsMessage(const std::vector<sound::SoundGap>& gaps) {
  constexpr size_t kLines = 8;  // more would not fit a message box; the rest are counted
  if (gaps.empty()) return L"";
  std::wstring text = L"录像的声音有中断，中断处为静音；画面完整。";
  for (size_t i = 0; i < gaps.size() && i < kLines; ++i) text += L"\r\n" + GapLine(gaps[i]);
  if (gaps.size() > kLines)
    text += L"\r\n……另有 " + std::to_wstring(gaps.size() - kLines) + L" 处中断。";
  return text;
}

std::wstring RepairedRecordingMessage(const std::wstring& path, double seconds) {
  return L"上次的录像没有正常结束，已修复：\r\n" + path + L"\r\n保留时长 " +
         MinutesSeconds(seconds);
}

std::wstring UnrepairedRecordingMessage(const std::wstring& path, UnrepairedBecause why,
                                        bool fileChanged) {
  static const wchar_t* const kWhy[] = {L"文件正被其它程序使用。", L"文件所在的位置现在无法访问。",
                                        L"读写文件时出错。"};
  const std::wstring reason = kWhy[static_cast<int>(why)];
  if (fileChanged)
    return L"上次的录像没有正常结束，修复没有完成：\r\n" + path + L"\r\n" + reason +
           L"\r\n下次启动时将继续修复。";
  return L"上次的录像没有正常结束，暂时无法修复：\r\n" + path + L"\r\n" + reason +
         L"\r\n文件保持原样，浏览器等播放器仍可播放已保存的部分；下次启动时再试。";
}

std::wstring RepairNotice(const std::wstring& path, double done) {
  const int percent = static_cast<int>(std::clamp(done, 0.0, 1.0) * 100);
  return L"正在修复上次的录像（" + std::to_wstring(percent) + L"%）：" + path;
}

}  // namespace orvik
