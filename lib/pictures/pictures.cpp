// Reading the show's pictures from a folder. Every picture is checked whole (readable, a PNG,
// the asset's shape) before any of it is used, so a half-written save is refused, not shown.
#include "lib/pictures/pictures.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <png.h>
#include <sys/stat.h>

#include "lib/pictures/png_import.h"
#include "lib/tool_common/streams.h"

namespace {

bool file_exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Reads a PNG whole. Sets *missing when it does not exist; other failures give a reason. What
// is not a PNG is refused on its first eight bytes, and one larger than any asset's picture
// before it is read, whatever the name leads to (a device, a FIFO, a sparse file).
Result read_png_file(const std::string& path, std::vector<unsigned char>* bytes, bool* missing) {
    *missing = false;
    // Looked at before it is opened: opening a FIFO would wait for a writer.
    if (!input_is_regular_file(path.c_str()).ok)
        return Result::fail("not a regular file");
    struct stat st;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *missing = errno == ENOENT;
        return Result::fail(std::strerror(errno));
    }
    if (fstat(fileno(f), &st) == 0 &&
        static_cast<std::uint64_t>(st.st_size) > PNG_IMPORT_MAX_FILE_BYTES) {
        std::fclose(f);
        return Result::fail("larger than " + std::to_string(PNG_IMPORT_MAX_FILE_BYTES >> 20) +
                            " MB; no asset's picture is");
    }
    bytes->clear();
    unsigned char chunk[65536];
    std::size_t got;
    Result read;
    while (read.ok && (got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + got);
        if (bytes->size() >= 8 && png_sig_cmp(bytes->data(), 0, 8) != 0)
            read = Result::fail("not a PNG (no PNG signature)");
        else if (bytes->size() > PNG_IMPORT_MAX_FILE_BYTES)
            read = Result::fail("larger than " + std::to_string(PNG_IMPORT_MAX_FILE_BYTES >> 20) +
                                " MB; no asset's picture is");
    }
    if (read.ok && std::ferror(f))
        read = Result::fail(std::string("cannot read: ") + std::strerror(errno));
    std::fclose(f);
    return read;
}

} // namespace

std::string picture_name(int n) {
    char name[64];
    std::snprintf(name, sizeof name, "%02d-%s.png", n, ASSET_MAP[n].name);
    return name;
}

std::string plain_picture_name(int n) {
    char name[8];
    std::snprintf(name, sizeof name, "%02d.png", n);
    return name;
}

std::string misnamed_picture(const char* dir) {
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
        if (n < ASSET_COUNT && name != picture_name(n)) {
            found = std::string(dir) + "/" + name + ": not a name of asset " + std::to_string(n) +
                    "; name it " + picture_name(n) + " or " + plain_picture_name(n);
            break;
        }
    }
    closedir(d);
    return found;
}

PictureRead read_asset_picture(const char* dir, int n, std::vector<Pixel>* pixels,
                               std::string* path, std::string* problem) {
    std::string named = std::string(dir) + "/" + picture_name(n);
    std::string plain = std::string(dir) + "/" + plain_picture_name(n);
    bool has_named = file_exists(named);
    if (has_named && file_exists(plain)) {
        *problem =
            plain + " and " + named + " are both asset " + std::to_string(n) + "; keep one of them";
        return PictureRead::BAD;
    }
    *path = has_named ? named : plain;
    std::vector<unsigned char> bytes;
    bool missing = false;
    if (Result r = read_png_file(*path, &bytes, &missing); !r.ok) {
        if (missing)
            return PictureRead::MISSING;
        *problem = *path + ": " + r.reason;
        return PictureRead::BAD;
    }
    PngImage png;
    if (Result r = png_import(bytes.data(), bytes.size(), &png); !r.ok) {
        *problem = *path + ": " + r.reason;
        return PictureRead::BAD;
    }
    const AssetShape& shape = ASSET_MAP[n];
    if (png.width != shape.width || png.height != shape.height) {
        std::free(png.pixels);
        *problem = *path + ": the picture is " + std::to_string(png.width) + "x" +
                   std::to_string(png.height) + "; asset " + std::to_string(n) + " (" + shape.role +
                   ") needs " + std::to_string(shape.width) + "x" + std::to_string(shape.height);
        return PictureRead::BAD;
    }
    pixels->assign(png.pixels, png.pixels + static_cast<std::size_t>(png.width) *
                                                static_cast<std::size_t>(png.height));
    std::free(png.pixels);
    return PictureRead::OK;
}

namespace {

// The stamp of the picture file of asset n in dir, by either name; false when neither is there.
bool stamp_of(const char* dir, int n, PictureStamp* stamp) {
    struct stat st;
    if (stat((std::string(dir) + "/" + picture_name(n)).c_str(), &st) != 0 &&
        stat((std::string(dir) + "/" + plain_picture_name(n)).c_str(), &st) != 0)
        return false;
    *stamp = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
              static_cast<std::uint64_t>(st.st_size),
              static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                  static_cast<std::uint64_t>(st.st_mtim.tv_nsec)};
    return true;
}

bool same_stamp(const PictureStamp& a, const PictureStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.mtime_ns == b.mtime_ns;
}

} // namespace

Result asset_table_from_pictures(const char* dir, AssetTable* made, AssetTable previous,
                                 PictureStamp* stamps) {
    *made = nullptr;
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
        return Result::fail(std::string(dir) + ": not a directory of pictures");
    if (std::string misnamed = misnamed_picture(dir); !misnamed.empty())
        return Result::fail(misnamed);
    auto table = static_cast<AssetTable>(std::calloc(ASSET_COUNT + 1, sizeof(std::uint8_t*)));
    if (!table)
        return Result::fail(std::string(dir) + ": out of memory for the pictures");
    std::vector<Pixel> pixels;
    PictureStamp now[ASSET_COUNT] = {};
    for (int n = 0; n < ASSET_COUNT; n++) {
        bool stamped = stamps && stamp_of(dir, n, &now[n]);
        if (previous && stamped && same_stamp(now[n], stamps[n])) {
            table[n] = static_cast<std::uint8_t*>(std::malloc(asset_bytes_needed(n)));
            if (!table[n]) {
                free_asset_table(table);
                return Result::fail(std::string(dir) + ": out of memory for the pictures");
            }
            std::memcpy(table[n], previous[n], asset_bytes_needed(n));
            continue;
        }
        std::string path;
        std::string problem;
        PictureRead read = read_asset_picture(dir, n, &pixels, &path, &problem);
        if (read == PictureRead::MISSING)
            problem = std::string(dir) + "/" + picture_name(n) + ": missing; every asset's " +
                      "picture is needed (quab-assets unpack writes them all)";
        std::uint8_t* chunk = read == PictureRead::OK
                                  ? static_cast<std::uint8_t*>(std::malloc(pixels.size() * 4))
                                  : nullptr;
        if (read == PictureRead::OK && !chunk)
            problem = path + ": out of memory for the picture";
        if (!chunk) {
            free_asset_table(table);
            return Result::fail(problem);
        }
        // The asset file's words are little-endian whatever the host, and so is the table.
        for (std::size_t i = 0; i < pixels.size(); i++)
            for (int b = 0; b < 4; b++)
                chunk[4 * i + b] = static_cast<std::uint8_t>(pixels[i] >> (8 * b));
        table[n] = chunk;
    }
    if (stamps)
        std::memcpy(stamps, now, sizeof now);
    *made = table;
    return Result::success();
}
