// A stand-in for a system DLL, planted beside the program under a system DLL's name. Loading it
// appends its own file name and CR LF to "planted-dll-loaded.txt" in its folder, and its
// initialisation then fails, so that the load fails too. It uses kernel32 alone and no C
// runtime: a planted msvcrt.dll must not be what it needs itself.
#include <windows.h>

extern "C" BOOL WINAPI PlantedDllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;
  DWORD name = length;
  while (name > 0 && path[name - 1] != L'\\') --name;

  static const wchar_t kMarker[] = L"planted-dll-loaded.txt";
  wchar_t marker[MAX_PATH + sizeof kMarker / sizeof kMarker[0]];
  for (DWORD i = 0; i < name; ++i) marker[i] = path[i];
  for (DWORD i = 0; i < sizeof kMarker / sizeof kMarker[0]; ++i) marker[name + i] = kMarker[i];

  char line[MAX_PATH + 2];
  DWORD used = 0;
  for (DWORD i = name; i < length; ++i) line[used++] = static_cast<char>(path[i]);
  line[used++] = '\r';
  line[used++] = '\n';
  const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, line, used, &written, nullptr);
    CloseHandle(file);
  }
  return FALSE;
}
