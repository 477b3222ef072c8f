// vxt_wine_call_costs: what one call of each kind on the window's path costs under Wine (or
// Windows), measured in place: a visible window of the real one's size with a log edit, a smooth
// progress bar and a button, a loopback connection whose peer has filled the receive queue, and a
// file on disk. Each row samples the call (see Row) and prints the median and the 10th
// percentile per call.
//
//   vxt_wine_call_costs.exe [--quick] [FOLDER]
//
// FOLDER takes the scratch file (default: the program's folder). Each row runs about 0.3 s;
// --quick about a fifth of that. Output: one line per row,
// "name<TAB>median us<TAB>10th percentile us<TAB>calls".
//
// winsock2.h before windows.h, which would otherwise pull in the old winsock.h; the common
// controls need windows.h first.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kBlock = 4096;

HWND main_window, log_edit, bar;
double ticks_per_us;
double target_ms = 300;
int scale = 1;

double NowUs() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticks_per_us;
}

// Processes every pending message the way a plain loop does.
int PumpAll() {
  MSG msg;
  int count = 0;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    ++count;
  }
  return count;
}

// The same with the dialog manager asked first, as the real window's pump does.
void PumpAllWithDialogManager() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(main_window, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

// Prints the median and the 10th percentile of the per-call time of body(i) from samples, each
// a batch of calls (one call when a call takes 5 us or more, otherwise enough for about 5 us),
// for about target_ms in all. With setup, setup(i) runs before each call, outside the timing, and
// each call is a sample of its own. A busy machine stretches most samples a little and a few a
// lot: the median is what a call costs on this machine now, the 10th percentile close to what it
// costs on an idle one.
void PrintRow(const char* name, std::vector<double>& samples, int calls) {
  std::sort(samples.begin(), samples.end());
  std::printf("%s\t%.2f\t%.2f\t%d\n", name, samples[samples.size() / 2],
              samples[samples.size() / 10], calls);
  std::fflush(stdout);
}

void Row(const char* name, const std::function<void(int)>& body,
         const std::function<void(int)>& setup = nullptr, int max_calls = 20000) {
  int next = 0;
  // A trial of a few calls, setup included, sizes the batches and the number of samples.
  const double trial_start = NowUs();
  double trial_body = 0;
  while (next < 1000 && (next < 3 || NowUs() - trial_start < 10000)) {
    if (setup) setup(next);
    const double start = NowUs();
    body(next++);
    trial_body += NowUs() - start;
  }
  const double with_setup = std::max((NowUs() - trial_start) / next, 0.01);
  const double per_call = std::max(trial_body / next, 0.01);
  const int batch = setup ? 1 : std::max(1, static_cast<int>(5 / per_call));
  const int wanted = std::clamp(static_cast<int>(target_ms * 1000 / with_setup), 11,
                                std::max(11, max_calls / scale));
  std::vector<double> samples;
  int calls = 0;
  while (calls < wanted) {
    if (setup) setup(next);
    const double start = NowUs();
    for (int i = 0; i < batch; ++i) body(next + i);
    samples.push_back((NowUs() - start) / batch);
    next += batch;
    calls += batch;
  }
  PrintRow(name, samples, calls);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void CreateWindowAndControls() {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  window_class.lpszClassName = "VXTCallCosts";
  RegisterClassA(&window_class);
  main_window = CreateWindowExA(0, "VXTCallCosts", "VXT call costs",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 100, 100,
                                365, 314, nullptr, nullptr, window_class.hInstance, nullptr);
  log_edit = CreateWindowExA(WS_EX_CLIENTEDGE, "Edit", "",
                             WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL,
                             8, 135, 333, 104, main_window, reinterpret_cast<HMENU>(104),
                             window_class.hInstance, nullptr);
  SendMessageA(log_edit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_SMOOTH, 8, 245, 333, 17,
                        main_window, reinterpret_cast<HMENU>(109), window_class.hInstance, nullptr);
  SendMessageA(bar, PBM_SETRANGE32, 0, 150000);
  ShowWindow(main_window, SW_SHOWNORMAL);
  UpdateWindow(main_window);
  PumpAll();
}

// A connected loopback pair: client is what the rows use; server is the peer.
bool ConnectedPair(SOCKET& client, SOCKET& server) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return false;
  }
  client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
  server = accept(listener, nullptr, nullptr);
  closesocket(listener);
  return server != INVALID_SOCKET;
}

int SelectReadable(SOCKET s, long usec) {
  fd_set set;
  set.fd_count = 1;
  set.fd_array[0] = s;
  timeval limit{0, usec};
  return select(0, &set, nullptr, nullptr, &limit);
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      scale = 10;
      target_ms = 60;
    } else
      folder = argv[i];
  }
  if (folder.empty()) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    folder = path;
    folder = folder.substr(0, folder.find_last_of("\\/"));
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  ticks_per_us = static_cast<double>(frequency.QuadPart) / 1e6;

  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  CreateWindowAndControls();
  std::printf("row\tmedian_us\tp10_us\tcalls\n");

  // --- Message queue ---
  MSG msg;
  Row("PeekMessageA PM_REMOVE, empty queue",
      [&](int) { PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); });
  Row("PeekMessageA PM_NOREMOVE, empty queue",
      [&](int) { PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); });
  Row("GetQueueStatus QS_ALLINPUT", [&](int) { GetQueueStatus(QS_ALLINPUT); });
  Row("GetInputState", [&](int) { GetInputState(); });
  Row("MsgWaitForMultipleObjects 0 handles, 0 ms",
      [&](int) { MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT); });
  Row("PostMessage + pump of that one message (Peek, Translate, Dispatch, Peek)", [&](int) {
    PostMessageA(main_window, WM_USER, 0, 0);
    PumpAll();
  });
  Row("the same through IsDialogMessage", [&](int) {
    PostMessageA(main_window, WM_USER, 0, 0);
    PumpAllWithDialogManager();
  });

  // --- Progress bar ---
  Row("GetDlgItem", [&](int) { GetDlgItem(main_window, 109); });
  Row("SendMessage PBM_GETRANGE", [&](int) { SendMessageA(bar, PBM_GETRANGE, FALSE, 0); });
  Row("SendMessage PBM_SETRANGE32, same range",
      [&](int) { SendMessageA(bar, PBM_SETRANGE32, 0, 150000); });
  Row("SendMessage PBM_SETPOS, same position",
      [&](int) { SendMessageA(bar, PBM_SETPOS, 4096, 0); });
  Row("SendMessage PBM_SETPOS, new position (the bar repaints at once)",
      [&](int i) { SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>((i * 4096) % 150000), 0); });
  PumpAll();
  SendMessageA(bar, WM_SETREDRAW, FALSE, 0);
  Row(
      "PBM_SETPOS new position under WM_SETREDRAW FALSE (no repaint)",
      [&](int i) { SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>((i * 4096) % 150000), 0); },
      nullptr);
  SendMessageA(bar, WM_SETREDRAW, TRUE, 0);
  PumpAll();
  Row("InvalidateRect(bar) + UpdateWindow(bar): one repaint of the bar", [&](int) {
    InvalidateRect(bar, nullptr, FALSE);
    UpdateWindow(bar);
  });

  // --- Log and button (per exchange) ---
  Row("GetWindowTextLengthW(log)", [&](int) { GetWindowTextLengthW(log_edit); });
  auto clear_every_third = [&](int i) {
    if (i % 3 == 0) SetWindowTextA(log_edit, "");
    PumpAll();
  };
  Row(
      "AppendLog to a log of 0-2 lines (length, EM_SETSEL, EM_REPLACESEL, EM_SCROLLCARET)",
      [&](int) {
        const LPARAM end = GetWindowTextLengthW(log_edit);
        SendMessageA(log_edit, EM_SETSEL, static_cast<WPARAM>(end), end);
        SendMessageA(log_edit, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>("Prijem podataka zavrsen\r\n"));
        SendMessageA(log_edit, EM_SCROLLCARET, 0, 0);
      },
      clear_every_third);
  Row(
      "  of which EM_REPLACESEL",
      [&](int) {
        SendMessageA(log_edit, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>("Prijem podataka zavrsen\r\n"));
      },
      clear_every_third);
  Row(
      "  of which EM_SCROLLCARET", [&](int) { SendMessageA(log_edit, EM_SCROLLCARET, 0, 0); },
      [&](int i) {
        clear_every_third(i);
        SendMessageA(log_edit, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>("Prijem podataka zavrsen\r\n"));
      });
  Row(
      "pump after an AppendLog (the log's repaint)", [&](int) { PumpAll(); },
      [&](int i) {
        if (i % 3 == 0) SetWindowTextA(log_edit, "");
        SendMessageA(log_edit, EM_REPLACESEL, FALSE,
                     reinterpret_cast<LPARAM>("Prijem podataka zavrsen\r\n"));
      });
  Row(
      "ClearLog of a 3-line log: SetWindowTextA(log, \"\") + UpdateWindow",
      [&](int) {
        SetWindowTextA(log_edit, "");
        UpdateWindow(log_edit);
      },
      [&](int) {
        SetWindowTextA(log_edit, "one\r\ntwo\r\nthree\r\n");
        PumpAll();
      });
  HWND button = CreateWindowExA(0, "Button", "Izvjestaj", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                127, 95, 75, 25, main_window, reinterpret_cast<HMENU>(101),
                                GetModuleHandleA(nullptr), nullptr);
  PumpAll();
  Row(
      "EnableWindow(button, FALSE) (the button repaints at once)",
      [&](int) { EnableWindow(button, FALSE); }, [&](int) { EnableWindow(button, TRUE); });
  Row(
      "EnableWindow(button, TRUE)", [&](int) { EnableWindow(button, TRUE); },
      [&](int) { EnableWindow(button, FALSE); });
  Row("GetFocus + GetActiveWindow", [&](int) {
    GetFocus();
    GetActiveWindow();
  });
  PumpAll();

  // --- Sockets ---
  SOCKET client, server;
  if (!ConnectedPair(client, server)) {
    std::fprintf(stderr, "vxt_wine_call_costs: no loopback connection (%d)\n", WSAGetLastError());
    return 1;
  }
  Row("select 0 ms, nothing waiting", [&](int) { SelectReadable(client, 0); });
  u_long waiting = 0;
  Row("ioctlsocket FIONREAD, nothing waiting",
      [&](int) { ioctlsocket(client, FIONREAD, &waiting); });
  Row("ioctlsocket FIONREAD + select 0 ms, nothing waiting", [&](int) {
    ioctlsocket(client, FIONREAD, &waiting);
    SelectReadable(client, 0);
  });
  char one_byte = 'x';
  send(server, &one_byte, 1, 0);
  while (SelectReadable(client, 100000) != 1) {
  }
  Row("select 0 ms, data waiting", [&](int) { SelectReadable(client, 0); });
  Row("ioctlsocket FIONREAD, data waiting", [&](int) { ioctlsocket(client, FIONREAD, &waiting); });
  recv(client, &one_byte, 1, 0);

  // recv rows: the peer fills the client's receive queue (outside the timing), then as many
  // 4096-byte receives as the queue holds whole blocks are timed; repeated until enough calls.
  static char block[kBlock];
  u_long non_blocking = 1;
  ioctlsocket(server, FIONBIO, &non_blocking);
  int buffer_size = 8 << 20;
  setsockopt(client, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&buffer_size),
             sizeof buffer_size);
  setsockopt(server, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer_size),
             sizeof buffer_size);
  std::vector<char> chunk(64 * 1024, 'A');
  auto recv_row = [&](const char* name, const std::function<void()>& body) {
    const int wanted = std::max(200, 4000 / scale);
    std::vector<double> samples;
    while (static_cast<int>(samples.size()) < wanted) {
      while (send(server, chunk.data(), static_cast<int>(chunk.size()), 0) > 0) {
      }
      Sleep(1);
      waiting = 0;
      ioctlsocket(client, FIONREAD, &waiting);
      const int blocks = static_cast<int>(waiting / kBlock);
      for (int i = 0; i < blocks; ++i) {
        const double start = NowUs();
        body();
        samples.push_back(NowUs() - start);
      }
    }
    PrintRow(name, samples, static_cast<int>(samples.size()));
  };
  recv_row("recv 4096, data waiting", [&] { recv(client, block, kBlock, 0); });
  recv_row("select 0 ms + recv 4096, data waiting", [&] {
    SelectReadable(client, 0);
    recv(client, block, kBlock, 0);
  });
  recv_row("ioctlsocket FIONREAD + recv 4096, data waiting", [&] {
    ioctlsocket(client, FIONREAD, &waiting);
    recv(client, block, kBlock, 0);
  });
  shutdown(server, SD_SEND);
  closesocket(client);
  closesocket(server);

  // --- File ---
  const std::string path = folder + "\\vxt_call_costs.tmp";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "vxt_wine_call_costs: cannot create %s\n", path.c_str());
  } else {
    Row(
        "WriteFile 4096",
        [&](int) {
          DWORD put;
          WriteFile(file, block, kBlock, &put, nullptr);
        },
        [&](int i) {
          // The file restarts every 64 MiB, so that the row does not fill the disk.
          if (i % 16384 == 0) {
            SetFilePointer(file, 0, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
          }
        });
    CloseHandle(file);
  }
  Row("CreateFileA CREATE_ALWAYS + CloseHandle", [&](int) {
    CloseHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  });
  Row("GetFileAttributesA", [&](int) { GetFileAttributesA(path.c_str()); });
  DeleteFileA(path.c_str());

  // --- Plain process services ---
  Row(
      "QueryPerformanceCounter",
      [&](int) {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
      },
      nullptr, 1000000);
  Row(
      "std::chrono::steady_clock::now", [&](int) { (void)std::chrono::steady_clock::now(); },
      nullptr, 1000000);
  Row(
      "GetCurrentThreadId", [&](int) { (void)GetCurrentThreadId(); }, nullptr, 1000000);
  std::mutex mutex;
  Row(
      "std::mutex lock + unlock",
      [&](int) {
        mutex.lock();
        mutex.unlock();
      },
      nullptr, 1000000);
  Row(
      "std::vector<uint8_t>(4096) (allocate, zero, free)",
      [&](int) {
        std::vector<uint8_t> bytes(kBlock);
        block[0] = static_cast<char>(bytes[0]);
      },
      nullptr, 1000000);
  Row("C++ throw + catch of an exception with a std::string", [&](int i) {
    try {
      if (i >= 0) throw std::runtime_error("Connection Closed Gracefully.");
    } catch (const std::exception& e) {
      block[0] = e.what()[0];
    }
  });

  // --- Per exchange ---
  Row("std::thread start + join (the connect worker)", [&](int) {
    std::thread worker([] {});
    worker.join();
  });
  Row("condition_variable wait_until, already finished", [&](int) {
    std::condition_variable changed;
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(125),
                       [] { return true; });
  });
  {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 64);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    SOCKET s = INVALID_SOCKET, accepted = INVALID_SOCKET;
    auto close_both = [&](int) {
      if (s != INVALID_SOCKET) closesocket(s);
      if (accepted != INVALID_SOCKET) closesocket(accepted);
      s = accepted = INVALID_SOCKET;
    };
    Row(
        "socket", [&](int) { s = socket(AF_INET, SOCK_STREAM, 0); }, close_both, 2000);
    close_both(0);
    Row(
        "socket + bind + setsockopt + connect + getsockname + getpeername",
        [&](int) {
          s = socket(AF_INET, SOCK_STREAM, 0);
          sockaddr_in any{};
          any.sin_family = AF_INET;
          bind(s, reinterpret_cast<sockaddr*>(&any), sizeof any);
          BOOL on = TRUE;
          setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
          connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
          sockaddr_in seen{};
          int seen_length = sizeof seen;
          getsockname(s, reinterpret_cast<sockaddr*>(&seen), &seen_length);
          seen_length = sizeof seen;
          getpeername(s, reinterpret_cast<sockaddr*>(&seen), &seen_length);
        },
        [&](int i) {
          // The peer's accept of the previous connection, outside the timing.
          if (s != INVALID_SOCKET) accepted = accept(listener, nullptr, nullptr);
          close_both(i);
        },
        2000);
    if (s != INVALID_SOCKET) accepted = accept(listener, nullptr, nullptr);
    close_both(0);
    Row(
        "shutdown + closesocket",
        [&](int) {
          shutdown(s, SD_SEND);
          closesocket(s);
          s = INVALID_SOCKET;
        },
        [&](int i) {
          close_both(i);
          s = socket(AF_INET, SOCK_STREAM, 0);
          connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
          accepted = accept(listener, nullptr, nullptr);
        },
        2000);
    close_both(0);
    closesocket(listener);
  }
  DestroyWindow(main_window);
  WSACleanup();
  return 0;
}
