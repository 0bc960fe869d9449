// Asset file writing, PNG replacement and unpacking for quab-assets. Inputs are checked whole
// before anything is written; outputs go to a temporary name and are renamed into place.
#include "tools/builder/asset_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <png.h>
#include <sys/stat.h>

#include "tools/builder/png_export.h"
#include "tools/builder/png_import.h"
#include "tools/common/output_file.h"
#include "tools/common/streams.h"
#include "tools/show_files/show_files.h"

namespace {

int complain(int status, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "quab-assets: %s\n", message.c_str());
    return status;
}

// The name unpack gives asset n's picture: its number and what it is, "18-scene7-word-1.png".
std::string png_name(int n) {
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.png", n, ASSET_MAP[n].name);
    return name;
}

// The plain name build --from also takes: "18.png".
std::string plain_png_name(int n) {
    char name[8];
    std::snprintf(name, sizeof name, "%02d.png", n);
    return name;
}

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// A PNG in dir that starts like a picture's name ("18-" and ends in ".png") but is neither of
// asset 18's names: most likely a picture renamed by hand, which would otherwise be left out
// without a word. Returns its name, or an empty string.
std::string misnamed_picture(const char* dir, int* asset) {
    DIR* d = opendir(dir);
    if (!d)
        return "";
    std::string found;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() < 8 || name.compare(name.size() - 4, 4, ".png") != 0 || name[2] != '-' ||
            name[0] < '0' || name[0] > '9' || name[1] < '0' || name[1] > '9')
            continue;
        int n = (name[0] - '0') * 10 + (name[1] - '0');
        if (n < ASSET_COUNT && name != png_name(n)) {
            found = name;
            *asset = n;
            break;
        }
    }
    closedir(d);
    return found;
}

// Reads a PNG whole. Sets *missing when it does not exist; other failures give a reason. What
// is not a PNG is refused on its first eight bytes, and one larger than any asset's picture
// before it is read, whatever the name leads to (a device, a FIFO, a sparse file).
bool read_png_file(const std::string& path, std::vector<unsigned char>* bytes, bool* missing,
                   std::string* reason) {
    *missing = false;
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    if (!input_is_regular_file(path.c_str(), reason)) {
        *reason = "not a regular file";
        return false;
    }
    struct stat st;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *missing = errno == ENOENT;
        *reason = std::strerror(errno);
        return false;
    }
    if (fstat(fileno(f), &st) == 0 &&
        static_cast<std::uint64_t>(st.st_size) > PNG_IMPORT_MAX_FILE_BYTES) {
        std::fclose(f);
        *reason = "larger than " + std::to_string(PNG_IMPORT_MAX_FILE_BYTES >> 20) +
                  " MB; no asset's picture is";
        return false;
    }
    bytes->clear();
    unsigned char chunk[65536];
    std::size_t got;
    bool ok = true;
    while (ok && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + got);
        if (bytes->size() >= 8 && png_sig_cmp(bytes->data(), 0, 8) != 0) {
            *reason = "not a PNG (no PNG signature)";
            ok = false;
        } else if (bytes->size() > PNG_IMPORT_MAX_FILE_BYTES) {
            *reason = "larger than " + std::to_string(PNG_IMPORT_MAX_FILE_BYTES >> 20) +
                      " MB; no asset's picture is";
            ok = false;
        }
    }
    if (ok && std::ferror(f)) {
        *reason = std::string("cannot read: ") + std::strerror(errno);
        ok = false;
    }
    std::fclose(f);
    return ok;
}

} // namespace

int write_asset_images(const char* path, const AssetImages& images) {
    OutputFile out;
    std::string reason;
    if (!output_open(path, &out, &reason))
        return complain(EXIT_FAILED, reason);
    for (const std::vector<Pixel>& image : images) {
        if (!write_asset_record(out.f, image.data(), image.size())) {
            reason = std::string(path) + ": cannot write: " + std::strerror(errno ? errno : EIO);
            output_discard(&out);
            return complain(EXIT_FAILED, reason);
        }
    }
    if (!output_commit(&out, &reason))
        return complain(EXIT_FAILED, reason);
    return EXIT_OK;
}

int replace_from_pngs(const char* dir, AssetImages* images) {
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
        return complain(EXIT_BAD_INPUT, std::string(dir) + ": not a directory of pictures");
    int misnamed_asset = 0;
    std::string misnamed = misnamed_picture(dir, &misnamed_asset);
    if (!misnamed.empty())
        return complain(EXIT_BAD_INPUT,
                        std::string(dir) + "/" + misnamed + ": not a name of asset " +
                            std::to_string(misnamed_asset) + "; name it " +
                            png_name(misnamed_asset) + " or " + plain_png_name(misnamed_asset));
    std::vector<unsigned char> bytes;
    int replaced = 0;
    for (int n = 0; n < ASSET_COUNT; n++) {
        std::string named = std::string(dir) + "/" + png_name(n);
        std::string plain = std::string(dir) + "/" + plain_png_name(n);
        bool has_named = file_exists(named);
        if (has_named && file_exists(plain))
            return complain(EXIT_BAD_INPUT, plain + " and " + named + " are both asset " +
                                                std::to_string(n) + "; keep one of them");
        std::string path = has_named ? named : plain;
        bool missing = false;
        std::string reason;
        if (!read_png_file(path, &bytes, &missing, &reason)) {
            if (missing)
                continue;
            return complain(EXIT_BAD_INPUT, path + ": " + reason);
        }
        PngImage png;
        char error[200];
        if (!png_import(bytes.data(), bytes.size(), &png, error, sizeof error))
            return complain(EXIT_BAD_INPUT, path + ": " + error);
        const AssetShape& shape = ASSET_MAP[n];
        if (png.width != shape.width || png.height != shape.height) {
            std::free(png.pixels);
            return complain(EXIT_BAD_INPUT, path + ": the picture is " + std::to_string(png.width) +
                                                "x" + std::to_string(png.height) + "; asset " +
                                                std::to_string(n) + " (" + shape.role + ") needs " +
                                                std::to_string(shape.width) + "x" +
                                                std::to_string(shape.height));
        }
        (*images)[n].assign(png.pixels, png.pixels + static_cast<std::size_t>(png.width) *
                                                         static_cast<std::size_t>(png.height));
        std::free(png.pixels);
        std::printf("asset %d from %s\n", n, path.c_str());
        replaced++;
    }
    std::printf("%d of %d assets from %s\n", replaced, ASSET_COUNT, dir);
    return EXIT_OK;
}

// The pictures of an earlier unpack that a new one would replace, in one line ("" when none):
// the first few by name, then how many more.
std::string pictures_in_the_way(const char* outdir) {
    constexpr int NAMED = 3;
    std::vector<std::string> found;
    for (int n = 0; n < ASSET_COUNT; n++) {
        std::string path = std::string(outdir) + "/" + png_name(n);
        struct stat st;
        if (lstat(path.c_str(), &st) == 0)
            found.push_back(path);
    }
    std::string line;
    for (std::size_t i = 0; i < found.size() && i < NAMED; i++)
        line += (i == 0 ? "" : (i + 1 == found.size() ? " and " : ", ")) + found[i];
    if (found.size() > NAMED)
        line += " and " + std::to_string(found.size() - NAMED) + " more pictures";
    if (!found.empty())
        line += found.size() == 1 ? " already exists" : " already exist";
    return line;
}

int unpack_asset_file(const char* in_path, const char* outdir, bool force) {
    std::uint32_t* lengths = nullptr;
    std::string error;
    AssetTable table = load_show_assets(in_path, &error, &lengths);
    if (!table)
        return complain(EXIT_BAD_INPUT, error);
    // A picture already there may be a maker's edit: it is replaced only when asked for.
    std::string in_the_way = force ? "" : pictures_in_the_way(outdir);
    if (!in_the_way.empty()) {
        free_asset_table(table);
        std::free(lengths);
        return complain(EXIT_BAD_INPUT, in_the_way + "; unpack --force replaces them");
    }
    std::size_t count = asset_count(table);
    if (count > ASSET_COUNT)
        std::printf("%s: %zu records after the first %d are not part of the show; left out\n",
                    in_path, count - ASSET_COUNT, ASSET_COUNT);

    int status = EXIT_OK;
    struct stat st;
    if (stat(outdir, &st) != 0 && mkdir(outdir, 0777) != 0) {
        status =
            complain(EXIT_FAILED, std::string(outdir) + ": cannot create: " + std::strerror(errno));
    }
    for (int n = 0; n < ASSET_COUNT && status == EXIT_OK; n++) {
        if (lengths[n] > asset_bytes_needed(n))
            std::printf("asset %d: %u bytes beyond its %dx%d Pixels are left out\n", n,
                        lengths[n] - asset_bytes_needed(n), ASSET_MAP[n].width,
                        ASSET_MAP[n].height);
        // Chunks are loaded byte for byte; the words are little-endian whatever the host.
        const std::uint8_t* b = table[n];
        std::size_t pixel_count = asset_bytes_needed(n) / 4;
        std::vector<Pixel> pixels(pixel_count);
        for (std::size_t i = 0; i < pixel_count; i++)
            pixels[i] = static_cast<Pixel>(b[4 * i]) | static_cast<Pixel>(b[4 * i + 1]) << 8 |
                        static_cast<Pixel>(b[4 * i + 2]) << 16 |
                        static_cast<Pixel>(b[4 * i + 3]) << 24;
        std::string path = std::string(outdir) + "/" + png_name(n);
        std::string reason;
        if (!png_export(path.c_str(), pixels.data(), ASSET_MAP[n].width, ASSET_MAP[n].height,
                        &reason))
            status = complain(EXIT_FAILED, reason);
    }
    free_asset_table(table);
    std::free(lengths);
    if (status == EXIT_OK)
        std::printf("%d pictures in %s\n", ASSET_COUNT, outdir);
    return status;
}
