// URL requests of a plug-in: which local file a URL names, and the delivery
// of that file through the stream entry points.
#pragma once

#include <string>

#include <npapi/npfunctions.h>

namespace Browser {

// The local file for `url` requested by the page at `pagePath` (shown as
// `pageUrl`): file: URLs, absolute paths, page-relative URLs, and absolute
// URLs inside the page's own folder URL. Query and fragment are dropped.
// Empty when the URL points elsewhere.
std::string resolveUrl(const std::string& pagePath, const std::string& pageUrl,
                       const std::string& url);

// Size of the blocks handed to NPP_Write (a plug-in may ask for less).
constexpr int32_t kStreamBlockSize = 1024;

// Delivers the file as a browser delivers a network stream: NPP_NewStream,
// NPP_WriteReady/NPP_Write per block, NPP_DestroyStream, then NPP_URLNotify
// when asked for. A missing file is told through NPP_URLNotify alone.
void deliverFile(const NPPluginFuncs& funcs, NPP npp, const std::string& url,
                 const std::string& path, bool notify, void* notifyData);

}  // namespace Browser
