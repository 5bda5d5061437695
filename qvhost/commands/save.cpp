// qvhost save: a network written in the application's scene block form,
// text or binary, or as a network file (TOML).  Whatever the written file
// would give back differently is said, node and control, before it is
// written: the scene form keeps the module's stored values as 32-bit floats.
#include "qvhost/commands/commands.h"

#include "qvhost/commands/network_setup.h"
#include "qvhost/commands/output_files.h"
#include "qvhost/node_info.h"
#include "qvhost/network_toml_writer.h"
#include "refhost/scene/scene_io.h"
#include "support/atomic_file.h"
#include "support/escaped_text.h"
#include "support/file_reading.h"

namespace qvhost {

namespace {

struct SaveOptions {
    bool lenient = false;
    std::vector<std::string> settings;  // --set
    std::string network, scene, toml;
    bool binary = false, strict = false;
    CLI::Option *scene_option = nullptr, *toml_option = nullptr;

    void declare(CLI::App &c) {
        declare_lenient(c, lenient);
        c.add_option("network", network, "a network file (TOML) or a scene file")->required();
        declare_settings(c, settings);
        scene_option = c.add_option("-o,--scene", scene,
                                    "the scene file to write; it keeps panel values as 32-bit floats (about 7 "
                                    "digits, magnitudes 1.2e-38 to 3.4e38): each value that changes is warned of");
        toml_option = c.add_option("--toml", toml,
                                   "the network file (.toml) to write instead, every value as it is");
        c.add_flag("--binary", binary, "the binary form of the scene instead of the text form");
        c.add_flag("--strict", strict, "a value the file would change is an error, and nothing is written");
    }
    bool check(std::string &error) {
        if (scene_option->count() == toml_option->count()) {
            error = "give one of --scene FILE and --toml FILE";
            return false;
        }
        if (toml_option->count() && support::file_extension(toml) != kNetworkExtension) {
            error = "--toml " + support::shown_path(toml) + ": a network file's name ends in .toml";
            return false;
        }
        if (toml_option->count() && binary) {
            error = "--binary: a network file is text; --binary is for --scene";
            return false;
        }
        return true;
    }
    bool cheap() const { return false; }
};

// "node "ramp": control "mapEd": 0.1 is saved as 0.10000000149011612".
std::string change_text(const NetworkFile &file, const refhost::Network::ValueChange &c) {
    if (c.node == 0) return "the network has " + c.before + " and reads back with " + c.after;
    std::string item;
    if (c.control == 0) {
        item = "input " + support::shown_quoted(c.input);
    } else {
        std::string error;
        const refhost::Network::PanelOpening opening = file.network->open_panel(c.node, error);
        const refhost::Panel *panel = opening.panel != nullptr ? refhost::panel_of(opening.panel) : nullptr;
        const refhost::PanelControl *control = panel != nullptr ? panel->control(c.control) : nullptr;
        item = "control " + support::shown_quoted(control != nullptr ? control_name(*panel, *file.network->node(c.node), *control) : "?");
    }
    const std::string after = c.after.empty() ? "nothing" : c.after;
    return "node " + support::shown_quoted(file.name_of(c.node)) + ": " + item + ": " + c.before + " reads back as " +
           after;
}

int save_network(const Context &ctx, const SaveOptions &o) {
    const bool as_toml = !o.toml.empty();
    const std::string &target = as_toml ? o.toml : o.scene;
    if (int rc = as_toml ? check_output(ctx, "--toml", target, Written::network, network_inputs(ctx, o.network))
                         : check_output(ctx, "--scene", target, Written::scene, network_inputs(ctx, o.network)))
        return rc;
    NetworkFile file;
    if (int rc = load_network(ctx, o.network, file, o.lenient)) return rc;
    std::string content, error;
    std::vector<refhost::Network::ValueChange> changes;
    if (as_toml) {
        const auto module = ctx.load_module();
        if (!module || !network_toml_text(file, module, network_file_name(o.network), content, error))
            return module ? ctx.fail(file.source + ": " + error) : 1;
        // Read back, to say what would not survive.
        NetworkFile back;
        std::vector<std::string> problems;
        if (!read_network_toml(content, target, module, back, problems))
            return ctx.fail(file.source + ": the network file written reads back with a problem: " +
                            (problems.empty() ? "?" : problems[0]));
        changes = file.network->changes_in(*back.network);
    } else {
        const refhost::SceneForm form = o.binary ? refhost::SceneForm::binary : refhost::SceneForm::text;
        if (!file.network->save(form, content, error) || !file.network->scene_changes(content, changes, error))
            return ctx.fail(shown_path_error(target + ": " + error, target));
    }
    const char *what = o.strict ? "" : "warning: ";
    for (const refhost::Network::ValueChange &c : changes) ctx.err << "qvhost: " << what << change_text(file, c) << "\n";
    if (o.strict && !changes.empty())
        return ctx.fail(support::shown_path(target) + ": not written: " + std::to_string(changes.size()) + " value" +
                        (changes.size() == 1 ? "" : "s") + " would read back changed (--strict)");
    if (!support::write_file_atomically(target, content, error)) return ctx.fail(shown_path_error(error, target));
    ctx.out << "wrote " << target << "\n";
    return 0;
}

}  // namespace

CommandSetup declare_save(CLI::App &command) { return setup_of<SaveOptions>(command, save_network); }

}  // namespace qvhost
