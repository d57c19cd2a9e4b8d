// File names as the CD's two directory trees hold them, and the rules of
// the time that decide what the targets can read of a name. Each rule cites
// its source; where none was found the comment says so.
#pragma once
#include <cstddef>
#include <string>

namespace pkgdisc {

// Joliet: a file or directory identifier of up to 128 bytes of UCS-2, 64
// characters (the Joliet CD-ROM recording document, Microsoft, 22 May 1995,
// in the Windows 95 DDK; Knowledge Base Q142372). Windows 95 and NT 4.0 read Joliet, NT
// 3.51 does not (Q142372).
constexpr size_t kJolietNameMax = 64;
// Joliet: a path of at most 240 bytes, 120 UCS-2 characters counted with a
// backslash before each name. The Joliet document's own text on this
// was not found; libisofs documents the limit ("paths in the Joliet
// tree ... more than 240"), counts it so, and leaves a longer path out of
// the Joliet tree, so Windows does not see it.
constexpr size_t kJolietPathMax = 120;
// ISO 9660: at most 8 directory levels, the root being the first
// (ECMA-119 6.8.2.1; Q142372: "cannot exceed 8 levels from the root").
// Joliet lifts the limit (the Joliet document), so only a reader without
// Joliet misses a deeper file: libisofs leaves it out of the ISO 9660 tree.
constexpr int kIsoLevelsMax = 8;
// The volume label. The primary volume descriptor holds 32 d-characters
// (A-Z, 0-9, _; ECMA-119 8.4.5, 7.4.1), Joliet's 16 UCS-2 characters (the
// same 32-byte field). A FAT label holds 11, the 8 and 3 bytes of a
// directory entry (Knowledge Base Q125019). How much of a longer CD label
// Windows 95, 98 and NT 4.0 show, no source of the time was found to say:
// a label of 11 d-characters is shown whole by every reading.
constexpr size_t kLabelMax = 11;

// The characters of a name (UTF-8) that Joliet refuses: control characters
// and * / : ; ? \ (the Joliet document, "Allowed Character Set"), each
// once in the order met; "\ufffd" stands for bytes that are no UTF-8 and
// for characters beyond UCS-2, which it cannot hold either.
std::string JolietRefused(const std::string& name);

// The name's length in UCS-2 characters; invalid bytes count one each.
size_t Ucs2Length(const std::string& name);

// The key under which Windows takes two names of one folder as one: the
// first 64 characters Joliet keeps, refused characters as the '_' libisofs
// writes for them, ASCII letters in one case (Windows matches names without
// regard to case).
std::string SameNameKey(const std::string& name);

// A name on this disk as the disc names it, in UTF-8: a UTF-8 name as it is
// (a Linux author's files), any other as the target's code page reads its
// bytes (a name written by a tool of the target's language). Joliet holds
// it as UCS-2, which Windows converts to its ANSI code page when a program
// asks: the target then sees the bytes its scripts write. Of Windows 95/98
// in Japanese and their reading of Joliet, no document of the time was
// found beyond the UCS-2 of the Joliet standard (Q142372 names no code page).
std::string NameOnDisc(const std::string& diskName);
// Each part of a '/'-separated path below the root, so.
std::string PathOnDisc(const std::string& diskPath);

// Why a volume label does not fit (empty when it fits), and the label
// made from a folder's name when none is given.
std::string LabelProblem(const std::string& label);
std::string LabelFromName(const std::string& name);

} // namespace pkgdisc
