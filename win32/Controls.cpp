#include "win32/Controls.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "dialog/PercentBar.h"
#include "win32/DialogTemplateBuilder.h"
#include "win32/WideText.h"

namespace {

// What each of the two classes keeps per window, behind GWLP_USERDATA.
struct LabelState {
  HFONT font = nullptr;  // the dialog's, handed over with WM_SETFONT
  std::wstring text;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(0, 255, 0);
};

struct BarState {
  HFONT font = nullptr;
  PercentBar figures;
  int32_t lastBarWidth = -1;
};

template <typename State>
State* StateOf(HWND window) {
  return reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Creates the window's state at WM_NCCREATE and frees it at WM_NCDESTROY.
template <typename State>
bool ManageState(HWND window, UINT message) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new State()));
  } else if (message == WM_NCDESTROY) {
    delete StateOf<State>(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  }
  return StateOf<State>(window) != nullptr;
}

// Draws with the dialog's font, which the dialog hands to each control.
HFONT SelectWindowFont(HWND window, HDC dc) {
  const auto font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  return font != nullptr ? static_cast<HFONT>(SelectObject(dc, font)) : nullptr;
}

// WM_SETFONT and WM_GETFONT, as the predefined controls answer them.
template <typename State>
std::optional<LRESULT> HandleFont(HWND window, State& state, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  if (message == WM_SETFONT) {
    state.font = reinterpret_cast<HFONT>(wParam);
    if (LOWORD(lParam) != 0) {
      InvalidateRect(window, nullptr, TRUE);
    }
    return 0;
  }
  if (message == WM_GETFONT) {
    return reinterpret_cast<LRESULT>(state.font);
  }
  return std::nullopt;
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!ManageState<LabelState>(window, message)) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  LabelState& state = *StateOf<LabelState>(window);
  if (const auto handled = HandleFont(window, state, message, wParam, lParam)) {
    return *handled;
  }
  if (message == WM_CREATE) {
    // Until the first message, the label shows its caption ("Message").
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    state.text = create->lpszName != nullptr ? create->lpszName : L"";
  } else if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT area;
    GetClientRect(window, &area);
    HBRUSH background = CreateSolidBrush(state.bkColor);
    FillRect(dc, &area, background);
    DeleteObject(background);
    HFONT previous = SelectWindowFont(window, dc);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, state.textColor);
    // Inset by two pixels and cut on both sides when too long.
    InflateRect(&area, -2, -2);
    DrawTextW(dc, state.text.c_str(), -1, &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (previous != nullptr) {
      SelectObject(dc, previous);
    }
    EndPaint(window, &paint);
    return 0;
  } else if (message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
    // What a screen reader or a test reads is the message shown.
    if (message == WM_GETTEXTLENGTH) {
      return static_cast<LRESULT>(state.text.size());
    }
    const size_t room = static_cast<size_t>(wParam);
    if (room == 0) {
      return 0;
    }
    const size_t count = std::min(room - 1, state.text.size());
    std::copy_n(state.text.c_str(), count, reinterpret_cast<wchar_t*>(lParam));
    reinterpret_cast<wchar_t*>(lParam)[count] = 0;
    return static_cast<LRESULT>(count);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void PaintBar(HWND window, const BarState& state, HDC target) {
  RECT area;
  GetClientRect(window, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  // Drawn off screen and copied in one go, so the bar never flickers while
  // the procedures step it many times a second.
  HDC dc = CreateCompatibleDC(target);
  HBITMAP frame = CreateCompatibleBitmap(target, std::max(width, 1), std::max(height, 1));
  HGDIOBJ previousBitmap = SelectObject(dc, frame);
  const COLORREF barColor = GetSysColor(COLOR_HIGHLIGHT);
  const COLORREF bkColor = GetSysColor(COLOR_WINDOW);
  const int barWidth = std::clamp<int32_t>(state.figures.BarWidth(width), 0, width);
  RECT bar{0, 0, barWidth, height};
  RECT rest{barWidth, 0, width, height};
  HBRUSH barBrush = CreateSolidBrush(barColor);
  HBRUSH bkBrush = CreateSolidBrush(bkColor);
  FillRect(dc, &bar, barBrush);
  FillRect(dc, &rest, bkBrush);
  DeleteObject(barBrush);
  DeleteObject(bkBrush);
  if (!state.figures.empty()) {
    // The same text twice, each clipped to one side of the bar's edge, so it
    // stays readable in the other side's colour wherever the edge cuts it.
    const std::wstring text = Wide(state.figures.PercentText());
    HFONT previousFont = SelectWindowFont(window, dc);
    SetBkMode(dc, TRANSPARENT);
    RECT whole{0, 0, width, height};
    for (const auto& [side, color] : {std::pair{bar, bkColor}, std::pair{rest, barColor}}) {
      HRGN clip = CreateRectRgnIndirect(&side);
      SelectClipRgn(dc, clip);
      SetTextColor(dc, color);
      DrawTextW(dc, text.c_str(), -1, &whole, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      SelectClipRgn(dc, nullptr);
      DeleteObject(clip);
    }
    if (previousFont != nullptr) {
      SelectObject(dc, previousFont);
    }
  }
  BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
  SelectObject(dc, previousBitmap);
  DeleteObject(frame);
  DeleteDC(dc);
}

LRESULT CALLBACK BarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!ManageState<BarState>(window, message)) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  BarState& state = *StateOf<BarState>(window);
  if (const auto handled = HandleFont(window, state, message, wParam, lParam)) {
    return *handled;
  }
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // every paint covers the whole control
    case WM_SIZE:
      state.lastBarWidth = -1;
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintBar(window, state, dc);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Register(HINSTANCE instance, const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = name;
  RegisterClassExW(&windowClass);
}

BarState* Bar(HWND bar) {
  return bar != nullptr ? StateOf<BarState>(bar) : nullptr;
}

}  // namespace

void RegisterControlClasses(HINSTANCE instance) {
  static const bool registered = [instance] {
    Register(instance, kMessageLabelClass, LabelProc);
    Register(instance, kPercentProgressBarClass, BarProc);
    return true;
  }();
  (void)registered;
}

void SetMessageLabel(HWND label, const std::wstring& text, COLORREF textColor, COLORREF bkColor) {
  LabelState* state = label != nullptr ? StateOf<LabelState>(label) : nullptr;
  if (state == nullptr) {
    return;
  }
  state->text = text;
  state->textColor = textColor;
  state->bkColor = bkColor;
  // Painted now: the operation that reports is still running on this thread.
  InvalidateRect(label, nullptr, TRUE);
  UpdateWindow(label);
}

void SetProgressRange(HWND bar, int32_t lower, int32_t upper) {
  if (BarState* state = Bar(bar)) {
    state->figures.SetRange(lower, upper);
    state->lastBarWidth = -1;
    InvalidateRect(bar, nullptr, FALSE);
  }
}

void SetProgressStep(HWND bar, int32_t step) {
  if (BarState* state = Bar(bar)) {
    state->figures.SetStep(step);
  }
}

int32_t SetProgressPos(HWND bar, int32_t position) {
  BarState* state = Bar(bar);
  if (state == nullptr) {
    return 0;
  }
  const int32_t previous = state->figures.SetPos(position);
  RECT area;
  GetClientRect(bar, &area);
  const int32_t barWidth = state->figures.BarWidth(area.right - area.left);
  if (barWidth != state->lastBarWidth) {
    state->lastBarWidth = barWidth;
    InvalidateRect(bar, nullptr, FALSE);
    UpdateWindow(bar);
  }
  return previous;
}

int32_t StepProgress(HWND bar) {
  const BarState* state = Bar(bar);
  if (state == nullptr) {
    return 0;
  }
  PercentBar next = state->figures;
  next.Step();
  return SetProgressPos(bar, next.position());
}

int32_t ProgressPos(HWND bar) {
  const BarState* state = Bar(bar);
  return state != nullptr ? state->figures.position() : 0;
}

void DrawBitmapButton(const DRAWITEMSTRUCT& item, HBITMAP bitmap) {
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool disabled = (item.itemState & ODS_DISABLED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  RECT face = item.rcItem;
  DrawFrameControl(item.hDC, &face, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0u));
  const int shift = pressed ? 1 : 0;
  constexpr int kImageMargin = 4;
  constexpr int kPicture = 16;
  int textLeft = face.left + kImageMargin;
  if (bitmap != nullptr) {
    const int x = face.left + kImageMargin + shift;
    const int y = face.top + (face.bottom - face.top - kPicture) / 2 + shift;
    HDC source = CreateCompatibleDC(item.hDC);
    HGDIOBJ previous = SelectObject(source, bitmap);
    if (disabled) {
      // Embossed, as a disabled control shows its picture.
      DrawStateW(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, x, y, kPicture,
                 kPicture, DST_BITMAP | DSS_DISABLED);
    } else {
      TransparentBlt(item.hDC, x, y, kPicture, kPicture, source, 0, 0, kPicture, kPicture,
                     RGB(255, 255, 255));
    }
    SelectObject(source, previous);
    DeleteDC(source);
    textLeft = face.left + kPicture + 2 * kImageMargin;
  }
  wchar_t caption[64] = {};
  GetWindowTextW(item.hwndItem, caption, 64);
  RECT text{textLeft + shift, face.top + shift, face.right - kImageMargin + shift,
            face.bottom + shift};
  SetBkMode(item.hDC, TRANSPARENT);
  if (disabled) {
    // Embossed like the picture: light under, grey above.
    OffsetRect(&text, 1, 1);
    SetTextColor(item.hDC, GetSysColor(COLOR_3DHILIGHT));
    DrawTextW(item.hDC, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    OffsetRect(&text, -1, -1);
    SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
  } else {
    SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
  }
  DrawTextW(item.hDC, caption, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (focused) {
    RECT frame = face;
    InflateRect(&frame, -3, -3);
    DrawFocusRect(item.hDC, &frame);
  }
}
