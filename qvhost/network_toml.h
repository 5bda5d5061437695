// Node networks in files: written by hand as TOML, or saved by the
// reference host in the application's scene block forms.
//
// A TOML network has one table per node under [node.NAME] (NAME: letters,
// digits and "_", unique, at most refhost::max_name_bytes bytes), nested no
// deeper than kMaxTomlNesting:
//
//     [node.wave]                  # a node called "wave"
//     server = "QvMs_SIN"          # its server name
//     In = "ramp.Out"              # an input wired to another node's output
//
//     [node.ramp]
//     server = "QvT_MAPR"
//     In = "@u"                    # an input fed by a sample source
//     mapEd = 6.283185307179586    # an input fed by a constant
//     panel = { OPT2 = "Reflect" } # the option panel, set as the user sets it
//
// Every key but `server` and `panel` names an input (the k-th of several
// inputs sharing a name as "Name#k") and connects it, as wiring it in the
// editor would: a number, an integer, a boolean (integer 1 or 0) or an array
// of three numbers feeds a constant; "NODE.OUTPUT" wires another node's
// output; "@u", "@v" (0 to 1 across the image, v up), "@x", "@y" (the pixel
// centre), "@position" (u, v, 0), "@time" (seconds) and "@frame" feed what
// each sample gives.  An integer input takes a whole number, and a switch's
// Bool 0 or 1: anything else is a problem (with --lenient, cut as the host
// cuts it).  Each panel control has one name, the one `qvhost panel` prints
// and --set and messages use (see control_name in node_info.h): its label,
// else the input whose default it edits, else OPT1 to OPT3, INT1, INT2 or
// RATIO.  Values are in the panel's own units: a choice by its text or
// index, a check box by true or false, a percentage in percent (50 or
// "50%" for one half).
//
// Every problem is reported as "FILE:LINE: node "NAME": ...", in the order
// of the file's lines, and a network with any problem is not built at all.
//
// What each form keeps: a network file keeps every value as the double it
// reads (`qvhost save NET --toml OUT` writes one back that reads to the same
// values).  A scene file (`qvhost save NET --scene OUT`) keeps the panel
// values as 32-bit floats, as the application does: about 7 digits,
// magnitudes 1.2e-38 to 3.4e38, so 0.1 reads back as 0.10000000149011612,
// 1e300 as infinity and 2.2250738585072014e-308 as 0; save warns of each
// value that changes, naming the node and the control, and --strict refuses
// them.  An OpenEXR render keeps 32-bit floats (whole numbers exactly to
// 16777216: 123456789 is written as 123456792), or with --exr-type half
// 16-bit halves (whole numbers to 2048, magnitudes 6.1e-05 to 65504); render
// warns of each value beyond these.
#pragma once

#include "refhost/network/network.h"
#include "refhost/panel/xpanel.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace qvhost {

struct NetworkFile {
    struct Node {
        std::string name;
        int id = 0;
        int line = 0;  // where the file defines it; 0 for a scene file
    };

    std::string source;  // the file, as messages name it
    std::unique_ptr<refhost::Network> network;
    std::vector<Node> nodes;  // in the order of the file: add them with add()

    void add(Node node);
    const Node *find(const std::string &name) const;
    const Node *find(int id) const;
    std::string name_of(int id) const;

private:
    std::unordered_map<std::string, std::size_t> by_name_;  // places in nodes
    std::unordered_map<int, std::size_t> by_id_;
};

// An output named "NODE.OUTPUT".
struct OutputRef {
    std::string text;
    int node = 0;
    const refhost::HostOutput *output = nullptr;
    const refhost::Network *net = nullptr;
    const refhost::Network &network() const { return *net; }
};
bool resolve_output(const NetworkFile &file, const std::string &text, OutputRef &out, std::string &error);

// How deep a network file nests: each part of a table header or a dotted
// key, each array and each inline table is a level ("[node.NAME]" is two,
// a key in it three, "panel = { OPT1 = [1, 2, 3] }" five).  The TOML parser
// recurses once per level (and refuses only nested values beyond 256), so
// the text is scanned for this limit before it is parsed.
inline constexpr std::size_t kMaxTomlNesting = 32;
// The line where `text` first nests deeper than kMaxTomlNesting, or 0.
std::size_t toml_nesting_too_deep(const std::string &text);

// Reads a network from TOML text.  Every problem found goes to `problems`,
// in the order of the file's lines; true (and `out` filled) only when there
// is none.  `lenient` lets a constant that an input cannot hold (a fraction
// on an integer input, 0.4 on a switch's condition) through, cut as the host
// cuts it, rather than being a problem.
bool read_network_toml(const std::string &text, const std::string &source,
                       const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems, bool lenient = false);

// Sets one input or panel control of a loaded network as a line KEY = VALUE
// in the node's table (KEY an input) or in its panel table (KEY a control)
// would, with the problems the file would give, each starting with `where`
// instead of the file and line.  VALUE is written as in the file (2.5,
// "ramp.Out", "@u", [1, 2, 3], true); a word that is no TOML value is taken
// as a string (ramp.Out, Reflect).  The network stays checked for loops.
bool set_in_network(NetworkFile &file, const std::string &node, const std::string &key, const std::string &value,
                    const std::string &where, std::vector<std::string> &problems, bool lenient = false);

// The path that names standard input, and how messages name a network file.
inline constexpr const char *kStandardInput = "-";
inline std::string network_file_name(const std::string &path) { return path == kStandardInput ? "<stdin>" : path; }

// Reads a network file: TOML, or either scene form the reference host saves;
// "-" reads standard input.
bool read_network_file(const std::string &path, const std::shared_ptr<refhost::Module> &module, NetworkFile &out,
                       std::vector<std::string> &problems, bool lenient = false);

// The extension that makes a file a TOML network, whatever it holds.
inline constexpr const char *kNetworkExtension = ".toml";

// Whether a name may name a node in a network file: letters, digits and "_".
bool valid_node_name(const std::string &name);

// Whether content is a scene file rather than a TOML network.
bool is_scene_content(const std::string &content, const std::string &path);

}  // namespace qvhost
