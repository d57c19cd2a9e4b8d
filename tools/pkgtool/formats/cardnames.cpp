#include "tools/pkgtool/formats/cardnames.h"

#include <cstdio>

#ifdef HAVE_LIBPCI
#include <csetjmp>
extern "C" {
#include <pci/pci.h>
}
#endif

namespace {

std::string g_idsFile;

#ifdef HAVE_LIBPCI
std::jmp_buf g_failed;

// libpci reports a database it cannot parse through this hook, which must
// not return; without it the library would end the tool.
__attribute__((noreturn)) void OnError(char*, ...) { std::longjmp(g_failed, 1); }
void Quiet(char*, ...) {}

struct Database {
    pci_access* access = nullptr;
    bool unusable = false;

    void Open() {
        access = pci_alloc();
        access->error = OnError;
        access->warning = Quiet;
        access->debug = Quiet;
        if (!g_idsFile.empty()) pci_set_name_list_path(access, const_cast<char*>(g_idsFile.c_str()), 0);
    }
    void Close() {
        if (access) pci_cleanup(access);
        access = nullptr;
        unusable = false;
    }
    // One lookup of the local file only: no network, no udev database, no
    // numbers in place of a name.
    std::string Lookup(int flags, unsigned vendor, unsigned device) {
        if (unusable) return "";
        if (!access) Open();
        char buffer[512];
        if (setjmp(g_failed) != 0) {
            pci_free_name_list(access);
            unusable = true;
            return "";
        }
        const char* name = pci_lookup_name(access, buffer, sizeof buffer,
                                           flags | PCI_LOOKUP_NO_NUMBERS | PCI_LOOKUP_NO_HWDB, vendor, device);
        return name ? name : "";
    }
};

Database g_database;
#endif

} // namespace

void UsePciIdsFile(const std::string& path) {
#ifdef HAVE_LIBPCI
    g_database.Close();
#endif
    g_idsFile = path;
}

std::string PciCardName(unsigned vendor, unsigned device) {
#ifdef HAVE_LIBPCI
    std::string v = g_database.Lookup(PCI_LOOKUP_VENDOR, vendor & 0xFFFF, 0);
    if (v.empty()) return "";
    std::string d = g_database.Lookup(PCI_LOOKUP_DEVICE, vendor & 0xFFFF, device & 0xFFFF);
    return d.empty() ? v : v + " " + d;
#else
    (void)vendor, (void)device;
    return "";
#endif
}

bool PciNamesBuiltIn() {
#ifdef HAVE_LIBPCI
    return true;
#else
    return false;
#endif
}

std::string PciCardLabel(unsigned vendor, unsigned device) {
    char ids[16];
    snprintf(ids, sizeof ids, "%04X:%04X", vendor & 0xFFFF, device & 0xFFFF);
    std::string name = PciCardName(vendor, device);
    return name.empty() ? ids : std::string(ids) + " " + name;
}
