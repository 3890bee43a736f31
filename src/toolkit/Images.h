#pragma once
// The program's images: drawn as SVG, shipped rendered as PNG where our Qt has no SVG support.
namespace toolkit::images {

#ifdef _WIN32
inline constexpr const char* kOnline = ":/corvalite/online.png";
inline constexpr const char* kOffline = ":/corvalite/offline.png";
inline constexpr const char* kProgram = ":/corvalite/corvalite-update.png";
#else
inline constexpr const char* kOnline = ":/corvalite/online.svg";
inline constexpr const char* kOffline = ":/corvalite/offline.svg";
inline constexpr const char* kProgram = ":/corvalite/corvalite-update.svg";
#endif

}  // namespace toolkit::images
