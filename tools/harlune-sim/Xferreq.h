// The transfer request document as a careful application reads it: one
// well-formed UTF-8 XML document and nothing else, so that no other reader
// could find a different request in the same bytes.
#pragma once

#include <string>

#include "SimState.h"

namespace HarluneSim {

// Fills the sources, destination, namespace and direction of `out` from the
// body. File URLs become the local paths a standard file-URL reader finds in
// them; other URLs stay as written. False with `err` set on anything a strict
// reader would refuse: DOCTYPE, processing instructions, trailing content,
// another root than xferreq, other children than src and dest, markup inside
// them, two destinations, a file URL that names no local path.
bool readXferreq(const std::string& body, Transfer& out, std::string& err);

// The local path a file URL names: the authority empty or "localhost", the
// path up to a '?' or '#', its percent escapes decoded. False for a file URL
// that names none (another host, a bad escape, an encoded NUL, no path) or
// that readers could take for different paths (a backslash, a "." or ".."
// segment, written or encoded); `isFile` tells whether the text is a file
// URL at all.
bool filePath(const std::string& url, bool& isFile, std::string& path);

}  // namespace HarluneSim
