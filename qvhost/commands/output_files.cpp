// The rule for the files commands write: see output_files.h.
#include "qvhost/commands/output_files.h"

#include "qvhost/network_toml.h"
#include "qvhost/pictures/pictures.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"
#include "support/write_target.h"

#include <initializer_list>

namespace qvhost {

namespace {

// What each kind of file is called in a message, the picture formats its
// name ends in (none: any name but those refused), and the names it never
// takes.
struct WrittenRow {
    Written what;
    const char *called;
    std::initializer_list<PictureFormat> formats;
    bool never_network_name;  // .toml: every command reads such a file as a network
    bool never_picture_name;  // .png, .exr, .svg
};

// clang-format off
const WrittenRow kWrittenRows[] = {
    // what               called             formats, in the order messages name them            .toml  picture
    {Written::image,   "the image file",  {PictureFormat::png, PictureFormat::exr},               false, false},
    {Written::chart,   "the picture",     {PictureFormat::png, PictureFormat::svg},               false, false},
    {Written::drawing, "the picture",     {PictureFormat::svg, PictureFormat::png},               false, false},
    {Written::preview, "the preview",     {PictureFormat::png},                                   false, false},
    {Written::scene,   "a scene file",    {},                                                     true,  true},
    {Written::network, "a network file",  {},                                                     false, true},
};
// clang-format on

const WrittenRow &row_of(Written what) {
    for (const WrittenRow &row : kWrittenRows)
        if (row.what == what) return row;
    return kWrittenRows[0];
}

// Why the name does not fit what is written; "" when it does.
std::string name_problem(const WrittenRow &row, const std::string &path) {
    const PictureFormat format = picture_format(path);
    if (row.formats.size() > 0) {
        std::string list;
        std::size_t k = 0;
        for (PictureFormat f : row.formats) {
            if (f == format) return "";
            list += std::string(k == 0 ? "" : k + 1 == row.formats.size() ? " or " : ", ") + picture_extension(f);
            ++k;
        }
        return std::string(row.called) + " ends in " + list;
    }
    const std::string ext = support::file_extension(path);
    if (row.never_network_name && ext == kNetworkExtension)
        return std::string(row.called) + " is never named " + ext + ": every " + ext + " file is read as a network";
    if (row.never_picture_name && format != PictureFormat::unknown)
        return std::string(row.called) + " is never named " + ext + ", the name of a picture";
    return "";
}

}  // namespace

int check_output(const Context &ctx, const std::string &option, const std::string &path, Written what,
                 const std::vector<std::string> &inputs, std::string *target) {
    const std::string named = option + " " + support::shown_path(path);
    const std::string problem = name_problem(row_of(what), path);
    if (!problem.empty()) return ctx.fail(named + ": " + problem, 2);
    for (const std::string &input : inputs)
        if (support::same_file(path, input))
            return ctx.fail(named + ": that is " + support::shown_path(input) +
                                ", an input of this command, which the output would replace",
                            2);
    std::string resolved, error;
    if (!support::resolve_write_target(path, resolved, error)) return ctx.fail(shown_path_error(error, path));
    if (target != nullptr) *target = resolved;
    return 0;
}

std::vector<std::string> network_inputs(const Context &ctx, const std::string &network) {
    std::vector<std::string> inputs = {ctx.module_path};
    if (network != kStandardInput) inputs.push_back(network);
    return inputs;
}

}  // namespace qvhost
