#pragma once
// What a recording is written as: MP4 (H.264 + AAC) opens everywhere and needs no codec dialog;
// AVI takes the codec the user picks in the system's dialog. No <windows.h>.
namespace orvik {

enum class FileFormat { Mp4, Avi };

}  // namespace orvik
