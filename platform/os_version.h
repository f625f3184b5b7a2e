// The operating system's name and version as the dispatch log's header prints it.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Platform ids of the system's version query.
inline constexpr uint32_t kPlatformWin32s = 0;
inline constexpr uint32_t kPlatformWin9x = 1;
inline constexpr uint32_t kPlatformWinNT = 2;

// The text for the given version numbers: a name chosen from the platform id and the version,
// then "major.minor " and, for Win32s and the NT family, the service-pack text. Build is the
// whole build-number field (on Windows 9x it holds major, minor and build).
std::string OsVersionText(uint32_t PlatformId, uint32_t Major, uint32_t Minor, uint32_t Build,
                          const std::string& ServicePack);

// The text for the system this program runs on (its real version, not the one a compatibility
// layer reports to old programs).
std::string OsVersionText();

}  // namespace platform
