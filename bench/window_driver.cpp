// vxt_window_driver: times a report window from outside, as a user would meet it. It finds the
// window by its caption, empties its log, posts BM_CLICK to its button and watches the log
// (WM_GETTEXTLENGTH / WM_GETTEXT sent from this process) until the outcome line stands at its
// end; wall time by QueryPerformanceCounter from just before the click.
//
//   vxt_window_driver.exe --caption TEXT --line TEXT [--log TEXT] [--runs N] [--warmup N]
//                         [--poll-ms MS] [--timeout-ms MS] [--close]
//   vxt_window_driver.exe --caption TEXT --runs 0 --close       (only closes the window)
//
// A window answers a message sent from another process only when it processes messages: in its
// own loop, or in a pump step inside a running exchange. So "the line stands" is the first time
// the window answers with the line at the end of its log, which is also the first time it can
// have painted it. Two times are taken per run:
//   line  the first answer whose log ends with the line;
//   done  the first answer whose log ends with the line while the button is enabled again (the
//         click's handler has returned; for a PDF reply that includes the shell's open).
// --log, with \r and \n written as escapes, is the exact log wanted once a run is done; a run
// that ends with another log is an error. --poll-ms 0 (the default) sends the next query as
// soon as one is answered, so that the window always finds one waiting at its next pump step;
// a larger value sleeps between queries, to see what the queries themselves cost the window.
// Prints one line per run ("run I line MS done MS") and then "median line MS done MS".
#include <windows.h>
// (after windows.h, whose types it needs)
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kAnswerLimitMs = 600000;

std::string Unescape(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '\\' && p[1] == 'r')
      out += '\r', ++p;
    else if (p[0] == '\\' && p[1] == 'n')
      out += '\n', ++p;
    else if (p[0] == '\\' && p[1] == '\\')
      out += '\\', ++p;
    else
      out += *p;
  }
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// -1 when the window did not answer within the limit.
long long TextLength(HWND control) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerLimitMs, &length)) {
    return -1;
  }
  return static_cast<long long>(length);
}

bool Text(HWND control, size_t length, std::string& text) {
  std::vector<char> buffer(length + 16, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(control, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, kAnswerLimitMs,
                           &copied)) {
    return false;
  }
  text.assign(buffer.data(), std::min<size_t>(copied, buffer.size()));
  return true;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Found {
  HWND button = nullptr;
  HWND log = nullptr;
};

BOOL CALLBACK FindControls(HWND child, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if (!found->button && lstrcmpiA(cls, "Button") == 0) found->button = child;
  if (!found->log && lstrcmpiA(cls, "Edit") == 0 && (style & ES_MULTILINE)) found->log = child;
  return TRUE;
}

// A PDF reply makes the window ask the shell to open the file; with no viewer, Wine's shell hands
// it to winebrowser.exe, which looks for a browser and gives up. That process must be gone
// before the next run is timed, since it competes for the same processors.
bool ShellHelperRunning() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32First(snapshot, &entry); more && !found;
       more = Process32Next(snapshot, &entry)) {
    found = lstrcmpiA(entry.szExeFile, "winebrowser.exe") == 0;
  }
  CloseHandle(snapshot);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  std::string caption, line, wanted_log;
  int runs = 10, warmup = 2, poll_ms = 0, timeout_ms = 120000;
  bool close = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--caption" && next)
      caption = argv[++i];
    else if (arg == "--line" && next)
      line = Unescape(argv[++i]);
    else if (arg == "--log" && next)
      wanted_log = Unescape(argv[++i]);
    else if (arg == "--runs" && next)
      runs = std::atoi(argv[++i]);
    else if (arg == "--warmup" && next)
      warmup = std::atoi(argv[++i]);
    else if (arg == "--poll-ms" && next)
      poll_ms = std::atoi(argv[++i]);
    else if (arg == "--timeout-ms" && next)
      timeout_ms = std::atoi(argv[++i]);
    else if (arg == "--close")
      close = true;
    else {
      std::fprintf(stderr, "vxt_window_driver: unknown or incomplete argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (caption.empty() || (line.empty() && !(runs == 0 && close))) {
    std::fprintf(stderr, "usage: vxt_window_driver --caption TEXT --line TEXT [options]\n");
    return 2;
  }
  const std::string tail = line + "\r\n";
  const bool close_only = runs == 0 && close;

  HWND window = nullptr;
  for (int waited = 0; waited < 60000 && !(window && IsWindowVisible(window)); waited += 50) {
    window = FindWindowA(nullptr, caption.c_str());
    if (!window || !IsWindowVisible(window)) Sleep(50);
  }
  if (!window) {
    std::fprintf(stderr, "vxt_window_driver: no window \"%s\" after 60 s\n", caption.c_str());
    return 1;
  }
  if (close_only) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
  }
  Found controls;
  EnumChildWindows(window, FindControls, reinterpret_cast<LPARAM>(&controls));
  if (!controls.button || !controls.log) {
    std::fprintf(stderr, "vxt_window_driver: \"%s\" has no button or no multi-line edit\n",
                 caption.c_str());
    return 1;
  }

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  auto now_ms = [&] {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
  };

  std::vector<double> line_times, done_times;
  for (int run = 0; run < warmup + runs; ++run) {
    // The previous click is over (button enabled) before the next one.
    for (int waited = 0; !IsWindowEnabled(controls.button); waited += 10) {
      if (waited > timeout_ms) {
        std::fprintf(stderr, "vxt_window_driver: the button stays disabled\n");
        return 1;
      }
      Sleep(10);
    }
    for (int waited = 0; ShellHelperRunning() && waited < 20000; waited += 20) Sleep(20);
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(controls.log, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""), SMTO_NORMAL,
                             kAnswerLimitMs, &ignored)) {
      std::fprintf(stderr, "vxt_window_driver: the window does not answer\n");
      return 1;
    }
    Sleep(20);  // the server and the window settle after the previous exchange

    const double start = now_ms();
    PostMessageA(controls.button, BM_CLICK, 0, 0);
    double line_at = -1, done_at = -1;
    long long last_length = -1;
    std::string log;
    while (done_at < 0) {
      const long long length = TextLength(controls.log);
      const double answered = now_ms();
      if (length < 0) {
        std::fprintf(stderr, "vxt_window_driver: no answer within %u ms\n", kAnswerLimitMs);
        return 1;
      }
      if (length != last_length && length >= static_cast<long long>(tail.size())) {
        if (!Text(controls.log, static_cast<size_t>(length), log)) return 1;
      }
      last_length = length;
      if (length >= static_cast<long long>(tail.size()) && EndsWith(log, tail)) {
        if (line_at < 0) line_at = answered;
        // Read after the answer: the button state cannot be older than the text.
        if (IsWindowEnabled(controls.button)) done_at = answered;
      }
      if (answered - start > timeout_ms) {
        std::fprintf(stderr, "vxt_window_driver: no outcome after %d ms; the log holds \"%s\"\n",
                     timeout_ms, Escape(log).c_str());
        return 1;
      }
      if (poll_ms > 0) Sleep(static_cast<DWORD>(poll_ms));
    }
    if (!wanted_log.empty() && log != wanted_log) {
      std::fprintf(stderr, "vxt_window_driver: the log holds \"%s\", not \"%s\"\n",
                   Escape(log).c_str(), Escape(wanted_log).c_str());
      return 1;
    }
    if (run < warmup) continue;
    line_times.push_back(line_at - start);
    done_times.push_back(done_at - start);
    std::printf("run %d line %.3f done %.3f\n", run - warmup + 1, line_at - start, done_at - start);
    std::fflush(stdout);
  }
  std::printf("median line %.3f done %.3f\n", Median(line_times), Median(done_times));
  std::fflush(stdout);
  if (close) PostMessageA(window, WM_CLOSE, 0, 0);
  return 0;
}
