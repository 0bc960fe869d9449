// quab-assets: builds the show's asset file from its own procedural pictures, optionally
// replacing any of them with edited PNGs, and unpacks an asset file into PNGs for editing.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/builder/asset_io.h"
#include "tools/builder/default_assets.h"
#include "tools/builder/font_text.h"

namespace {

constexpr const char* USAGE = "usage: quab-assets build OUT [--from DIR]\n"
                              "       quab-assets unpack IN OUTDIR\n";

int usage(const char* problem) {
    std::fprintf(stderr, "quab-assets: %s\n%s", problem, USAGE);
    return EXIT_BAD_INPUT;
}

// Anything that starts with '-' is an option, never a file name.
bool is_option(const char* arg) { return arg[0] == '-'; }

int build(const char* out_path, const char* from_dir) {
    AssetImages images;
    if (!make_default_assets(DEFAULT_FONT_DIR, &images))
        return EXIT_IO_FAILURE;
    if (from_dir) {
        int status = replace_from_pngs(from_dir, &images);
        if (status != EXIT_OK)
            return status;
    }
    int status = write_asset_images(out_path, images);
    if (status == EXIT_OK)
        std::printf("%d assets written to %s\n", ASSET_COUNT, out_path);
    // A report that cannot be written is a failure, not a success.
    if (std::fflush(stdout) != 0 && status == EXIT_OK)
        status = EXIT_IO_FAILURE;
    return status;
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_IO_FAILURE;
        }
    }
    if (argc < 2)
        return usage("expected a command, build or unpack");
    for (int i = 1; i < argc; i++) {
        bool from_dir = i > 1 && std::strcmp(argv[i - 1], "--from") == 0;
        if (is_option(argv[i]) && std::strcmp(argv[i], "--from") != 0 && !from_dir)
            return usage((std::string("unknown option ") + argv[i]).c_str());
    }
    if (std::strcmp(argv[1], "build") == 0) {
        if (argc == 3 && !is_option(argv[2]))
            return build(argv[2], nullptr);
        if (argc == 5 && !is_option(argv[2]) && std::strcmp(argv[3], "--from") == 0)
            return build(argv[2], argv[4]);
        return usage("build takes OUT and optionally --from DIR");
    }
    if (std::strcmp(argv[1], "unpack") == 0) {
        if (argc == 4 && !is_option(argv[2]) && !is_option(argv[3]))
            return unpack_asset_file(argv[2], argv[3]);
        return usage("unpack takes IN and OUTDIR");
    }
    return usage((std::string("unknown command ") + argv[1]).c_str());
}
