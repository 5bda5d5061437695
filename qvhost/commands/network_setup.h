// What the commands on networks share: the network file loaded and set as
// the command line says, outputs named "NODE.OUTPUT" found, and what feeds
// an input as text.
#pragma once

#include "qvhost/commands/commands.h"
#include "qvhost/network_toml.h"

#include <string>
#include <vector>

namespace qvhost {

// Declares --lenient: constants an input cannot hold are cut as the host
// cuts them rather than refused.
void declare_lenient(CLI::App &command, bool &lenient);

// Declares --no-memo: each output evaluated again for every input it feeds,
// as the application does, for comparing with the memo.
void declare_again(CLI::App &command, bool &again);

// Loads the network, then applies the context's NODE.KEY=VALUE settings
// (--set) as the file would say them, and --no-memo; the problems go to
// err, one line each.  0, or the exit code (2 for a setting the file could not say).
int load_network(const Context &ctx, const std::string &path, NetworkFile &file, bool lenient = false);

// Declares --set NODE.INPUT=VALUE / NODE.CONTROL=CHOICE (repeatable) on a
// network command, into its options' member `settings` (see setup_of).
void declare_settings(CLI::App &command, std::vector<std::string> &settings);

// Applies one NODE.KEY=VALUE setting to a loaded network; false after an
// error line naming it and the option that gave it.
bool apply_setting(const Context &ctx, NetworkFile &file, const std::string &setting,
                   const std::string &option = "--set", bool lenient = false);

// --wedge NODE.INPUT=A:B:N: the input set to N values from A to B, ends
// included, one output for each.
struct Wedge {
    std::string key;                  // "NODE.INPUT"; empty for no wedge
    std::vector<std::string> values;  // as each setting's text
    bool given() const { return !key.empty(); }
    std::string setting(std::size_t k) const { return key + "=" + values[k]; }
};
void declare_wedge(CLI::App &command, std::string &wedge);
// "" gives no wedge; false with a usage error.
bool parse_wedge(const std::string &text, Wedge &wedge, std::string &error);
// The file of the k-th value of a wedge: "_w" and k (from 1) before the
// extension ("out.png" -> "out_w3.png").
std::string wedge_path(const std::string &path, std::size_t k);

// Finds every named output; false after an error line.
bool resolve_all(const Context &ctx, const NetworkFile &file, const std::vector<std::string> &names,
                 std::vector<OutputRef> &outputs);

// A number's text as JSON has it: NaN, infinities and "" (no value) as null.
std::string json_number(const std::string &cell);
// A string as a JSON string, quoted and escaped.
std::string json_string(const std::string &s);

// What feeds an input, as check and graph show it.
std::string feed_text(const NetworkFile &file, const refhost::HostInput &in);

}  // namespace qvhost
