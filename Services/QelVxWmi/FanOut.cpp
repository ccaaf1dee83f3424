#include "FanOut.h"

namespace {
constexpr UINT kPassMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"QelVxWmiFanOut";

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}
}  // namespace

LRESULT CALLBACK CFanOut::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (message == kPassMessage) {
    if (auto* self = reinterpret_cast<CFanOut*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
      self->posted_ = false;
      self->RunPass();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool CFanOut::HasWindow() {
  if (window_) return windowThread_ == GetCurrentThreadId();
  HINSTANCE module = ThisModule();
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  if (!GetClassInfoExW(module, kWindowClass, &cls)) {
    cls = WNDCLASSEXW{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = WindowProc;
    cls.hInstance = module;
    cls.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, this);
  windowThread_ = window_ ? GetCurrentThreadId() : 0;
  return window_ != nullptr;
}

void CFanOut::Post(BYTE state) {
  latest_ = state;
  pending_ = true;
  RequestPass();
}

void CFanOut::LeaveCall() {
  if (--callDepth_ == 0 && pending_ && !running_) RequestPass();
}

void CFanOut::RequestPass() {
  if (posted_) return;
  if (HasWindow() && PostMessageW(window_, kPassMessage, 0, 0)) {
    posted_ = true;
    return;
  }
  // No message loop to hand the pass to: send from here, as late as this call allows.
  RunPass();
}

void CFanOut::RunPass() {
  // A message loop nested in a pass or in a client's call dispatched this: the end of that
  // pass or call asks again.
  if (running_ || callDepth_ > 0 || !pending_) return;
  running_ = true;
  pending_ = false;
  send_(latest_);
  running_ = false;
  if (pending_) RequestPass();
}

void CFanOut::Stop() {
  pending_ = posted_ = false;
  if (window_ && windowThread_ == GetCurrentThreadId()) DestroyWindow(window_);
  window_ = nullptr;
  windowThread_ = 0;
}
