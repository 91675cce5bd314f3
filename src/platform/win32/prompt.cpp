// The Win32 back end, the prompt window: its native parts (label, field, OK button, the Enter and Escape
// accelerators), its window procedure and one turn of its loop.
#include "platform/win32/win32_internal.h"

#include <utility>

namespace vw {

using namespace win32;

Win32Platform::Prompt* Win32Platform::FindPrompt(Handle prompt) {
  auto it = prompts_.find(ToWindow(prompt));
  if (it == prompts_.end() || !IsWindow(it->first)) return nullptr;
  return &it->second;
}

HACCEL Win32Platform::PromptAccelerators(Handle prompt) const {
  auto it = prompts_.find(ToWindow(prompt));
  return it == prompts_.end() ? nullptr : it->second.accelerators;
}

Handle Win32Platform::CreatePromptWindow(const PromptWindowSpec& request) {
  ShowAppended();
  // Centred on the primary screen; where the main window is plays no part.
  const PromptLayout& layout = kPromptLayout;
  int x = GetSystemMetrics(SM_CXSCREEN) / 2 - layout.outer_width / 2;
  int y = GetSystemMetrics(SM_CYSCREEN) / 2 - layout.outer_height / 2;
  HWND window = CreateWindowExW(0, kPromptClass, Wide(request.title), WS_VISIBLE | WS_CAPTION | WS_SYSMENU, x,
                                y, layout.outer_width, layout.outer_height, OwnWindow(request.owner), nullptr,
                                instance_, this);
  if (window == nullptr) return 0;
  Prompt& prompt = prompts_[window];

  prompt.label = CreateWindowExW(
      0, L"STATIC", Wide(request.prompt), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, layout.label.x,
      layout.label.y, layout.label.width, layout.label.height, window, nullptr, instance_, nullptr);
  DWORD field_style =
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL | (request.masked ? ES_PASSWORD : 0);
  prompt.field =
      CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", field_style, layout.field.x, layout.field.y,
                      layout.field.width, layout.field.height, window,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPromptFieldId)), instance_, nullptr);
  prompt.ok =
      CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                      layout.ok_button.x, layout.ok_button.y, layout.ok_button.width, layout.ok_button.height,
                      window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPromptOk)), instance_, nullptr);
  for (HWND child : {prompt.label, prompt.field, prompt.ok}) {
    if (child != nullptr) SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(request.font), TRUE);
  }

  SetFocus(prompt.field);
  if (!request.default_text.empty()) {
    SendMessageW(prompt.field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(request.default_text)));
    auto end = static_cast<WPARAM>(request.default_text.size());
    SendMessageW(prompt.field, EM_SETSEL, end, static_cast<LPARAM>(end));
  }

  ACCEL keys[2] = {{FVIRTKEY, VK_RETURN, static_cast<WORD>(kPromptOk)},
                   {FVIRTKEY, VK_ESCAPE, static_cast<WORD>(kPromptCancel)}};
  prompt.accelerators = CreateAcceleratorTableW(keys, 2);

  SetForegroundWindow(window);
  BringWindowToTop(window);
  return ToHandle(window);
}

Text Win32Platform::PromptFieldText(Handle prompt) {
  Prompt* p = FindPrompt(prompt);
  if (p == nullptr || p->field == nullptr) return {};
  // The length first, then the text into a buffer of that length plus one.
  int length = GetWindowTextLengthW(p->field);
  if (length <= 0) return {};
  Text text(static_cast<std::size_t>(length) + 1, u'\0');
  int copied = GetWindowTextW(p->field, reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
  return text;
}

void Win32Platform::FocusPromptField(Handle prompt) {
  Prompt* p = FindPrompt(prompt);
  if (p != nullptr && p->field != nullptr) SetFocus(p->field);
}

LRESULT CALLBACK Win32Platform::PromptProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Win32Platform* platform = PlatformOf(window, message, lparam);
  if (platform == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return platform->OnPromptMessage(window, message, wparam, lparam);
}

LRESULT Win32Platform::OnPromptMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto it = prompts_.find(window);
  PromptHandler* handler = it == prompts_.end() ? nullptr : it->second.handler;
  switch (message) {
    case WM_COMMAND:
      // Told apart by the identifier alone: the OK button and Enter give 1000, Escape 1001, the field 10.
      if (handler != nullptr) handler->PromptCommand(LOWORD(wparam));
      return 0;  // the handler may have destroyed the window: touch nothing after it
    case WM_CLOSE:
      // The close box, the system menu's Close and Alt+F4; the handler decides, nothing is destroyed here.
      if (handler != nullptr) handler->PromptCloseRequested();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) != WA_INACTIVE) {
        if (handler != nullptr) {
          handler->PromptActivated();
          return 0;
        }
        // Activated while no loop runs (while it is being created): the field takes the focus all the same.
        if (it != prompts_.end() && it->second.field != nullptr) {
          SetFocus(it->second.field);
          return 0;
        }
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void Win32Platform::HandlePromptMessage(HWND prompt, MSG& msg) {
  auto it = prompts_.find(prompt);
  if (it != prompts_.end() && IsWindow(prompt)) {
    if (it->second.accelerators != nullptr && TranslateAcceleratorW(prompt, it->second.accelerators, &msg))
      return;
    // The accelerator may have closed the prompt; look again before dialog navigation.
    if (prompts_.count(prompt) != 0 && IsWindow(prompt) && IsDialogMessageW(prompt, &msg)) return;
  }
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

bool Win32Platform::PumpPromptMessage(Handle prompt, PromptHandler& handler) {
  // The handler is in place before GetMessageW: a message sent from another thread or process (a BM_CLICK on
  // OK, a WM_CLOSE) is handled inside that call and must reach it too.
  HWND window = ToWindow(prompt);
  PromptHandler* outer = nullptr;
  if (Prompt* p = FindPrompt(prompt)) outer = std::exchange(p->handler, &handler);
  ShowAppended();
  pumping_.push_back(window);
  MSG msg;
  BOOL got = NextMessage(msg);
  if (got != 0 && got != -1) HandlePromptMessage(window, msg);
  pumping_.pop_back();
  // The handler may have destroyed the prompt meanwhile.
  if (auto it = prompts_.find(window); it != prompts_.end()) it->second.handler = outer;
  return got != 0 && got != -1;
}

void Win32Platform::DestroyPromptWindow(Handle prompt) {
  HWND window = ToWindow(prompt);
  auto it = prompts_.find(window);
  if (it == prompts_.end()) return;
  HACCEL accelerators = it->second.accelerators;
  prompts_.erase(it);
  if (accelerators != nullptr) DestroyAcceleratorTable(accelerators);
  if (IsWindow(window)) DestroyWindow(window);
  WakeIfWaiting();  // closed from inside GetMessageW: the prompt's loop is to end now
  for (HWND pending : std::exchange(topmost_pending_, {})) {
    if (IsWindow(pending)) {
      SetWindowPos(pending, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

}  // namespace vw
