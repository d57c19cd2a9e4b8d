// The OS keys a script is read with, and what each version does with them.
#pragma once
#include "setup/oskind.h"
#include <string>

namespace pkgcheck {

enum class InstallRoute { kNone, kHelper, kApplet };

// Every kind that has an OS key, in the order of the version table.
extern const OsKind kKindsWithKeys[9];

// The kind whose OS key equals name without regard to case; kOsOther when none.
OsKind KindOfKey(const std::string& name);
InstallRoute RouteOf(OsKind kind);
bool IsNtKind(OsKind kind);

// The Windows versions of a kind, for messages: "Windows 98".
std::string WindowsOfKind(OsKind kind);

// Why a version gets its OS key, by the rows of the version table: "platform
// 1, version 4.0, service pack \" B\" (second character B)".
std::string OsKeyReason(unsigned long platform, unsigned long major, unsigned long minor, const std::string& csd);

} // namespace pkgcheck
