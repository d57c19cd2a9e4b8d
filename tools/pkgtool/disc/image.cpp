// The disc image, written by libisofs: ISO 9660 level 1 for readers without
// Joliet, Joliet for Windows 95, 98 and NT 4.0, no Rock Ridge (Windows
// ignores it). Every time in the image comes from the files or, where the
// image has its own, from the options, recorded in GMT: the same folder
// gives the same bytes on any machine. With SOURCE_DATE_EPOCH no file time
// is later than it, so two checkouts of one commit give one image.
#include "tools/pkgtool/disc/disc.h"

#include <cstdint>
#define LIBISOFS_WITHOUT_LIBBURN
#include <libisofs/libisofs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace pkgdisc {
namespace {

std::string Failed(const char* what, int code) { return std::string(what) + ": " + iso_error_to_msg(code); }

// libisofs's library state for one image, its messages kept off stderr.
class Library {
public:
    explicit Library(const ImageOptions& o) {
        ok_ = iso_init() >= 0;
        iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>("pkgtool"));
        iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
        time_t t = time_t(o.time);
        iso_nowtime(&t, o.fixedTime ? 1 : 2);
    }
    ~Library() {
        if (ok_) iso_finish();
    }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// No time later than SOURCE_DATE_EPOCH, as reproducible-builds.org defines
// it: a checkout's times come from when it was made, not from the sources.
void Clamp(IsoNode* node, time_t limit) {
    if (iso_node_get_mtime(node) > limit) iso_node_set_mtime(node, limit);
    if (iso_node_get_atime(node) > limit) iso_node_set_atime(node, limit);
    if (iso_node_get_ctime(node) > limit) iso_node_set_ctime(node, limit);
}

// The tree of `entries`. A probe gives each file a block of its own that
// holds its index instead of its bytes, to find it again in the image.
std::string BuildTree(IsoImage* image, const std::vector<Entry>& entries, const ImageOptions& o, bool probe) {
    std::map<std::string, IsoDir*> dirs{{"", iso_image_get_root(image)}};
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const size_t slash = e.path.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : e.path.substr(0, slash);
        const std::string name = e.path.substr(slash == std::string::npos ? 0 : slash + 1);
        auto dir = dirs.find(parent);
        if (dir == dirs.end()) continue; // below a folder left out
        if (!o.autorunText.empty() && parent.empty() && strcasecmp(name.c_str(), "AUTORUN.INF") == 0) continue;
        IsoNode* node = nullptr;
        int r;
        if (probe && !e.dir) {
            unsigned char* block = static_cast<unsigned char*>(calloc(1, 2048));
            memcpy(block, &i, sizeof i);
            IsoStream* stream = nullptr;
            r = iso_memory_stream_new(block, 2048, &stream);
            if (r < 0) free(block);
            if (r >= 0 && (r = iso_tree_add_new_file(dir->second, name.c_str(), stream,
                                                     reinterpret_cast<IsoFile**>(&node))) < 0)
                iso_stream_unref(stream);
        } else {
            // By the entry's own name, as the disc names it: a followed link's source has the name of what it leads to.
            r = iso_tree_add_new_node(image, dir->second, name.c_str(), fs::absolute(e.source).c_str(), &node);
        }
        if (r < 0) return Failed(("cannot add " + e.source).c_str(), r);
        // What changed since the tree was read; a folder that is none would
        // be written into as one.
        if (e.dir != ISO_NODE_IS_DIR(node) || (!e.dir && !ISO_NODE_IS_FILE(node)))
            return "cannot add " + e.source + ": it is no longer a " + (e.dir ? "folder" : "file");
        if (o.fixedTime) Clamp(node, time_t(o.time));
        if (e.dir) dirs[e.path] = reinterpret_cast<IsoDir*>(node);
    }
    if (!o.autorunText.empty()) {
        // In a probe its block holds the index after the last entry's.
        const size_t n = probe ? 2048 : o.autorunText.size(), index = entries.size();
        unsigned char* bytes = static_cast<unsigned char*>(calloc(1, n));
        if (probe)
            memcpy(bytes, &index, sizeof index);
        else
            memcpy(bytes, o.autorunText.data(), n);
        IsoStream* stream = nullptr;
        int r = iso_memory_stream_new(bytes, n, &stream);
        if (r < 0) free(bytes);
        if (r >= 0 && (r = iso_tree_add_new_file(iso_image_get_root(image), "AUTORUN.INF", stream, nullptr)) < 0)
            iso_stream_unref(stream);
        if (r < 0) return Failed("cannot add AUTORUN.INF", r);
    }
    return "";
}

std::string WriteTree(const std::vector<Entry>& entries, const ImageOptions& o, bool probe, const std::string& file,
                      uint64_t& bytes) {
    IsoImage* image = nullptr;
    int r = iso_image_new(o.label.c_str(), &image);
    if (r < 0) return Failed("cannot start the image", r);
    iso_image_set_volume_id(image, o.label.c_str());
    iso_image_set_application_id(image, "");
    iso_image_set_data_preparer_id(image, "");
    std::string error = BuildTree(image, entries, o, probe);
    if (o.fixedTime) Clamp(reinterpret_cast<IsoNode*>(iso_image_get_root(image)), time_t(o.time));
    IsoWriteOpts* w = nullptr;
    if (error.empty() && (r = iso_write_opts_new(&w, 0)) < 0) error = Failed("cannot set the image up", r);
    if (error.empty()) {
        iso_write_opts_set_iso_level(w, 1);
        iso_write_opts_set_joliet(w, 1);
        iso_write_opts_set_rockridge(w, 0);
        iso_write_opts_set_dir_rec_mtime(w, 7); // the files' own times in both trees
        iso_write_opts_set_always_gmt(w, 1);
        iso_write_opts_set_no_force_dots(w, 2); // Joliet names as written: README, not README.
        char uuid[32] = "";
        if (o.fixedTime) {
            const time_t t = time_t(o.time);
            strftime(uuid, sizeof uuid, "%Y%m%d%H%M%S00", gmtime(&t));
        }
        iso_write_opts_set_pvd_times(w, time_t(o.time), time_t(o.time), 0, 0, uuid);
        burn_source* source = nullptr;
        if ((r = iso_image_create_burn_source(image, w, &source)) < 0) {
            error = Failed("cannot lay the image out", r);
        } else {
            const std::string part = file + ".part";
            FILE* out = fopen(part.c_str(), "wb");
            unsigned char block[2048];
            int got;
            auto read = source->read ? source->read : source->read_xt;
            bytes = 0;
            while ((got = read(source, block, sizeof block)) > 0) {
                if (out && fwrite(block, 1, size_t(got), out) != size_t(got)) {
                    fclose(out);
                    out = nullptr;
                }
                bytes += uint64_t(got);
            }
            const bool written = out && fclose(out) == 0 && got == 0;
            source->free_data(source);
            free(source);
            std::error_code ec;
            if (!written)
                error = "cannot write " + part;
            else
                fs::rename(part, file, ec);
            if (written && ec) error = "cannot write " + file + ": " + ec.message();
            if (!error.empty()) fs::remove(part, ec);
        }
        iso_write_opts_free(w);
    }
    iso_image_unref(image);
    return error;
}

// Each file of an image by the block its data starts at, as one tree names it.
void ReadTree(IsoDir* dir, const std::string& at, std::map<uint32_t, std::string>& files) {
    IsoDirIter* it = nullptr;
    if (iso_dir_get_children(dir, &it) < 0) return;
    IsoNode* node = nullptr;
    while (iso_dir_iter_next(it, &node) == 1) {
        const std::string path = at + (at.empty() ? "" : "/") + iso_node_get_name(node);
        uint32_t lba = 0;
        if (ISO_NODE_IS_FILE(node) && iso_file_get_old_image_lba(reinterpret_cast<IsoFile*>(node), &lba, 0) == 1)
            files[lba] = path;
        else if (ISO_NODE_IS_DIR(node))
            ReadTree(reinterpret_cast<IsoDir*>(node), path, files);
    }
    iso_dir_iter_free(it);
}

std::string ReadBack(const std::string& file, bool joliet, std::map<uint32_t, std::string>& files) {
    IsoImage* image = nullptr;
    IsoDataSource* source = nullptr;
    IsoReadOpts* opts = nullptr;
    int r = iso_image_new("", &image);
    if (r >= 0) r = iso_data_source_new_from_file(file.c_str(), &source);
    if (r >= 0) r = iso_read_opts_new(&opts, 0);
    if (r >= 0) {
        iso_read_opts_set_no_rockridge(opts, 1);
        iso_read_opts_set_no_iso1999(opts, 1);
        iso_read_opts_set_no_joliet(opts, !joliet);
        iso_read_opts_set_ecma119_map(opts, 0); // as recorded: SETUP.INI;1
        r = iso_image_import(image, source, opts, nullptr);
    }
    if (r >= 0) ReadTree(iso_image_get_root(image), "", files);
    if (opts) iso_read_opts_free(opts);
    if (source) iso_data_source_unref(source);
    if (image) iso_image_unref(image);
    return r < 0 ? Failed("cannot read the image back", r) : "";
}

// Splits "A/B/C" into its parts.
std::vector<std::string> Parts(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t slash = path.find('/', start);
        parts.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

// Names of each entry from a probe image: a file's block holds its index;
// a folder takes its names from the files below it.
std::string NamesFromProbe(const std::vector<Entry>& entries, const std::string& probe,
                           std::map<std::string, DiscName>& names) {
    std::map<uint32_t, std::string> iso, joliet;
    std::string error = ReadBack(probe, false, iso);
    if (error.empty()) error = ReadBack(probe, true, joliet);
    if (!error.empty()) return error;
    std::ifstream in(probe, std::ios::binary);
    auto indexAt = [&](uint32_t lba) {
        size_t i = ~size_t(0);
        in.seekg(std::streamoff(lba) * 2048);
        in.read(reinterpret_cast<char*>(&i), sizeof i);
        return in ? i : ~size_t(0);
    };
    for (int tree = 0; tree < 2; ++tree) {
        for (const auto& f : tree ? joliet : iso) {
            const size_t i = indexAt(f.first);
            if (i > entries.size() || (i < entries.size() && entries[i].dir)) continue;
            const std::vector<std::string> from = Parts(i == entries.size() ? "AUTORUN.INF" : entries[i].path),
                                           to = Parts(f.second);
            if (from.size() != to.size()) continue;
            std::string at, written;
            for (size_t k = 0; k < from.size(); ++k) {
                at += (k ? "/" : "") + from[k];
                written += (k ? "/" : "") + to[k];
                (tree ? names[at].joliet : names[at].iso) = written;
            }
        }
    }
    return "";
}

} // namespace

ImageResult WriteImage(const std::vector<Entry>& entries, const ImageOptions& options, const std::string& file) {
    ImageResult result;
    Library library(options);
    if (!library.ok()) {
        result.error = "libisofs cannot start";
        return result;
    }
    const std::string probe = file + ".names";
    uint64_t probeBytes = 0;
    result.error = WriteTree(entries, options, true, probe, probeBytes);
    if (result.error.empty()) result.error = NamesFromProbe(entries, probe, result.names);
    std::error_code ec;
    fs::remove(probe, ec);
    if (result.error.empty()) result.error = WriteTree(entries, options, false, file, result.bytes);
    return result;
}

} // namespace pkgdisc
