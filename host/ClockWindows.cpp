#include "host/Clock.h"

#include <windows.h>

namespace host {

std::uint32_t GetTickCount() {
    return static_cast<std::uint32_t>(::GetTickCount64());
}

} // namespace host
