// The three controls the window draws itself, as Win32 window classes: the
// status line (text in a colour on a background), the progress bar with its
// percentage, and the push buttons with a picture whose white is transparent.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Registers the status line's and the progress bar's classes once.
void RegisterControlClasses(HINSTANCE instance);

// The status line's look; the control repaints when it is set.
void SetMessageLabel(HWND label, const std::wstring& text, COLORREF textColor, COLORREF bkColor);

// The progress bar: its range, step and position. Setting the position
// repaints at once, and only when the bar's drawn width changes.
void SetProgressRange(HWND bar, int32_t lower, int32_t upper);
void SetProgressStep(HWND bar, int32_t step);
int32_t SetProgressPos(HWND bar, int32_t position);
int32_t StepProgress(HWND bar);
int32_t ProgressPos(HWND bar);

// Draws an owner-drawn push button: the face, `bitmap` (16 colours, white
// transparent; embossed when disabled) left of the caption, the focus frame.
void DrawBitmapButton(const DRAWITEMSTRUCT& item, HBITMAP bitmap);
