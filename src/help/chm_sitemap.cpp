// Reading sitemaps and bounding pages byte by byte: every loop moves forward, nothing recurses, and a tag or
// value cut short ends the file.
#include "help/chm_sitemap.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

struct Attribute {
    std::string_view name;
    std::string_view value;
};

struct Tag {
    std::string_view name; // "ul", "/ul", "object", ...
    std::vector<Attribute> attributes;
};

// The tag that starts at html[at] == '<'; at moves past its '>'. Nothing when the file ends inside it.
std::optional<Tag> ReadTag(std::string_view html, std::size_t& at) {
    ++at;
    const std::size_t nameStart = at;
    while (at < html.size() && !IsSpace(html[at]) && html[at] != '>')
        ++at;
    Tag tag{html.substr(nameStart, at - nameStart), {}};
    for (;;) {
        while (at < html.size() && (IsSpace(html[at]) || html[at] == '/'))
            ++at;
        if (at >= html.size())
            return std::nullopt;
        if (html[at] == '>') {
            ++at;
            return tag;
        }
        const std::size_t attrStart = at;
        while (at < html.size() && !IsSpace(html[at]) && html[at] != '=' && html[at] != '>')
            ++at;
        Attribute attribute{html.substr(attrStart, at - attrStart), {}};
        while (at < html.size() && IsSpace(html[at]))
            ++at;
        if (at < html.size() && html[at] == '=') {
            ++at;
            while (at < html.size() && IsSpace(html[at]))
                ++at;
            if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
                const char quote = html[at++];
                const std::size_t end = html.find(quote, at);
                if (end == std::string_view::npos)
                    return std::nullopt;
                attribute.value = html.substr(at, end - at);
                at = end + 1;
            } else {
                const std::size_t valueStart = at;
                while (at < html.size() && !IsSpace(html[at]) && html[at] != '>')
                    ++at;
                attribute.value = html.substr(valueStart, at - valueStart);
            }
        }
        tag.attributes.push_back(attribute);
    }
}

std::string_view AttributeValue(const Tag& tag, std::string_view name) {
    for (const Attribute& a : tag.attributes)
        if (EqualsIgnoringCase(a.name, name))
            return a.value;
    return {};
}

} // namespace

std::vector<SitemapEntry> ParseSitemap(std::string_view html, std::size_t most) {
    std::vector<SitemapEntry> entries;
    int depth = 0;
    std::optional<SitemapEntry> entry; // inside an <OBJECT type="text/sitemap">
    std::optional<std::string> pendingName;
    std::size_t at = 0;
    while (entries.size() < std::min(most, kMaxSitemapEntries)) {
        at = html.find('<', at);
        if (at == std::string_view::npos)
            break;
        if (html.substr(at, 4) == "<!--") {
            const std::size_t end = html.find("-->", at + 4);
            if (end == std::string_view::npos)
                break;
            at = end + 3;
            continue;
        }
        const auto tag = ReadTag(html, at);
        if (!tag)
            break;
        if (EqualsIgnoringCase(tag->name, "ul")) {
            ++depth; // at most one per byte of the file: no overflow
        } else if (EqualsIgnoringCase(tag->name, "/ul")) {
            depth = std::max(0, depth - 1);
        } else if (EqualsIgnoringCase(tag->name, "object")) {
            entry.reset();
            if (EqualsIgnoringCase(AttributeValue(*tag, "type"), "text/sitemap")) {
                entry.emplace();
                entry->depth = std::clamp(depth - 1, 0, kMaxSitemapDepth - 1);
                pendingName.reset();
            }
        } else if (EqualsIgnoringCase(tag->name, "/object")) {
            if (entry && (!entry->name.empty() || !entry->topics.empty()))
                entries.push_back(std::move(*entry));
            entry.reset();
        } else if (entry && EqualsIgnoringCase(tag->name, "param")) {
            const std::string_view name = AttributeValue(*tag, "name");
            const std::string value(AttributeValue(*tag, "value"));
            if (EqualsIgnoringCase(name, "name")) {
                // The first name is the entry's; each further one titles the page that follows it.
                if (entry->name.empty() && entry->topics.empty() && !pendingName)
                    entry->name = value;
                else
                    pendingName = value;
            } else if (EqualsIgnoringCase(name, "local")) {
                entry->topics.push_back(SitemapTopic{pendingName.value_or(std::string()), value});
                pendingName.reset();
            } else if (EqualsIgnoringCase(name, "see also")) {
                entry->seeAlso.push_back(value);
            }
        }
    }
    return entries;
}

std::string ChmLocalPath(std::string_view link, std::string_view folder) {
    std::string path;
    if (const std::size_t inFile = link.find("::"); inFile != std::string_view::npos) {
        path = link.substr(inFile + 2);
    } else {
        // A scheme ("http:", "mailto:") before any slash: not a path inside the file.
        const std::size_t colon = link.find(':');
        if (colon != std::string_view::npos && link.substr(0, colon).find('/') == std::string_view::npos)
            return {};
        path = link;
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty() || path[0] == '#')
        return {};
    if (path[0] != '/')
        path = std::string(folder.empty() ? "/" : folder) + path;
    if (path[0] != '/')
        path.insert(path.begin(), '/');

    // Dot segments, as a browser resolves them; the fragment is kept as it is.
    const std::size_t hash = path.find('#');
    const std::string fragment = hash == std::string::npos ? std::string() : path.substr(hash);
    const std::string whole = path.substr(0, hash);
    std::vector<std::string> segments;
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = whole.find('/', start);
        const std::string segment = whole.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (segment != "." && !(segment.empty() && slash != std::string::npos)) {
            segments.push_back(segment);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    std::string resolved;
    for (const std::string& segment : segments)
        resolved += '/' + segment;
    if (resolved.empty() || resolved.back() == '/')
        return {};
    return resolved + fragment;
}

namespace {

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

template <std::size_t N> bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements that hold others in a box of their own, whose layout the work of their contents repeats.
constexpr std::array<std::string_view, 9> kNesting{"table", "ul",   "ol",  "dl",    "blockquote",
                                                   "div",   "menu", "dir", "center"};
// The parts of tables and lists, which belong to the nearest of those.
constexpr std::array<std::string_view, 12> kParts{"tr",      "td",       "th",  "thead", "tbody", "tfoot",
                                                  "caption", "colgroup", "col", "li",    "dt",    "dd"};
constexpr std::array<std::string_view, 17> kVoid{"br",     "img",   "hr",       "meta",  "link",   "input",
                                                 "col",    "area",  "base",     "param", "wbr",    "embed",
                                                 "source", "track", "basefont", "frame", "isindex"};
// Elements whose text is not markup, read to their end tag as it is.
constexpr std::array<std::string_view, 5> kRawText{"script", "style", "title", "textarea", "xmp"};
// Blocks that end an open paragraph, as HTML has it.
constexpr std::array<std::string_view, 24> kBlocks{
    "p",  "div", "table", "ul",     "ol",      "dl",   "blockquote", "h1",  "h2", "h3", "h4", "h5",
    "h6", "pre", "hr",    "center", "address", "form", "menu",       "dir", "li", "dt", "dd", "tr"};

struct OpenElement {
    std::string name;
    bool kept;
    bool nesting;
};

class PageBounder {
public:
    explicit PageBounder(std::string_view html) : m_html(html) {}

    BoundedPage run() {
        std::size_t at = 0;
        while (at < m_html.size() && !m_page.cut) {
            if (m_html[at] != '<') {
                const std::size_t end = std::min(m_html.find('<', at), m_html.size());
                text(m_html.substr(at, end - at));
                at = end;
                continue;
            }
            const std::optional<std::size_t> next = markup(at);
            if (!next)
                break; // unfinished at the end of the page
            at = *next;
        }
        return std::move(m_page);
    }

private:
    // Layout work grows twice over for each table around the table what is laid out is in.
    std::uint64_t weight() const { return std::uint64_t{1} << std::clamp(m_tables - 1, 0, 16); }

    bool spend(std::uint64_t work) {
        if (work * weight() > kMaxPageWork - std::min(m_work, kMaxPageWork)) {
            m_page.cut = true;
            return false;
        }
        m_work += work * weight();
        return true;
    }

    void text(std::string_view run) {
        std::size_t characters = 0;
        for (const char c : run)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (spend(characters)) {
            m_page.html += run;
            return;
        }
        // As many characters as the work left allows, ending on a whole UTF-8 sequence.
        std::uint64_t left = (kMaxPageWork - std::min(m_work, kMaxPageWork)) / weight();
        std::size_t end = 0;
        while (end < run.size()) {
            if ((static_cast<unsigned char>(run[end]) & 0xC0) != 0x80 && left-- == 0)
                break;
            ++end;
        }
        m_page.html += run.substr(0, end);
    }

    // The markup that starts at m_html[at] == '<'; where the text goes on after it, or nothing when it is
    // unfinished.
    std::optional<std::size_t> markup(std::size_t at) {
        const std::string_view rest = m_html.substr(at);
        if (rest.substr(0, 4) == "<!--") {
            const std::size_t end = rest.find("-->", 4);
            if (end == std::string_view::npos)
                return std::nullopt;
            m_page.html += rest.substr(0, end + 3);
            return at + end + 3;
        }
        const bool closing = rest.size() > 1 && rest[1] == '/';
        const std::size_t nameAt = closing ? 2 : 1;
        if (rest.size() > 1 && (rest[1] == '!' || rest[1] == '?')) {
            const std::size_t end = rest.find('>');
            if (end == std::string_view::npos)
                return std::nullopt;
            m_page.html += rest.substr(0, end + 1);
            return at + end + 1;
        }
        if (rest.size() <= nameAt || !IsNameChar(rest[nameAt])) {
            text("<"); // a lone '<' is text
            return at + 1;
        }
        std::size_t end = nameAt;
        while (end < rest.size() && IsNameChar(rest[end]))
            ++end;
        std::string name(rest.substr(nameAt, end - nameAt));
        std::transform(name.begin(), name.end(), name.begin(), LowerAscii);
        // The tag ends at the first '>' outside a quoted attribute value.
        char quote = 0;
        bool value = false; // after an '=', before the value
        while (end < rest.size() && (quote || rest[end] != '>')) {
            const char c = rest[end++];
            if (quote) {
                quote = c == quote ? 0 : quote;
            } else if (value && (c == '"' || c == '\'')) {
                quote = c;
                value = false;
            } else if (c == '=') {
                value = true;
            } else if (!IsSpace(c)) {
                value = false;
            }
        }
        if (end >= rest.size())
            return std::nullopt;
        const std::string_view tag = rest.substr(0, end + 1);
        if (closing) {
            endTag(name, tag);
            return at + tag.size();
        }
        const bool selfClosing = tag.size() >= 2 && tag[tag.size() - 2] == '/';
        if (!startTag(name, tag, selfClosing))
            return at + tag.size();
        if (!OneOf(name, kRawText) || selfClosing)
            return at + tag.size();
        // Script, style and the like run to their end tag, taken as it is.
        const std::size_t textAt = at + tag.size();
        std::size_t close = textAt;
        for (;;) {
            close = m_html.find("</", close);
            if (close == std::string_view::npos)
                return std::nullopt;
            if (EqualsIgnoringCase(m_html.substr(close + 2, name.size()), name))
                break;
            close += 2;
        }
        m_page.html += m_html.substr(textAt, close - textAt);
        return close;
    }

    // A block that begins or ends where tags were dropped still breaks the line, so that words do not run into
    // each other.
    void dropped(const std::string& name) {
        if (name == "td" || name == "th" || name == "caption")
            m_page.html += ' ';
        else if (OneOf(name, kBlocks) || OneOf(name, kNesting))
            m_page.html += "<br>";
    }

    // False when the page ends before the tag.
    bool startTag(const std::string& name, std::string_view tag, bool selfClosing) {
        closeImplied(name);
        const bool nesting = OneOf(name, kNesting);
        const bool part = OneOf(name, kParts);
        bool kept = m_keptDepth < kMaxElementDepth;
        if (nesting)
            kept = kept && m_keptNesting < kMaxPageNesting;
        if (part)
            kept = kept && innermostNestingKept();
        std::uint64_t work = 2;
        if (kept && name == "table")
            work = 20;
        else if (kept && (name == "td" || name == "th"))
            work = 40;
        if (!spend(work))
            return false;
        if (kept)
            m_page.html += tag;
        else
            dropped(name);
        if (selfClosing || OneOf(name, kVoid))
            return true;
        m_open.push_back(OpenElement{name, kept, nesting});
        if (nesting)
            m_nestingKept.push_back(kept);
        m_keptDepth += kept;
        m_keptNesting += kept && nesting;
        m_tables += kept && name == "table";
        return true;
    }

    void endTag(const std::string& name, std::string_view tag) {
        std::size_t at = m_open.size();
        const std::size_t lowest = m_open.size() - std::min(m_open.size(), kMaxScan);
        while (at > lowest && m_open[at - 1].name != name)
            --at;
        if (at == lowest || !spend(1))
            return; // closes nothing open: left out
        const bool kept = m_open[at - 1].kept;
        popTo(at - 1);
        if (kept)
            m_page.html += tag;
        else
            dropped(name);
    }

    // HTML's end tags that may be left out: a block ends an open paragraph, an item the item before it, a row
    // or cell the one before it, within the same list or table.
    void closeImplied(const std::string& name) {
        const auto closeOpen = [&](std::initializer_list<std::string_view> closed,
                                   std::initializer_list<std::string_view> boundary) {
            const std::size_t lowest = m_open.size() - std::min(m_open.size(), kMaxScan);
            for (std::size_t at = m_open.size(); at > lowest; --at) {
                const std::string& open = m_open[at - 1].name;
                if (std::find(closed.begin(), closed.end(), open) != closed.end()) {
                    popTo(at - 1);
                    return;
                }
                if (std::find(boundary.begin(), boundary.end(), open) != boundary.end() || OneOf(open, kNesting))
                    return;
            }
        };
        if (OneOf(name, kBlocks) || OneOf(name, kNesting))
            closeOpen({"p"}, {"td", "th", "li", "dd", "dt", "button"});
        if (name == "li")
            closeOpen({"li"}, {});
        else if (name == "dt" || name == "dd")
            closeOpen({"dt", "dd"}, {});
        else if (name == "tr")
            closeOpen({"tr"}, {"thead", "tbody", "tfoot"});
        else if (name == "td" || name == "th")
            closeOpen({"td", "th"}, {"tr"});
    }

    // Closes the element at `at` and every one inside it.
    void popTo(std::size_t at) {
        while (m_open.size() > at) {
            const OpenElement& open = m_open.back();
            m_keptDepth -= open.kept;
            m_keptNesting -= open.kept && open.nesting;
            m_tables -= open.kept && open.name == "table";
            if (open.nesting)
                m_nestingKept.pop_back();
            m_open.pop_back();
        }
    }

    bool innermostNestingKept() const { return m_nestingKept.empty() || m_nestingKept.back(); }

    // End tags match, and implied ends close, elements this near the innermost only: a page of thousands of
    // unclosed elements would otherwise be searched through at every tag.
    static constexpr std::size_t kMaxScan = 4 * kMaxElementDepth;

    std::string_view m_html;
    BoundedPage m_page;
    std::vector<OpenElement> m_open;
    std::vector<bool> m_nestingKept; // of the tables, lists, quotes and divisions open, innermost last
    int m_keptDepth = 0;
    int m_keptNesting = 0;
    int m_tables = 0;
    std::uint64_t m_work = 0;
};

} // namespace

BoundedPage BoundPage(std::string_view html) {
    return PageBounder(html).run();
}
