// How the bytes of a script look on a Windows with a given ANSI code page.
// Scripts hold bytes, not characters: the programs hand them to the system
// as they are, and the system shows them in its own code page.
#pragma once
#include <string>
#include <vector>

namespace pkgcheck {

// The code page is one the tool can render (1252, 932, 936, 949, 950, ...).
bool IsKnownCodePage(int codePage);

// bytes as that Windows shows them, as UTF-8 for the terminal. A byte the
// code page does not define shows as U+FFFD; *valid (if given) tells
// whether there was none.
std::string RenderInCodePage(const std::string& bytes, int codePage, bool* valid = nullptr);

// Text the tool composed around bytes of the package, as that Windows shows
// it: ASCII as it stands, anything else decoded by the code page (U+FFFD
// for a byte it does not define).
std::string ShownText(const std::string& bytes, int codePage);

// The byte begins a two-byte character in that code page (Japanese,
// Chinese and Korean Windows); its second byte may be a backslash.
bool IsLeadByte(int codePage, unsigned char c);

// bytes are well-formed text of the double-byte code page (932, 936, 949
// or 950) with one double-byte character at least, each of them one that
// the page defines.
bool IsDoubleByteText(const std::string& bytes, int codePage);

// The double-byte code pages among 932, 936, 949 and 950 whose text the
// bytes are, where code page 1252 does not show them as Western text would
// be; empty otherwise.
std::vector<int> DoubleBytePagesOf(const std::string& bytes);

// bytes hold at least one multi-byte UTF-8 sequence and are valid UTF-8
// throughout: text saved by a modern editor, not by one of that time.
bool LooksLikeUtf8(const std::string& bytes);

// Scans by characters of the target's code page, as the programs make them:
// the framework's NextChar with the code page of the simulated PC in use
// (UseCodePage), so that a lead byte and its second byte, 0x5C or a comma
// as it may be, are one character. npos where there is none.
size_t FindChar(const std::string& s, char c, size_t from = 0);
size_t FindLastChar(const std::string& s, char c);
size_t FindTextAtChar(const std::string& s, const std::string& needle, size_t from = 0);
// The parts of s between the characters c.
std::vector<std::string> SplitAtChar(const std::string& s, char c);
// After the last backslash, slash or colon character: a file's name.
std::string FileNameOf(const std::string& windowsPath);

// A file name on the author's disk as the target's Windows names the file
// (on the CD, from its Joliet name): a UTF-8 name, what a Linux author's
// files have, in the bytes of the code page in use (UseCodePage), where it
// has them; any other name is taken to be those bytes already.
std::string TargetName(const std::string& diskName);

// A path below the package, parts separated by '/', as the target's
// Windows names it: TargetName of each part.
std::string TargetPath(const std::string& diskPath);
// Each part of a '/'-separated path, given to name.
std::string EachPathPart(const std::string& path, std::string (*name)(const std::string&));

// A text composed in UTF-8 (a finding's message) in the bytes of the code
// page, where it has them all; the text itself otherwise.
std::string EncodeInCodePage(const std::string& utf8, int codePage);

// Whether c begins a double-byte character in the code page in use
// (UseCodePage).
bool IsLeadByteInUse(unsigned char c);

// The code page that the scans above and the framework's own (NextChar)
// use while this object lives: the simulated PC's, for check and cd.
class UseCodePage {
public:
    explicit UseCodePage(int codePage);
    ~UseCodePage();
private:
    unsigned previous_;
};

} // namespace pkgcheck
