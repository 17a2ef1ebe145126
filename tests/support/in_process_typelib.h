#pragma once
// The system's type-library loader run in the test's own process: the
// baseline the program's header reader is held to. The program itself only
// runs the loader in its helper.

#include "inspection/typelib_info.h"

#include <optional>
#include <string>

namespace calvorn::test {

std::optional<inspection::TypeLibInfo> LoadTypeLibInProcess(const std::wstring& path);

} // namespace calvorn::test
