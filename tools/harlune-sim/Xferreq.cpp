#include "Xferreq.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

#include <expat.h>

namespace HarluneSim {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// What the expat callbacks build. The first refusal stops the parser.
struct Reader {
    XML_Parser parser = nullptr;
    std::string refusal;
    int depth = 0;
    bool rootSeen = false;
    std::string text;  // of the src or dest being read
    std::string xmlns;
    std::vector<std::string> sources;
    std::vector<std::string> destinations;

    void refuse(const std::string& why) {
        if (refusal.empty()) refusal = why;
        XML_StopParser(parser, XML_FALSE);
    }
};

Reader& of(void* data) { return *static_cast<Reader*>(data); }

void onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    Reader& r = of(data);
    const std::string element = name;
    ++r.depth;
    if (r.depth == 1) {
        if (element != "xferreq") return r.refuse("Expected xferreq, got " + element);
        r.rootSeen = true;
        for (const XML_Char** a = attributes; *a; a += 2) {
            if (std::strcmp(a[0], "xmlns") != 0) return r.refuse(std::string("Unexpected attribute ") + a[0]);
            r.xmlns = a[1];
        }
    } else if (r.depth == 2) {
        if (element != "src" && element != "dest") return r.refuse("Unexpected element " + element);
        if (*attributes) return r.refuse("Unexpected attribute on " + element);
        r.text.clear();
    } else {
        r.refuse("Markup inside a source or destination");
    }
}

void onEnd(void* data, const XML_Char* name) {
    Reader& r = of(data);
    if (r.depth-- != 2) return;
    (std::strcmp(name, "src") == 0 ? r.sources : r.destinations).push_back(r.text);
    if (r.destinations.size() > 1) r.refuse("More than one destination");
}

void onText(void* data, const XML_Char* s, int length) {
    Reader& r = of(data);
    if (r.depth == 2) {
        r.text.append(s, static_cast<size_t>(length));
    } else if (std::string(s, static_cast<size_t>(length)).find_first_not_of(" \t\r\n") != std::string::npos) {
        r.refuse("Text outside a source or destination");
    }
}

void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    of(data).refuse("DOCTYPE is not allowed");
}

void onInstruction(void* data, const XML_Char*, const XML_Char*) {
    of(data).refuse("Processing instructions are not allowed");
}

}  // namespace

bool filePath(const std::string& url, bool& isFile, std::string& path) {
    // What standard URL readers agree to drop: tabs and line breaks anywhere,
    // control bytes and spaces at either end.
    std::string text;
    for (char c : url) {
        if (c != '\t' && c != '\r' && c != '\n') text += c;
    }
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    text.erase(0, std::find_if_not(text.begin(), text.end(), blank) - text.begin());
    isFile = text.size() >= 5 && strncasecmp(text.c_str(), "file:", 5) == 0;
    if (!isFile) return false;
    std::string rest = text.substr(5);
    rest = rest.substr(0, rest.find_first_of("?#"));
    // Readers differ on a backslash (a separator to some) and on dot segments
    // (undone by the text or by the file system): no path is read from them.
    if (rest.find('\\') != std::string::npos) return false;
    if (rest.compare(0, 2, "//") == 0) {
        const size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
        if (!host.empty() && strcasecmp(host.c_str(), "localhost") != 0) return false;
        rest = slash == std::string::npos ? "" : rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return false;
    path.clear();
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? hexValue(rest[i + 1]) : -1;
        const int low = high < 0 ? -1 : hexValue(rest[i + 2]);
        if (low < 0 || (high == 0 && low == 0)) return false;
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return (path + "/").find("/./") == std::string::npos && (path + "/").find("/../") == std::string::npos;
}

bool readXferreq(const std::string& body, Transfer& out, std::string& err) {
    // The encoding given here overrides any the document declares.
    std::unique_ptr<XML_ParserStruct, void (*)(XML_Parser)> parser(XML_ParserCreate("UTF-8"),
                                                                   XML_ParserFree);
    if (!parser) {
        err = "Out of memory";
        return false;
    }
    Reader r;
    r.parser = parser.get();
    XML_SetUserData(r.parser, &r);
    XML_SetElementHandler(r.parser, onStart, onEnd);
    XML_SetCharacterDataHandler(r.parser, onText);
    XML_SetStartDoctypeDeclHandler(r.parser, onDoctype);
    XML_SetProcessingInstructionHandler(r.parser, onInstruction);
    const bool parsed = body.size() <= static_cast<size_t>(INT_MAX) &&
                        XML_Parse(r.parser, body.data(), static_cast<int>(body.size()), XML_TRUE) ==
                            XML_STATUS_OK;
    if (!r.refusal.empty() || !parsed) {
        err = "Bad xferreq XML: " +
              (r.refusal.empty() ? std::string(XML_ErrorString(XML_GetErrorCode(r.parser))) : r.refusal);
        return false;
    }

    out.xmlns = r.xmlns;
    out.sources.clear();
    // Uploads name local files as sources; downloads name remote ones.
    bool fromFiles = !r.sources.empty();
    for (const std::string& source : r.sources) {
        bool isFile = false;
        std::string path;
        if (!filePath(source, isFile, path) && isFile) {
            err = "Not a local file: " + source;
            return false;
        }
        fromFiles = fromFiles && isFile;
        out.sources.push_back(isFile ? path : source);
    }
    out.direction = fromFiles ? "send" : "receive";
    out.destination.clear();
    if (!r.destinations.empty()) {
        bool isFile = false;
        if (!filePath(r.destinations[0], isFile, out.destination) && isFile) {
            err = "Not a local file: " + r.destinations[0];
            return false;
        }
        if (!isFile) out.destination = r.destinations[0];
    }
    return true;
}

}  // namespace HarluneSim
