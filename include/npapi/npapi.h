/* NPAPI basic types, codes and the Cocoa event record, laid out for a 64-bit
 * host (LP64). Both the host and the plug-in compile against this file, so
 * every layout that crosses the boundary is pinned by a static assertion. */
#ifndef NPAPI_NPAPI_H
#define NPAPI_NPAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NP_VERSION_MAJOR 0
#define NP_VERSION_MINOR 27

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;

/* Instance handle: pdata belongs to the plug-in, ndata to the browser. */
typedef struct _NPP {
  void* pdata;
  void* ndata;
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
  void* pdata;
  void* ndata;
  const char* url;
  uint32_t end;
  uint32_t lastmodified;
  void* notifyData;
  const char* headers;
} NPStream;

typedef struct _NPByteRange {
  int32_t offset;
  uint32_t length;
  struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
  int32_t len;
  void* buf;
} NPSavedData;

typedef struct _NPRect {
  uint16_t top;
  uint16_t left;
  uint16_t bottom;
  uint16_t right;
} NPRect;

typedef struct _NPSize {
  int32_t width;
  int32_t height;
} NPSize;

typedef void* NPRegion;

typedef enum {
  NPWindowTypeWindow = 1,
  NPWindowTypeDrawable = 2
} NPWindowType;

/* The macOS form of the window record: no toolkit-specific ws_info member. */
typedef struct _NPWindow {
  void* window;
  int32_t x;
  int32_t y;
  uint32_t width;
  uint32_t height;
  NPRect clipRect;
  NPWindowType type;
} NPWindow;

typedef struct _NPPrint {
  uint16_t mode;
  void* print;
} NPPrint;

/* Modes of NPP_New. */
#define NP_EMBED 1
#define NP_FULL 2

/* Stream delivery types. */
#define NP_NORMAL 1
#define NP_SEEK 2
#define NP_ASFILE 3
#define NP_ASFILEONLY 4

#define NPERR_BASE 0
#define NPERR_NO_ERROR (NPERR_BASE + 0)
#define NPERR_GENERIC_ERROR (NPERR_BASE + 1)
#define NPERR_INVALID_INSTANCE_ERROR (NPERR_BASE + 2)
#define NPERR_INVALID_FUNCTABLE_ERROR (NPERR_BASE + 3)
#define NPERR_MODULE_LOAD_FAILED_ERROR (NPERR_BASE + 4)
#define NPERR_OUT_OF_MEMORY_ERROR (NPERR_BASE + 5)
#define NPERR_INVALID_PLUGIN_ERROR (NPERR_BASE + 6)
#define NPERR_INVALID_PLUGIN_DIR_ERROR (NPERR_BASE + 7)
#define NPERR_INCOMPATIBLE_VERSION_ERROR (NPERR_BASE + 8)
#define NPERR_INVALID_PARAM (NPERR_BASE + 9)
#define NPERR_INVALID_URL (NPERR_BASE + 10)
#define NPERR_FILE_NOT_FOUND (NPERR_BASE + 11)
#define NPERR_NO_DATA (NPERR_BASE + 12)
#define NPERR_STREAM_NOT_SEEKABLE (NPERR_BASE + 13)
#define NPERR_TIME_RANGE_NOT_SUPPORTED (NPERR_BASE + 14)
#define NPERR_MALFORMED_SITE (NPERR_BASE + 15)

#define NPRES_BASE 0
#define NPRES_DONE (NPRES_BASE + 0)
#define NPRES_NETWORK_ERR (NPRES_BASE + 1)
#define NPRES_USER_BREAK (NPRES_BASE + 2)

/* Values the browser answers through NPN_GetValue. */
typedef enum {
  NPNVxDisplay = 1,
  NPNVxtAppContext = 2,
  NPNVnetscapeWindow = 3,
  NPNVjavascriptEnabledBool = 4,
  NPNVasdEnabledBool = 5,
  NPNVisOfflineBool = 6,
  NPNVSupportsXEmbedBool = 14,
  NPNVWindowNPObject = 15,
  NPNVPluginElementNPObject = 16,
  NPNVSupportsWindowless = 17,
  NPNVprivateModeBool = 18,
  NPNVdocumentOrigin = 22,
  NPNVpluginDrawingModel = 1000,
  NPNVcontentsScaleFactor = 1001,
  NPNVsupportsQuickDrawBool = 2000,
  NPNVsupportsCoreGraphicsBool = 2001,
  NPNVsupportsOpenGLBool = 2002,
  NPNVsupportsCoreAnimationBool = 2003,
  NPNVsupportsInvalidatingCoreAnimationBool = 2004,
  NPNVsupportsCarbonBool = 3000,
  NPNVsupportsCocoaBool = 3001,
  NPNVsupportsUpdatedCocoaTextInputBool = 3002
} NPNVariable;

/* Values the plug-in answers through NPP_GetValue or sets with NPN_SetValue. */
typedef enum {
  NPPVpluginNameString = 1,
  NPPVpluginDescriptionString = 2,
  NPPVpluginWindowBool = 3,
  NPPVpluginTransparentBool = 4,
  NPPVjavaClass = 5,
  NPPVpluginWindowSize = 6,
  NPPVpluginTimerInterval = 7,
  NPPVpluginScriptableNPObject = 15,
  NPPVformValue = 16,
  NPPVpluginUrlRequestsDisplayedBool = 17,
  NPPVpluginWantsAllNetworkStreams = 18,
  NPPVpluginDrawingModel = 1000,
  NPPVpluginEventModel = 1001,
  NPPVpluginCoreAnimationLayer = 1003
} NPPVariable;

typedef enum {
  NPNURLVCookie = 501,
  NPNURLVProxy = 502
} NPNURLVariable;

typedef enum {
  NPDrawingModelQuickDraw = 0,
  NPDrawingModelCoreGraphics = 1,
  NPDrawingModelOpenGL = 2,
  NPDrawingModelCoreAnimation = 3,
  NPDrawingModelInvalidatingCoreAnimation = 4
} NPDrawingModel;

typedef enum {
  NPEventModelCarbon = 0,
  NPEventModelCocoa = 1
} NPEventModel;

typedef enum {
  NPCoordinateSpacePlugin = 1,
  NPCoordinateSpaceWindow = 2,
  NPCoordinateSpaceFlippedWindow = 3,
  NPCoordinateSpaceScreen = 4,
  NPCoordinateSpaceFlippedScreen = 5
} NPCoordinateSpace;

typedef enum {
  NPFocusNext = 0,
  NPFocusPrevious = 1
} NPFocusDirection;

typedef enum {
  NPImageFormatBGRA32 = 0x1,
  NPImageFormatBGRX32 = 0x2
} NPImageFormat;

typedef struct _NPAsyncSurface {
  uint32_t version;
  NPSize size;
  NPImageFormat format;
  struct {
    uint32_t stride;
    void* data;
  } bitmap;
} NPAsyncSurface;

typedef void NPMenu;

/* Cocoa event model. */
typedef enum {
  NPCocoaEventDrawRect = 1,
  NPCocoaEventMouseDown = 2,
  NPCocoaEventMouseUp = 3,
  NPCocoaEventMouseMoved = 4,
  NPCocoaEventMouseEntered = 5,
  NPCocoaEventMouseExited = 6,
  NPCocoaEventMouseDragged = 7,
  NPCocoaEventKeyDown = 8,
  NPCocoaEventKeyUp = 9,
  NPCocoaEventFlagsChanged = 10,
  NPCocoaEventFocusChanged = 11,
  NPCocoaEventWindowFocusChanged = 12,
  NPCocoaEventScrollWheel = 13,
  NPCocoaEventTextInput = 14
} NPCocoaEventType;

/* Opaque text object of key and text-input events. */
typedef struct NPNSString NPNSString;

/* On this platform the draw context is a cairo context (cairo_t*), with the
 * origin at the top left corner of the plug-in's area. */
typedef void* NPDrawContext;

typedef struct _NPCocoaEvent {
  NPCocoaEventType type;
  uint32_t version;
  union {
    struct {
      uint32_t modifierFlags;
      double pluginX;
      double pluginY;
      int32_t buttonNumber;
      int32_t clickCount;
      double deltaX;
      double deltaY;
      double deltaZ;
    } mouse;
    struct {
      uint32_t modifierFlags;
      NPNSString* characters;
      NPNSString* charactersIgnoringModifiers;
      NPBool isARepeat;
      uint16_t keyCode;
    } key;
    struct {
      NPDrawContext context;
      double x;
      double y;
      double width;
      double height;
    } draw;
    struct {
      NPBool hasFocus;
    } focus;
    struct {
      NPNSString* text;
    } text;
  } data;
} NPCocoaEvent;

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define NPAPI_STATIC_ASSERT static_assert
#else
#define NPAPI_STATIC_ASSERT _Static_assert
#endif
#include <stddef.h>

NPAPI_STATIC_ASSERT(sizeof(void*) == 8, "these declarations are for a 64-bit host");
NPAPI_STATIC_ASSERT(sizeof(NPP_t) == 16, "NPP_t");
NPAPI_STATIC_ASSERT(sizeof(NPStream) == 48, "NPStream");
NPAPI_STATIC_ASSERT(offsetof(NPStream, url) == 16, "NPStream.url");
NPAPI_STATIC_ASSERT(offsetof(NPStream, end) == 24, "NPStream.end");
NPAPI_STATIC_ASSERT(offsetof(NPStream, notifyData) == 32, "NPStream.notifyData");
NPAPI_STATIC_ASSERT(offsetof(NPStream, headers) == 40, "NPStream.headers");
NPAPI_STATIC_ASSERT(sizeof(NPRect) == 8, "NPRect");
NPAPI_STATIC_ASSERT(sizeof(NPWindow) == 40, "NPWindow");
NPAPI_STATIC_ASSERT(offsetof(NPWindow, x) == 8, "NPWindow.x");
NPAPI_STATIC_ASSERT(offsetof(NPWindow, width) == 16, "NPWindow.width");
NPAPI_STATIC_ASSERT(offsetof(NPWindow, clipRect) == 24, "NPWindow.clipRect");
NPAPI_STATIC_ASSERT(offsetof(NPWindow, type) == 32, "NPWindow.type");
NPAPI_STATIC_ASSERT(sizeof(NPSavedData) == 16, "NPSavedData");
NPAPI_STATIC_ASSERT(sizeof(NPCocoaEvent) == 64, "NPCocoaEvent");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data) == 8, "NPCocoaEvent.data");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.mouse.pluginX) == 16, "mouse.pluginX");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.mouse.buttonNumber) == 32, "mouse.buttonNumber");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.mouse.deltaX) == 40, "mouse.deltaX");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.key.characters) == 16, "key.characters");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.key.keyCode) == 34, "key.keyCode");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.draw.context) == 8, "draw.context");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.draw.x) == 16, "draw.x");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.draw.height) == 40, "draw.height");
NPAPI_STATIC_ASSERT(offsetof(NPCocoaEvent, data.focus.hasFocus) == 8, "focus.hasFocus");

#endif
