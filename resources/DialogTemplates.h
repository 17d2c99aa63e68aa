// The programmer's dialog templates as plain data: every control of the main
// window (template 102) and of the About box (template 100), with its id, kind,
// caption, list contents, limits and place in dialog units. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "resources/Version.h"

// Control ids. Fixed texts, the group box and the About box's icon and text
// carry no id of their own.
enum ControlId : int {
  IDC_STATIC = -1,
  ID_OK = 1,
  IDC_MCU_TYPE = 1000,
  IDC_INTELLIGENT_ERASE = 1001,
  IDC_ERASE_ALL = 1002,
  IDC_FILE_PATH = 1003,
  IDC_BROWSE = 1004,
  IDC_POD_FILE_NAME = 1005,
  IDC_LOAD = 1006,
  IDC_TARGET_RESET = 1007,
  IDC_POD_WRITE = 1008,
  IDC_POD_VERIFY = 1009,
  IDC_TARGET_WRITE = 1010,
  IDC_EXIT = 1011,
  IDC_PROGRESS = 1012,
  IDC_MESSAGE = 1013,
  IDC_POD_INFO = 1014,
  IDC_CSM_OPTION = 1015,
  IDC_KEY0 = 1016,        // KEY0..KEY7 edits: IDC_KEY0 + k
  IDC_KEY_LABEL0 = 1024,  // their captions: IDC_KEY_LABEL0 + k
};

enum class ControlKind {
  StaticText,
  GroupBox,
  Icon,           // the program icon
  Edit,           // one-line edit
  DropDownList,   // combo box whose edit cannot be typed into
  DropDownCombo,  // combo box with an edit
  PushButton,
  BitmapButton,  // push button with a 16 x 16 picture beside its caption
  RadioButton,   // automatic radio button
  CheckBox,      // automatic check box
  StatusLabel,   // the coloured one-line status display
  ProgressBar,
};

enum ControlStyle : uint32_t {
  kStyleNone = 0,
  kStyleUpperCase = 1 << 0,         // edits turn typed letters to upper case
  kStyleDefaultButton = 1 << 1,     // the button Enter presses
  kStyleCenterVertically = 1 << 2,  // static text centred on its height
};

// A rectangle in dialog units: x from the average character width / 4,
// y from the font height / 8.
struct DialogRect {
  int x;
  int y;
  int width;
  int height;
};

struct DialogControl {
  int id;
  std::string_view name;  // "IDC_MCU_TYPE"; empty for fixed texts
  ControlKind kind;
  std::string_view caption;  // UTF-8
  DialogRect rect;           // for combo boxes the height includes the dropped list
  uint32_t style = kStyleNone;
  int maxLength = 0;  // edits: at most this many characters; 0 is no limit
  std::span<const std::string_view> items = {};  // list contents of combo boxes
};

struct DialogTemplate {
  int id;
  std::string_view title;
  std::string_view fontFamily;
  int fontPointSize;
  int width;  // client area, dialog units
  int height;
  std::span<const DialogControl> controls;
};

inline constexpr std::array<std::string_view, 5> kMcuTypeItems{
    "F2801 - 100MHz (20MHz * 5)", "F2802 - 100MHz (20MHz * 5)", "F2806 - 100MHz (20MHz * 5)",
    "F2808 - 100MHz (20MHz * 5)", "F2809 - 100MHz (20MHz * 5)",
};

// In tab order; a control listed later lies above an earlier one (the group box
// is listed before the controls it frames).
// One control a line reads better than the formatter's one field a line.
// clang-format off
inline constexpr auto kMainDialogControls = std::to_array<DialogControl>({
    {IDC_STATIC, "", ControlKind::StaticText, "MCU", {7, 7, 28, 14}, kStyleCenterVertically},
    {IDC_MCU_TYPE, "IDC_MCU_TYPE", ControlKind::DropDownList, "", {37, 7, 111, 57}, kStyleNone, 0,
     kMcuTypeItems},
    {IDC_STATIC, "", ControlKind::StaticText, "POD File Name", {152, 7, 51, 14},
     kStyleCenterVertically},
    {IDC_POD_FILE_NAME, "IDC_POD_FILE_NAME", ControlKind::Edit, "", {204, 7, 88, 14}, kStyleNone, 8},
    {IDC_STATIC, "", ControlKind::StaticText, "File Path", {7, 25, 31, 14},
     kStyleCenterVertically},
    {IDC_FILE_PATH, "IDC_FILE_PATH", ControlKind::DropDownCombo, "", {37, 25, 228, 82}},
    {IDC_BROWSE, "IDC_BROWSE", ControlKind::PushButton, "...", {269, 25, 23, 14}},
    {IDC_STATIC, "", ControlKind::GroupBox, "Option for TMS320F280x Device", {7, 43, 285, 130}},
    {IDC_INTELLIGENT_ERASE, "IDC_INTELLIGENT_ERASE", ControlKind::RadioButton,
     "Intelligent Erase Flash Memory", {37, 55, 114, 14}},
    {IDC_ERASE_ALL, "IDC_ERASE_ALL", ControlKind::RadioButton, "Erase All Flash Memory",
     {159, 55, 93, 14}},
    {IDC_CSM_OPTION, "IDC_CSM_OPTION", ControlKind::CheckBox,
     "Unlock CSM(Code Security Module) 사용 여부", {37, 69, 181, 15}},
    {IDC_STATIC, "", ControlKind::StaticText, "Flash Algorithm Code에 사용됩니다. - Hex Value",
     {47, 85, 173, 15}, kStyleCenterVertically},
    // The key captions get their addresses when the window starts.
    {IDC_KEY_LABEL0 + 0, "IDC_KEY_LABEL0", ControlKind::StaticText, "KEY0", {37, 103, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 0, "IDC_KEY0", ControlKind::Edit, "", {100, 103, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 1, "IDC_KEY_LABEL1", ControlKind::StaticText, "KEY1", {159, 103, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 1, "IDC_KEY1", ControlKind::Edit, "", {221, 103, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 2, "IDC_KEY_LABEL2", ControlKind::StaticText, "KEY2", {37, 119, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 2, "IDC_KEY2", ControlKind::Edit, "", {100, 119, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 3, "IDC_KEY_LABEL3", ControlKind::StaticText, "KEY3", {159, 119, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 3, "IDC_KEY3", ControlKind::Edit, "", {221, 119, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 4, "IDC_KEY_LABEL4", ControlKind::StaticText, "KEY4", {37, 135, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 4, "IDC_KEY4", ControlKind::Edit, "", {100, 135, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 5, "IDC_KEY_LABEL5", ControlKind::StaticText, "KEY5", {159, 135, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 5, "IDC_KEY5", ControlKind::Edit, "", {221, 135, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 6, "IDC_KEY_LABEL6", ControlKind::StaticText, "KEY6", {37, 153, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 6, "IDC_KEY6", ControlKind::Edit, "", {100, 153, 31, 15}, kStyleUpperCase, 4},
    {IDC_KEY_LABEL0 + 7, "IDC_KEY_LABEL7", ControlKind::StaticText, "KEY7", {159, 153, 56, 15},
     kStyleCenterVertically},
    {IDC_KEY0 + 7, "IDC_KEY7", ControlKind::Edit, "", {221, 153, 31, 15}, kStyleUpperCase, 4},
    {IDC_MESSAGE, "IDC_MESSAGE", ControlKind::StatusLabel, "Message", {7, 175, 285, 18}},
    {IDC_PROGRESS, "IDC_PROGRESS", ControlKind::ProgressBar, "", {7, 195, 285, 16}},
    {IDC_TARGET_WRITE, "IDC_TARGET_WRITE", ControlKind::BitmapButton, "Target Write",
     {7, 213, 62, 22}},
    {IDC_TARGET_RESET, "IDC_TARGET_RESET", ControlKind::BitmapButton, "Target Reset",
     {81, 213, 62, 22}},
    {IDC_LOAD, "IDC_LOAD", ControlKind::BitmapButton, "Load", {155, 213, 62, 22}},
    {IDC_EXIT, "IDC_EXIT", ControlKind::BitmapButton, "Exit", {229, 213, 62, 22}},
    {IDC_POD_WRITE, "IDC_POD_WRITE", ControlKind::BitmapButton, "POD Write", {7, 238, 62, 22}},
    {IDC_POD_VERIFY, "IDC_POD_VERIFY", ControlKind::BitmapButton, "POD Verify",
     {81, 238, 62, 22}},
    {IDC_POD_INFO, "IDC_POD_INFO", ControlKind::BitmapButton, "POD Info", {155, 238, 62, 22}},
});

// Template 102: the programmer window. Its title is set when it starts.
inline constexpr DialogTemplate kMainDialogTemplate{
    102, "", "굴림", 9, 299, 267, kMainDialogControls,
};

inline constexpr auto kAboutBoxControls = std::to_array<DialogControl>({
    {IDC_STATIC, "", ControlKind::Icon, "", {11, 11, 20, 20}},
    {IDC_STATIC, "", ControlKind::StaticText, "Brontaflex 버전 " BRONTAFLEX_VERSION, {40, 17, 80, 8}},
    {ID_OK, "IDOK", ControlKind::PushButton, "확인", {124, 13, 50, 16}, kStyleDefaultButton},
});
// clang-format on

// Template 100: the About box.
inline constexpr DialogTemplate kAboutBoxTemplate{
    100, "Brontaflex 정보", "굴림", 9, 182, 42, kAboutBoxControls,
};
