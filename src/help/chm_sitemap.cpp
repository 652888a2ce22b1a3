// Reading sitemaps byte by byte: every loop moves forward, and a tag or value cut short ends the file.
#include "help/chm_sitemap.h"

#include <algorithm>
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

std::vector<SitemapEntry> ParseSitemap(std::string_view html) {
    std::vector<SitemapEntry> entries;
    int depth = 0;
    std::optional<SitemapEntry> entry; // inside an <OBJECT type="text/sitemap">
    std::optional<std::string> pendingName;
    std::size_t at = 0;
    while (entries.size() < kMaxSitemapEntries) {
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
            ++depth;
        } else if (EqualsIgnoringCase(tag->name, "/ul")) {
            depth = std::max(0, depth - 1);
        } else if (EqualsIgnoringCase(tag->name, "object")) {
            entry.reset();
            if (EqualsIgnoringCase(AttributeValue(*tag, "type"), "text/sitemap")) {
                entry.emplace();
                entry->depth = std::max(0, depth - 1);
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
