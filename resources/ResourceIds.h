// Numbers of the program's built-in resources: the program icon, the seven
// button bitmaps and the string table entries.
#pragma once

inline constexpr int kStringAboutBox = 101;
inline constexpr int kIconProgram = 128;

inline constexpr int kBitmapLoad = 130;
inline constexpr int kBitmapTargetReset = 131;
inline constexpr int kBitmapPodWrite = 132;
inline constexpr int kBitmapPodVerify = 133;
inline constexpr int kBitmapTargetWrite = 134;
inline constexpr int kBitmapPodInfo = 135;
inline constexpr int kBitmapExit = 136;
