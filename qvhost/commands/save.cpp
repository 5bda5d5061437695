// qvhost save: a network written in the application's scene block form,
// text or binary.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/output_files.h"
#include "refhost/scene/scene_io.h"
#include "support/escaped_text.h"

namespace qvhost {

namespace {

struct SaveOptions {
    bool lenient = false;
    std::vector<std::string> settings;  // --set
    std::string network, scene;
    bool binary = false;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("network", network, "a network file")->required();
        declare_settings(c, settings);
        c.add_option("-o,--scene", scene, "the scene file to write")->required();
        c.add_flag("--binary", binary, "the binary form instead of the text form");
    }
    bool check(std::string &) { return true; }
    bool cheap() const { return false; }
};

int save_network(const Context &ctx, const SaveOptions &o) {
    const std::string &path = o.network, &scene = o.scene;
    const bool binary = o.binary;
    if (int rc = check_output(ctx, "--scene", scene, Written::scene, network_inputs(ctx, path))) return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, path, file, o.lenient)) return rc;
    std::string error;
    if (!file.network->save_file(scene, binary ? refhost::SceneForm::binary : refhost::SceneForm::text, error))
        return ctx.fail(shown_path_error(error, scene));
    ctx.out << "wrote " << scene << "\n";
    return 0;
}

}  // namespace

CommandSetup declare_save(CLI::App &command) { return setup_of<SaveOptions>(command, save_network); }

}  // namespace qvhost
