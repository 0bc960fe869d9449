// Asset file writing, PNG replacement and unpacking for quab-assets. Inputs are checked whole
// before anything is written; outputs go to a temporary name and are renamed into place.
#include "lib/asset_builder/asset_io.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

#include "lib/pictures/pictures.h"
#include "lib/pictures/png_export.h"
#include "lib/show_files/show_files.h"
#include "lib/tool_common/output_file.h"
#include "lib/tool_common/shown_path.h"
#include "lib/tool_common/streams.h"

namespace {

int complain(int status, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "quab-assets: %s\n", message.c_str());
    return status;
}

} // namespace

int write_asset_images(const char* path, const AssetImages& images) {
    OutputFile out;
    if (Result r = output_open(path, &out); !r.ok)
        return complain(EXIT_FAILED, r.reason);
    for (const std::vector<Pixel>& image : images) {
        if (!write_asset_record(out.f, image.data(), image.size())) {
            std::string reason =
                shown_path(path) + ": cannot write: " + std::strerror(errno ? errno : EIO);
            output_discard(&out);
            return complain(EXIT_FAILED, reason);
        }
    }
    if (Result r = output_commit(&out); !r.ok)
        return complain(EXIT_FAILED, r.reason);
    return EXIT_OK;
}

int replace_from_pngs(const char* dir, AssetImages* images) {
    struct stat st;
    if (stat(dir, &st) != 0 || !S_ISDIR(st.st_mode))
        return complain(EXIT_BAD_INPUT, shown_path(dir) + ": not a directory of pictures");
    std::string misnamed = misnamed_picture(dir);
    if (!misnamed.empty())
        return complain(EXIT_BAD_INPUT, misnamed);
    int replaced = 0;
    for (int n = 0; n < ASSET_COUNT; n++) {
        std::string path, problem;
        PictureRead read = read_asset_picture(dir, n, &(*images)[n], &path, &problem);
        if (read == PictureRead::MISSING)
            continue;
        if (read == PictureRead::BAD)
            return complain(EXIT_BAD_INPUT, problem);
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
        std::string path = std::string(outdir) + "/" + picture_name(n);
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
    AssetTable table = nullptr;
    if (Result r = load_show_assets(in_path, &table, &lengths); !r.ok)
        return complain(EXIT_BAD_INPUT, r.reason);
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
            complain(EXIT_FAILED, shown_path(outdir) + ": cannot create: " + std::strerror(errno));
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
        std::string path = std::string(outdir) + "/" + picture_name(n);
        Result r = png_export(path.c_str(), pixels.data(), ASSET_MAP[n].width, ASSET_MAP[n].height);
        if (!r.ok)
            status = complain(EXIT_FAILED, r.reason);
    }
    free_asset_table(table);
    std::free(lengths);
    if (status == EXIT_OK)
        std::printf("%d pictures in %s\n", ASSET_COUNT, outdir);
    return status;
}
