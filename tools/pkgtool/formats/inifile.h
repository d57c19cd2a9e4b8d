// One INI file of a package as the programs see it: values come from the
// same profile reader the programs use on the host, and a light scan of the
// lines maps each section and key to the line the reader takes it from
// (the first section of a name; within it, the first key of a name).
// Lines beginning with ';' are left out of the scan: authors mean them as
// comments, and no program asks for a key that begins with ';'.
#pragma once
#include <string>
#include <vector>

namespace pkgcheck {

struct IniKey {
    int line = 0;
    std::string name;  // trimmed, as the reader compares it
    bool hasEquals = false;
};

struct IniSection {
    int line = 0;      // of the header; 0 for the lines before any header
    std::string name;  // trimmed
    std::vector<IniKey> keys;
};

struct IniBadHeader {
    int line = 0;
    std::string text;
};

// A byte order mark the file begins with. Wine's reader decodes both kinds;
// the target systems do not all do so.
enum class TextMark { kNone, kUtf8, kUtf16 };

class IniFile {
public:
    // False when the file cannot be read.
    bool Load(const std::string& path);
    // For tests and tools that already hold the bytes.
    void SetText(const std::string& bytes);

    // The value exactly as a program with a buffer of `size` bytes reads it.
    std::string Read(const std::string& section, const std::string& key, size_t size) const;
    // The value as written, whatever its length.
    std::string ReadWhole(const std::string& section, const std::string& key) const;

    // Every section in file order, duplicates included.
    const std::vector<IniSection>& Sections() const { return sections_; }
    // The section the reader takes for a name, or null.
    const IniSection* FindSection(const std::string& name) const;
    // The line the reader takes the key from; 0 when absent.
    int KeyLine(const std::string& section, const std::string& key) const;
    // Lines beginning with '[' that the reader does not take as a header.
    const std::vector<IniBadHeader>& BadHeaders() const { return badHeaders_; }
    TextMark Mark() const { return mark_; }
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    TextMark mark_ = TextMark::kNone;
    std::string unmarked_; // a UTF-8 file without its mark, as the targets read the rest
    bool readsUnmarked_ = false;
    std::vector<IniSection> sections_;
    std::vector<IniBadHeader> badHeaders_;
};

// Names as the reader compares them: ASCII letters without regard to case.
bool SameName(const std::string& a, const std::string& b);
// Trimmed and in small letters: one spelling per name the reader takes as the same.
std::string FoldedName(const std::string& s);
// Trimmed of the blanks the reader trims from names and values.
std::string TrimBlanks(const std::string& s);

} // namespace pkgcheck
