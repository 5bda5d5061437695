// The node reference that `qvhost doc` writes: pages made of blocks, written
// as Markdown (one file per page) and as one self-contained HTML page, and
// the pictures the pages show.
#pragma once

#include "refhost/module_loader.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qvhost {

// ---- Pages ---------------------------------------------------------------------

// Inline text is plain text with three kinds of markup, the same in both
// forms: `code` spans, *emphasis* and [text](target) links, the target
// "page.md", "page.md#id" or "#id".
struct DocBlock {
    enum class Kind { heading, paragraph, list, table, image };
    Kind kind = Kind::paragraph;
    int level = 1;                               // heading: 1 to 3
    std::string id;                              // heading: the anchor links name
    std::string text;                            // heading, paragraph; image: the caption
    std::string image;                           // image: the file under images/
    std::vector<std::string> items;              // list
    std::vector<std::string> header;             // table
    std::vector<std::vector<std::string>> rows;  // table
};

struct DocPage {
    std::string file;  // "math-func_t.md"
    std::vector<DocBlock> blocks;
};

DocBlock heading(int level, const std::string &text, const std::string &id = "");
DocBlock paragraph(const std::string &text);
DocBlock list(const std::vector<std::string> &items);
DocBlock table(const std::vector<std::string> &header, const std::vector<std::vector<std::string>> &rows);
DocBlock image(const std::string &file, const std::string &caption);

// A page as Markdown.
std::string page_markdown(const DocPage &page);

// The pages as one HTML page with its style inline: each page a section,
// links between pages turned into links within it, and each picture
// embedded from `pictures` (file name to PNG bytes) or, where it has none,
// linked as images/NAME.
std::string reference_html(const std::vector<DocPage> &pages, const std::string &title,
                           const std::map<std::string, std::string> &pictures);

// The anchor of a page in the HTML page: "page-math-func_t".
std::string page_anchor(const std::string &file);

// ---- Pictures --------------------------------------------------------------------

// A picture the reference shows: its file under images/, its caption, and
// how it is drawn from the module.
struct DocPicture {
    std::string file;
    std::string caption;
    std::function<bool(const std::shared_ptr<refhost::Module> &module, const std::string &path, std::string &error)>
        draw;
};

// The pictures in a node's section, and those at the top of a group's page.
std::vector<DocPicture> node_pictures(const std::string &server);
std::vector<DocPicture> group_pictures(const std::string &group);

// The servers and groups the picture tables name, for checking them against
// the module.
std::vector<std::string> pictured_servers();
std::vector<std::string> pictured_groups();

}  // namespace qvhost
