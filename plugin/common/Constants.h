// Texts shared by every module that talks to the page or the desktop
// application: failures reach page script with exactly these words.
#pragma once

namespace Harlune {
namespace Web {

inline constexpr char kHarluneApiCall[] = "/v5/harlune";
inline constexpr char kProductName[] = "Tarsen Harlune";
inline constexpr char kMsgHarluneLaunch[] = "Launching Tarsen Harlune";
inline constexpr char kDialogEtAl[] = "et al";

inline constexpr char kErrorSessionAlreadyInitialized[] = "Session was already initialized";
inline constexpr char kErrorBadAppIdHostname[] = "Invalid application ID hostname";
inline constexpr char kErrorHarluneRequest[] =
    "Error contacting Tarsen Harlune. Ensure that it is running, and not blocked by your "
    "firewall or security policies.";
inline constexpr char kErrorHarluneVersion[] = "Error retrieving the Tarsen Harlune version";
inline constexpr char kErrorCreatingHttpRequest[] = "Error creating HTTP request";
inline constexpr char kErrorDialogAlreadyOpen[] = "A dialog is already open";
inline constexpr char kErrorInvalidArgument[] = "Invalid argument";
inline constexpr char kErrorInvalidFileTypesJson[] = "Error parsing fileTypes JSON";
inline constexpr char kErrorJsonParse[] = "Error parsing JSON";
inline constexpr char kErrorSessionInit[] = "Error initializing session";
inline constexpr char kErrorStringEncoding[] = "Error converting string encoding";
inline constexpr char kErrorUnauthorizedDownloadPath[] =
    "The website attempted to transfer to an unauthorized directory";
inline constexpr char kErrorUnauthorizedUploadPath[] =
    "The website attempted to upload an unauthorized file or folder";
inline constexpr char kErrorUnexpectedFileDialog[] = "Error displaying open file dialog";
inline constexpr char kErrorUnexpectedFolderDialog[] = "Error displaying open folder dialog";
inline constexpr char kErrorUnexpectedSaveDialog[] = "Error displaying save file dialog";
inline constexpr char kErrorFileTypeArgument[] = "Invalid file type";
inline constexpr char kErrorNotAuthorizedFileTypeArgument[] =
    "Unable to read file context. Only files selected via standard file dialog or drag and "
    "drop accepted";
inline constexpr char kErrorFileSizeExceeded[] = "Exceeded maximum allowed file size";
inline constexpr char kErrorInvalidReadChunkValue[] =
    "Offset and chunk size cannot be negative, and the sum can't be greater than the file size";
inline constexpr char kErrorFileIOError[] = "Unable to open file";

// Build version major.minor.patch.build; the short version is its first two
// numbers, so both are spelled from the same parts.
#define TW_VERSION_MAJOR 1
#define TW_VERSION_MINOR 0
#define TW_VERSION_PATCH 0
#define TW_VERSION_BUILD 1
#define TW_STR_(x) #x
#define TW_STR(x) TW_STR_(x)
inline constexpr char kBuildVersion[] = TW_STR(TW_VERSION_MAJOR) "." TW_STR(
    TW_VERSION_MINOR) "." TW_STR(TW_VERSION_PATCH) "." TW_STR(TW_VERSION_BUILD);
inline constexpr char kShortVersion[] = TW_STR(TW_VERSION_MAJOR) "." TW_STR(TW_VERSION_MINOR);

}  // namespace Web
}  // namespace Harlune
