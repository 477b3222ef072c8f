// vxt_window_driver: times a report window from outside, as a user would meet it. It finds the
// window by its caption, empties its log, posts BM_CLICK to its button and watches the log
// (WM_GETTEXTLENGTH / WM_GETTEXT sent from this process) until the outcome line stands at its
// end; wall time by QueryPerformanceCounter from just before the click.
//
//   vxt_window_driver.exe --caption TEXT [--vs TEXT] --line TEXT [--log TEXT] [--runs N]
//                         [--warmup N] [--poll-ms MS] [--timeout-ms MS] [--close]
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
//
// --vs names a second window, clicked in turn with the first (A B, then B A, and so on), so that
// both see the same load on a shared machine; its lines start with "vs ", and a last line
// "ratio median R" gives the median of the runs' done-time ratios A / B.
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

struct Target {
  std::string caption;
  HWND window = nullptr;
  Found controls;
  std::vector<double> line_times, done_times;
};

bool Find(Target& target) {
  HWND window = nullptr;
  for (int waited = 0; waited < 60000 && !(window && IsWindowVisible(window)); waited += 50) {
    window = FindWindowA(nullptr, target.caption.c_str());
    if (!window || !IsWindowVisible(window)) Sleep(50);
  }
  if (!window) {
    std::fprintf(stderr, "vxt_window_driver: no window \"%s\" after 60 s\n",
                 target.caption.c_str());
    return false;
  }
  target.window = window;
  return true;
}

double NowMs() {
  static const double ticks_per_ms = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticks_per_ms;
}

struct RunSettings {
  std::string tail;  // the outcome line with its CR LF
  std::string wanted_log;
  int poll_ms = 0;
  int timeout_ms = 120000;
};

// One click on target, timed; false after printing why it failed.
bool Run(const Target& target, const RunSettings& settings, double& line_ms, double& done_ms) {
  const Found& controls = target.controls;
  const std::string& tail = settings.tail;
  // The previous click is over (button enabled) before the next one.
  for (int waited = 0; !IsWindowEnabled(controls.button); waited += 10) {
    if (waited > settings.timeout_ms) {
      std::fprintf(stderr, "vxt_window_driver: the button stays disabled\n");
      return false;
    }
    Sleep(10);
  }
  for (int waited = 0; ShellHelperRunning() && waited < 20000; waited += 20) Sleep(20);
  DWORD_PTR ignored;
  if (!SendMessageTimeoutA(controls.log, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""), SMTO_NORMAL,
                           kAnswerLimitMs, &ignored)) {
    std::fprintf(stderr, "vxt_window_driver: the window does not answer\n");
    return false;
  }
  Sleep(20);  // the server and the window settle after the previous exchange

  const double start = NowMs();
  PostMessageA(controls.button, BM_CLICK, 0, 0);
  double line_at = -1, done_at = -1;
  long long last_length = -1;
  std::string log;
  while (done_at < 0) {
    const long long length = TextLength(controls.log);
    const double answered = NowMs();
    if (length < 0) {
      std::fprintf(stderr, "vxt_window_driver: no answer within %u ms\n", kAnswerLimitMs);
      return false;
    }
    if (length != last_length && length >= static_cast<long long>(tail.size())) {
      if (!Text(controls.log, static_cast<size_t>(length), log)) return false;
    }
    last_length = length;
    if (length >= static_cast<long long>(tail.size()) && EndsWith(log, tail)) {
      if (line_at < 0) line_at = answered;
      // Read after the answer: the button state cannot be older than the text.
      if (IsWindowEnabled(controls.button)) done_at = answered;
    }
    if (answered - start > settings.timeout_ms) {
      std::fprintf(stderr, "vxt_window_driver: no outcome after %d ms; the log holds \"%s\"\n",
                   settings.timeout_ms, Escape(log).c_str());
      return false;
    }
    if (settings.poll_ms > 0) Sleep(static_cast<DWORD>(settings.poll_ms));
  }
  if (!settings.wanted_log.empty() && log != settings.wanted_log) {
    std::fprintf(stderr, "vxt_window_driver: the log holds \"%s\", not \"%s\"\n",
                 Escape(log).c_str(), Escape(settings.wanted_log).c_str());
    return false;
  }
  line_ms = line_at - start;
  done_ms = done_at - start;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Target first, second;
  std::string line;
  RunSettings settings;
  int runs = 10, warmup = 2;
  bool close = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--caption" && next)
      first.caption = argv[++i];
    else if (arg == "--vs" && next)
      second.caption = argv[++i];
    else if (arg == "--line" && next)
      line = Unescape(argv[++i]);
    else if (arg == "--log" && next)
      settings.wanted_log = Unescape(argv[++i]);
    else if (arg == "--runs" && next)
      runs = std::atoi(argv[++i]);
    else if (arg == "--warmup" && next)
      warmup = std::atoi(argv[++i]);
    else if (arg == "--poll-ms" && next)
      settings.poll_ms = std::atoi(argv[++i]);
    else if (arg == "--timeout-ms" && next)
      settings.timeout_ms = std::atoi(argv[++i]);
    else if (arg == "--close")
      close = true;
    else {
      std::fprintf(stderr, "vxt_window_driver: unknown or incomplete argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (first.caption.empty() || (line.empty() && !(runs == 0 && close))) {
    std::fprintf(stderr, "usage: vxt_window_driver --caption TEXT --line TEXT [options]\n");
    return 2;
  }
  settings.tail = line + "\r\n";
  const bool close_only = runs == 0 && close;

  std::vector<Target*> targets{&first};
  if (!second.caption.empty()) targets.push_back(&second);
  for (Target* target : targets) {
    if (!Find(*target)) return 1;
    if (close_only) {
      PostMessageA(target->window, WM_CLOSE, 0, 0);
      continue;
    }
    EnumChildWindows(target->window, FindControls, reinterpret_cast<LPARAM>(&target->controls));
    if (!target->controls.button || !target->controls.log) {
      std::fprintf(stderr, "vxt_window_driver: \"%s\" has no button or no multi-line edit\n",
                   target->caption.c_str());
      return 1;
    }
  }
  if (close_only) return 0;

  std::vector<double> ratios;
  for (int run = 0; run < warmup + runs; ++run) {
    // In turn A B, then B A: neither window always follows the other's exchange.
    std::vector<Target*> order = targets;
    if (run % 2) std::reverse(order.begin(), order.end());
    for (Target* target : order) {
      double line_ms = 0, done_ms = 0;
      if (!Run(*target, settings, line_ms, done_ms)) return 1;
      if (run < warmup) continue;
      target->line_times.push_back(line_ms);
      target->done_times.push_back(done_ms);
      std::printf("%srun %d line %.3f done %.3f\n", target == &second ? "vs " : "",
                  run - warmup + 1, line_ms, done_ms);
      std::fflush(stdout);
    }
    if (run >= warmup && targets.size() == 2) {
      ratios.push_back(first.done_times.back() / second.done_times.back());
    }
  }
  for (Target* target : targets) {
    std::printf("%smedian line %.3f done %.3f\n", target == &second ? "vs " : "",
                Median(target->line_times), Median(target->done_times));
  }
  if (!ratios.empty()) std::printf("ratio median %.3f\n", Median(ratios));
  std::fflush(stdout);
  if (close) {
    for (Target* target : targets) PostMessageA(target->window, WM_CLOSE, 0, 0);
  }
  return 0;
}
