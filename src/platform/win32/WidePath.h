// A path handed to the wide Windows calls, and back: the one conversion between the held form
// of TPath and the UTF-16 of the system. Windows only.
#pragma once

#include <cstddef>
#include <string>

#include "platform/Path.h"

namespace vxt {

std::wstring WidePath(const TPath& path);
TPath PathOfWide(const wchar_t* units, size_t length);

}  // namespace vxt
