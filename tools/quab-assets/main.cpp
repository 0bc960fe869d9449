// quab-assets: builds the show's asset file from its own procedural pictures, optionally
// replacing any of them with edited PNGs, and unpacks an asset file into PNGs for editing.
#include <cstdio>
#include <cstring>
#include <string>

#include "lib/asset_builder/asset_io.h"
#include "lib/asset_builder/default_assets.h"
#include "lib/asset_builder/font_text.h"
#include "lib/base/descriptors.h"
#include "lib/tool_common/command_line.h"
#include "lib/tool_common/streams.h"

namespace {

constexpr const char* PROGRAM = "quab-assets";

constexpr ToolText TOOL = {
    PROGRAM,
    "Builds the show's asset file from its own pictures and edited PNGs, or unpacks one into PNGs.",
    "build OUT [--from DIR]\n"
    "       quab-assets unpack IN OUTDIR [--force]",
    "  --from DIR        take each picture found in DIR (as unpack names them, or NN.png)\n"
    "                    instead of the show's own\n"
    "  --force           let unpack replace pictures already in OUTDIR\n",
    "Exit status: 0 done, 1 a file could not be written or a font is missing, 2 a bad command\n"
    "line or an input that cannot be used.\n",
};

int build(const char* out_path, const char* from_dir) {
    AssetImages images;
    if (Result r = make_default_assets(DEFAULT_FONT_DIR, &images); !r.ok) {
        std::printf("%s\n", r.reason.c_str());
        return EXIT_FAILED;
    }
    if (from_dir) {
        int status = replace_from_pngs(from_dir, &images);
        if (status != EXIT_OK)
            return status;
    }
    int status = write_asset_images(out_path, images);
    if (status == EXIT_OK)
        std::printf("%d assets written to %s\n", ASSET_COUNT, out_path);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    keep_standard_descriptors_open();
    const char* from_dir = nullptr;
    bool force = false;
    std::vector<const char*> operands = parse_command_line(
        TOOL, argc, argv, {text_option("--from", &from_dir), flag_option("--force", &force)});
    if (operands.empty())
        usage_error(PROGRAM, "expected a command, build or unpack");
    int status = EXIT_OK;
    if (std::strcmp(operands[0], "build") == 0) {
        if (operands.size() != 2 || force)
            usage_error(PROGRAM, "build takes OUT and optionally --from DIR");
        status = build(operands[1], from_dir);
    } else if (std::strcmp(operands[0], "unpack") == 0) {
        if (operands.size() != 3 || from_dir)
            usage_error(PROGRAM, "unpack takes IN and OUTDIR, and optionally --force");
        require_regular_inputs(PROGRAM, {operands[1]});
        status = unpack_asset_file(operands[1], operands[2], force);
    } else {
        usage_error(PROGRAM, std::string("unknown command ") + operands[0]);
    }
    // A report that cannot be written is a failure, not a success.
    if (!standard_output_ok(PROGRAM) && status == EXIT_OK)
        status = EXIT_FAILED;
    return status;
}
