#include "export/html_writer.h"

#include "app/quillet_app.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "platform/fixed_path.h"
#include "platform/path_separator.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr char kQuote = '"';

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of(platform::kPathSeparator);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

// The pages declare ISO-8859-1 while names come as the file system's bytes (UTF-8). An ASCII
// name is written as it is; the other characters of a text go as numeric character references,
// which mean the same under any charset. A byte that is not part of valid UTF-8 stands for the
// ISO-8859-1 character of its value.
std::string PageText(const std::string& text) {
    if (IsAscii(text)) return text;
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        const int length = lead >= 0xF0 && lead <= 0xF4   ? 4
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xC2 && lead <= 0xDF ? 2
                                                          : 0;
        uint32_t code = length == 4 ? lead & 0x07u : length == 3 ? lead & 0x0Fu : lead & 0x1Fu;
        bool valid = length > 0 && i + static_cast<size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past Unicode are not valid UTF-8.
        valid = valid && !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
                !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF;
        if (!valid) code = lead;
        out += "&#" + std::to_string(code) + ";";
        i += valid ? static_cast<size_t>(length) : 1;
    }
    return out;
}

// A file name in a src or href attribute: as it is when ASCII, otherwise with its non-ASCII
// bytes (and its '%' signs, so that they do not read as escapes) percent-encoded, which is how a
// browser finds the file's own bytes.
std::string PageAddress(const std::string& name) {
    if (IsAscii(name)) return name;
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c >= 0x80 || c == '%') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Lines 1-4 of every page: the head with its title.
void WriteHead(std::FILE* page, const std::string& title) {
    const char q = kQuote;
    std::fprintf(page, "<html><head>\n");
    std::fprintf(page, "<title>%s</title>\n", PageText(title).c_str());
    std::fprintf(page,
                 "<meta http-equiv=%cContent-Type%c content=%ctext/html; charset=iso-8859-1%c>\n",
                 q, q, q, q);
    std::fprintf(page, "</head>\n");
}

}  // namespace

void WriteImagePage(const std::string& title, const std::string& pagePath,
                    const std::string& imagePath, int width, int height) {
    std::FILE* page = std::fopen(pagePath.c_str(), "w");
    if (!page) return;
    const char q = kQuote;
    const std::string name = PageAddress(FileNameOf(imagePath));
    WriteHead(page, title);
    std::fprintf(page, "<body bgcolor=%c#000000%c>\n", q, q);
    if (width > 0) {
        std::fprintf(page, "<table  border=%c0%c cellpadding=%c0%c>\n", q, q, q, q);
    } else {
        std::fprintf(page, "<table width=%c96%c%c border=%c0%c cellpadding=%c0%c>\n", q, '%', q, q,
                     q, q, q);
    }
    std::fprintf(page, "<tr> <td>\n");
    if (width > 0) {
        std::fprintf(page,
                     "<div align=%ccenter%c><img src=%c%s%c  width=%c%d%c height=%c%d%c></div>", q,
                     q, q, name.c_str(), q, q, width, q, q, height, q);
    } else {
        std::fprintf(page, "<div align=%ccenter%c><img src=%c%s%c ></div>", q, q, q, name.c_str(),
                     q);
    }
    std::fprintf(page, "</td></tr>\n");
    std::fprintf(page, "</table></body></html>\n");
    std::fclose(page);
}

std::string WriteGalleryPage(const std::string& title, const std::string& thumbnailsFolder,
                             const std::vector<GalleryEntry>& entries) {
    const std::string pagePath =
        platform::FormatFixed("%sgallery%chtm", thumbnailsFolder.c_str(), '.');
    std::FILE* page = std::fopen(pagePath.c_str(), "w");
    if (!page) return pagePath;
    const char q = kQuote;
    WriteHead(page, title);
    std::fprintf(page, "<body bgcolor=%c#000000%c text=%c#FFFFFF%c>\n", q, q, q, q);
    std::fprintf(page, "<div align=%ccenter%c>\n", q, q);
    std::fprintf(page, "<hr>\n");
    std::fprintf(page,
                 "<b><font face=%cArial, Helvetica, sans-serif%c>Thumbnail Gallery </font></b>\n",
                 q, q);
    std::fprintf(page, "<hr>\n");
    std::fprintf(page, "<b><font face=%cArial, Helvetica, sans-serif%c> </font></b> </div>\n", q,
                 q);
    std::fprintf(page, "<table width=%c96%c%c border=%c0%c cellpadding=%c0%c>\n", q, '%', q, q, q,
                 q, q);
    std::fprintf(page, "<tr> \n");
    int cells = 0;
    for (const GalleryEntry& entry : entries) {
        const std::string thumbnail = FileNameOf(entry.thumbnailPath);
        const std::string image = FileNameOf(entry.imagePath);
        const size_t dot = image.find_last_of('.');
        const std::string base = dot == std::string::npos ? image : image.substr(0, dot);
        const std::string extension = dot == std::string::npos ? "" : image.substr(dot);
        const std::string link = platform::FormatFixed("../%s%s", base.c_str(), extension.c_str());
        std::fprintf(page, "<td>\n");
        std::fprintf(page, "<div align=%ccenter%c><a href=%c%s%c target=%c_blank%c>", q, q, q,
                     PageAddress(link).c_str(), q, q, q);
        std::fprintf(page, "<img src=%c%s%c border=%c0%c ></a><br>", q,
                     PageAddress(thumbnail).c_str(), q, q, q);
        std::fprintf(page,
                     "<font size=%c1%c><b><font face=%cArial, Helvetica, sans-serif%c>%s</font>", q,
                     q, q, q, PageText(image).c_str());
        std::fprintf(page, "</b></font></div></td>\n");
        if (++cells == 5) {
            std::fprintf(page, "</tr><tr>\n");
            cells = 0;
        }
    }
    if (cells < 4) {
        for (int i = cells; i < 5; ++i) std::fprintf(page, "<td>&nbsp</td>\n");
    }
    std::fprintf(page, "</tr>\n");
    std::fprintf(page, "</table></body></html>\n");
    std::fclose(page);
    return pagePath;
}

std::string WriteGallery(const std::string& title) {
    std::vector<GalleryEntry> entries;
    CDocTemplate* docTemplate = DocTemplate();
    for (int k = 1; docTemplate && k <= App()->documentCount; ++k) {
        // Documents whose windows were closed have left the table.
        const CLumoDoc* doc = docTemplate->WorkspaceDocument(k);
        if (doc && doc->thumbnailImage) entries.push_back({doc->thumbnailPath, doc->imagePath});
    }
    return WriteGalleryPage(title, App()->sessionThumbnailsFolder, entries);
}
