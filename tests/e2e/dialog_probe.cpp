// Prints, as UTF-8, the text and buttons of the top-level window whose caption
// is argv[1], so the end-to-end harness can check what a prompt really says
// (xdotool sees only the caption; the body is drawn by Wine, not by X).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string ToUtf8(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::string WindowText(HWND window) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(window, buffer, 2048);
  return ToUtf8(buffer);
}

struct Findings {
  std::string body;
  int buttons = 0;
  bool icon = false;
};

BOOL CALLBACK VisitChild(HWND child, LPARAM param) {
  auto* findings = reinterpret_cast<Findings*>(param);
  wchar_t cls[64] = {};
  GetClassNameW(child, cls, 64);
  std::wstring name(cls);
  LONG style = GetWindowLongW(child, GWL_STYLE);
  if (name == L"Button") {
    ++findings->buttons;
  } else if (name == L"Static") {
    // A message box has two statics: the icon (SS_ICON, holding no icon when
    // the box asks for none) and the text.
    if ((style & SS_TYPEMASK) == SS_ICON) {
      findings->icon = findings->icon || SendMessageW(child, STM_GETICON, 0, 0) != 0;
    } else {
      findings->body = WindowText(child);
    }
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dialog_probe <caption>\n");
    return 2;
  }
  HWND box = FindWindowA(nullptr, argv[1]);
  if (box == nullptr) {
    std::printf("found=0\n");
    return 1;
  }
  Findings findings;
  EnumChildWindows(box, VisitChild, reinterpret_cast<LPARAM>(&findings));
  std::printf("found=1\nbuttons=%d\nicon=%d\n", findings.buttons, findings.icon ? 1 : 0);
  // The body goes last and may span lines; line breaks come through as-is.
  std::printf("body=%s\n", findings.body.c_str());
  return 0;
}
