// The reference's pages written out: each page as Markdown, all of them as
// one HTML page with its style and pictures inside it.
#include "qvhost/reference/reference.h"

#include <sstream>

namespace qvhost {

DocBlock heading(int level, const std::string &text, const std::string &id) {
    DocBlock b;
    b.kind = DocBlock::Kind::heading;
    b.level = level;
    b.text = text;
    b.id = id;
    return b;
}

DocBlock paragraph(const std::string &text) {
    DocBlock b;
    b.kind = DocBlock::Kind::paragraph;
    b.text = text;
    return b;
}

DocBlock list(const std::vector<std::string> &items) {
    DocBlock b;
    b.kind = DocBlock::Kind::list;
    b.items = items;
    return b;
}

DocBlock table(const std::vector<std::string> &header, const std::vector<std::vector<std::string>> &rows) {
    DocBlock b;
    b.kind = DocBlock::Kind::table;
    b.header = header;
    b.rows = rows;
    return b;
}

DocBlock image(const std::string &file, const std::string &caption) {
    DocBlock b;
    b.kind = DocBlock::Kind::image;
    b.image = file;
    b.text = caption;
    return b;
}

std::string page_anchor(const std::string &file) {
    const std::size_t dot = file.rfind('.');
    return "page-" + file.substr(0, dot);
}

// ---- Markdown ---------------------------------------------------------------------

namespace {

// A table cell: a "|" would end the cell, also inside a code span.
std::string markdown_cell(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

std::string page_markdown(const DocPage &page) {
    std::ostringstream md;
    bool first = true;
    for (const DocBlock &b : page.blocks) {
        if (!first) md << "\n";
        first = false;
        switch (b.kind) {
        case DocBlock::Kind::heading:
            if (!b.id.empty()) md << "<a id=\"" << b.id << "\"></a>\n";
            md << std::string(b.level, '#') << " " << b.text << "\n";
            break;
        case DocBlock::Kind::paragraph: md << b.text << "\n"; break;
        case DocBlock::Kind::list:
            for (const std::string &item : b.items) md << "- " << item << "\n";
            break;
        case DocBlock::Kind::table:
            md << "|";
            for (const std::string &h : b.header) md << " " << markdown_cell(h) << " |";
            md << "\n|";
            for (std::size_t i = 0; i < b.header.size(); ++i) md << "---|";
            md << "\n";
            for (const auto &row : b.rows) {
                md << "|";
                for (const std::string &cell : row) md << " " << markdown_cell(cell) << " |";
                md << "\n";
            }
            break;
        case DocBlock::Kind::image:
            md << "![" << b.text << "](images/" << b.image << ")\n\n*" << b.text << "*\n";
            break;
        }
    }
    return md.str();
}

// ---- HTML -------------------------------------------------------------------------

namespace {

std::string escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// A link between pages as a link within the one HTML page.
std::string html_target(const std::string &target) {
    const std::size_t hash = target.find('#');
    if (hash != std::string::npos) return target.substr(hash);
    if (target.size() > 3 && target.compare(target.size() - 3, 3, ".md") == 0) return "#" + page_anchor(target);
    return target;
}

// Inline text: `code` spans, *emphasis* and [text](target) links, everything
// else as it is.
std::string inline_html(const std::string &text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '`') {
            const std::size_t end = text.find('`', i + 1);
            if (end != std::string::npos) {
                out += "<code>" + escaped(text.substr(i + 1, end - i - 1)) + "</code>";
                i = end + 1;
                continue;
            }
        } else if (c == '*') {
            const std::size_t end = text.find('*', i + 1);
            if (end != std::string::npos && end > i + 1) {
                out += "<em>" + inline_html(text.substr(i + 1, end - i - 1)) + "</em>";
                i = end + 1;
                continue;
            }
        } else if (c == '[') {
            const std::size_t close = text.find("](", i + 1);
            const std::size_t end = close == std::string::npos ? close : text.find(')', close + 2);
            if (end != std::string::npos) {
                out += "<a href=\"" + escaped(html_target(text.substr(close + 2, end - close - 2))) + "\">" +
                       inline_html(text.substr(i + 1, close - i - 1)) + "</a>";
                i = end + 1;
                continue;
            }
        }
        out += escaped(std::string(1, c));
        ++i;
    }
    return out;
}

std::string base64(const std::string &bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        uint32_t word = 0;
        for (std::size_t k = 0; k < 3; ++k) word = word << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(word >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

const char *const kStyle = R"css(
body { font-family: "DejaVu Sans", Verdana, sans-serif; color: #24282f; max-width: 60em; margin: 2em auto;
       padding: 0 1em; line-height: 1.45; }
section { border-top: 2px solid #d3d7de; margin-top: 3em; }
h1 { font-size: 1.6em; } h2 { font-size: 1.3em; margin-top: 2em; } h3 { font-size: 1.1em; margin-top: 1.6em; }
code { font-family: "DejaVu Sans Mono", monospace; background: #f3f4f7; padding: 0 0.2em; }
table { border-collapse: collapse; margin: 0.6em 0; }
th, td { border: 1px solid #d3d7de; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }
th { background: #f3f4f7; }
figure { margin: 0.8em 0; } figcaption { font-style: italic; color: #565c66; font-size: 0.9em; }
a { color: #2f5f8f; }
)css";

}  // namespace

std::string reference_html(const std::vector<DocPage> &pages, const std::string &title,
                           const std::map<std::string, std::string> &pictures) {
    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" << escaped(title)
         << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n";
    for (const DocPage &page : pages) {
        html << "<section>\n";
        for (const DocBlock &b : page.blocks) {
            switch (b.kind) {
            case DocBlock::Kind::heading:
                html << "<h" << b.level << (b.id.empty() ? "" : " id=\"" + b.id + "\"") << ">" << inline_html(b.text)
                     << "</h" << b.level << ">\n";
                break;
            case DocBlock::Kind::paragraph: html << "<p>" << inline_html(b.text) << "</p>\n"; break;
            case DocBlock::Kind::list:
                html << "<ul>\n";
                for (const std::string &item : b.items) html << "<li>" << inline_html(item) << "</li>\n";
                html << "</ul>\n";
                break;
            case DocBlock::Kind::table:
                html << "<table>\n<tr>";
                for (const std::string &h : b.header) html << "<th>" << inline_html(h) << "</th>";
                html << "</tr>\n";
                for (const auto &row : b.rows) {
                    html << "<tr>";
                    for (const std::string &cell : row) html << "<td>" << inline_html(cell) << "</td>";
                    html << "</tr>\n";
                }
                html << "</table>\n";
                break;
            case DocBlock::Kind::image: {
                const auto found = pictures.find(b.image);
                const std::string src =
                    found != pictures.end() ? "data:image/png;base64," + base64(found->second) : "images/" + b.image;
                std::string alt;
                for (char c : b.text)
                    if (c != '`' && c != '*') alt += c;
                html << "<figure><img src=\"" << src << "\" alt=\"" << escaped(alt) << "\"><figcaption>"
                     << inline_html(b.text) << "</figcaption></figure>\n";
                break;
            }
            }
        }
        html << "</section>\n";
    }
    html << "</body>\n</html>\n";
    return html.str();
}

}  // namespace qvhost
