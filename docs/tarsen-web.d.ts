// Type declarations of the Tarsen Web page API: the plug-in's scriptable
// object (an <object type="application/x-tarsen-web"> element) and the
// bridge's window.tarsenWeb in today's browsers. The reference is
// docs/page-api.md; tests/docs keeps the names and argument counts here equal
// to the plug-in's method table.
//
// Use from page code: /// <reference path="tarsen-web.d.ts" />

/** A boolean argument: a script boolean, or exactly the string "true" or "false". */
type TarsenWebBoolean = boolean | "true" | "false";

/** A page function called later, on the page's thread, with one string. */
type TarsenWebPageFunction = (text: string) => unknown;

/** The event names the event handler receives. */
type TarsenWebEventType = "drop" | "dropex" | "transfer" | "dragleave" | "dragover";

/** The page function stored in `eventHandler`: an event name and its data. */
type TarsenWebEventHandler = (type: TarsenWebEventType, data: string) => unknown;

/** The object stored in `dropObserver`: its `onDrop` receives the dropped paths, colon-separated. */
interface TarsenWebDropObserver {
  onDrop?(paths: string): unknown;
}

/** The parameters of the object element, as `<param name value>` texts. */
interface TarsenWebParameters {
  /** Milliseconds to wait for a launched desktop application; default 20000, "0" for none. */
  "harlune-launch-wait-timeout-ms"?: string;
  /** "yes" marks the area transparent (stored only; drawing does not change). */
  transparent?: string;
  /** URL of a JPEG image stretched over the plug-in area. */
  image?: string;
  /** "upload" (dropped files go to drop-upload-url) or "callback" (the page is told); else drops only approve. */
  "drop-mode"?: string;
  /** "true": folders may be dropped. */
  "drop-allow-directories"?: string;
  /** "true": several items may be dropped (read, not enforced). */
  "drop-allow-multiple"?: string;
  /** Destination URL of uploads of dropped files in "upload" drop mode. */
  "drop-upload-url"?: string;
  [other: string]: string | undefined;
}

/** The one error object form: only `user_message` varies. Serialised as a string. */
interface TarsenWebError {
  error: { code: -1; internal_message: "Invalid request"; user_message: string };
}

/** The answer of a successful initSession. */
interface TarsenWebSession {
  app_id: string;
}

/** One entry of the file-description JSON (drops' "dropex" event, extended open dialogs). */
interface TarsenWebFileDescription {
  /** Local modification time as 24 characters, e.g. "Thu Dec  3 07:22:14 2026"; absent when unknown. */
  lastModifiedDate?: string;
  /** The full local path. */
  name: string;
  /** Bytes; 0 for a folder. */
  size: number;
  /** MIME type of the extension ("" when unknown), "text/directory" for a folder. */
  type: string;
}

/** The file-description JSON. */
interface TarsenWebFileDescriptions {
  dataTransfer: { files: TarsenWebFileDescription[] };
}

/** The data of a "transfer" event: the desktop application's activity answer, passed unchanged. */
interface TarsenWebTransferActivity {
  iteration_token?: string;
  transfers?: unknown[];
  [member: string]: unknown;
}

/**
 * The plug-in's scriptable object. A call with the wrong number or kind of
 * arguments throws a script error; refusals after the arguments fit are
 * answers (JSON error object texts), never exceptions.
 */
interface TarsenWebPlugin {
  // --- session ---------------------------------------------------------------

  /**
   * Opens the session: an identifier beginning with "^" is bound to the host
   * after it, which must be this page's host. Starts transfer events.
   * Answers `{"app_id":"..."}` or a JSON error object text. `domain` is unused.
   */
  initSession(appId: string, domain: string, ...ignored: unknown[]): string;

  // --- relay -----------------------------------------------------------------

  /**
   * Sends method, path and JSON body (empty: "{}") to the desktop application
   * with its access key, after the body checks, and waits: answers the
   * response body, or a JSON error object text.
   */
  harluneHttpRequest(method: string, path: string, body: string, ...ignored: unknown[]): string;

  /**
   * As harluneHttpRequest, queued: answers null and later calls `callback`
   * with the body (or a JSON error object text); a refused body is answered
   * at once as a JSON error object text and `callback` is never called.
   */
  harluneHttpRequestAsync(method: string, path: string, body: string,
                          callback: TarsenWebPageFunction, ...ignored: unknown[]): string | null;

  /**
   * Queued with no body check and without the access key (Content-Type
   * "application/json"): answers null; `callback` gets the body later.
   */
  httpRequestImplementation(method: string, path: string, body: string,
                            callback: TarsenWebPageFunction, ...ignored: unknown[]): null;

  // --- transfers -------------------------------------------------------------

  /** Asks the application to download `source` (a URL) to its own default place. */
  startDownload(source: string): void;

  /** Downloads `source` to `destination`, which must lie in the folder the user chose ("" for none). */
  startDownloadToPath(source: string, destination: string): void;

  /** Uploads the local file `path` (user-approved) to the URL `destination`. */
  startUploadToURL(path: string, destination: string): void;

  /** Appends a source URL to this object's download list. */
  addToDownloadList(source: string): void;

  /** Appends a local path to this object's upload list. */
  addToUploadList(path: string): void;

  /** Empties the download list. */
  clearDownloadList(): void;

  /** Empties the upload list. */
  clearUploadList(): void;

  /** Downloads every entry of the download list to `destination` ("" for none); the list stays. */
  startListDownloadToPath(destination: string): void;

  /** Uploads every entry of the upload list to the URL `destination`; the list stays. */
  startListUploadToURL(destination: string): void;

  // --- reads -----------------------------------------------------------------

  /**
   * A file the user picked or dropped, at most 50 MiB, as
   * "data:TYPE;base64,...", or a failure text (JSON error object or plain text).
   */
  readAsArrayBuffer(path: string): string;

  /** `chunkSize` bytes from `offset` of a picked file, as a data URL, or a failure text. */
  readChunkAsArrayBuffer(path: string, offset: number, chunkSize: number): string;

  // --- dialogs ---------------------------------------------------------------

  /** Shows an open panel now; answers the chosen paths colon-separated, or "". Approves them. */
  runOpenFileDialog(allowDirectories: TarsenWebBoolean, allowMultiple: TarsenWebBoolean): string;

  /** Shows a folder panel now; answers the chosen folders colon-separated, or "". The first becomes the download folder. */
  runOpenFolderDialog(allowMultiple: TarsenWebBoolean): string;

  /** Shows a save panel now; answers the chosen path, or "". It becomes the download destination. */
  runSaveFileDialog(suggestedName: string): string;

  /**
   * Shows an open panel later: answers null (or a JSON error object text),
   * then calls `callback` with a JSON array of paths, or with the
   * file-description JSON when `extended` is true.
   */
  runOpenFileDialogAsync(title: string, allowMultiple: TarsenWebBoolean, fileTypes: string,
                         callback: TarsenWebPageFunction, extended?: TarsenWebBoolean): string | null;

  /** As runOpenFileDialogAsync, for folders; the folders are approved and the first becomes the download folder. */
  runOpenFolderDialogAsync(title: string, allowMultiple: TarsenWebBoolean,
                           callback: TarsenWebPageFunction, extended?: TarsenWebBoolean): string | null;

  /** Shows a save panel later: `callback` gets the chosen path as a JSON string, or the text null. */
  runSaveFileDialogAsync(title: string, suggestedName: string, fileTypes: string,
                         callback: TarsenWebPageFunction): string | null;

  // --- drops -----------------------------------------------------------------

  /**
   * Tells the plug-in that files were dropped on it, with the names the page
   * saw (`event.dataTransfer.files` names); the dropped paths are approved and
   * reported or uploaded as the "drop-mode" parameter says.
   */
  handleDrop(names?: ArrayLike<string>): void;

  // --- windows ---------------------------------------------------------------

  /** Asks the application to show its about window. */
  displayAboutWindow(): void;

  /** Asks the application to show its preferences. */
  displayPreferencesWindow(): void;

  /** Asks the application to show its transfer manager. */
  displayTransferManager(): void;

  // --- queries ---------------------------------------------------------------

  /** The browser engine family: always "Gecko" in this plug-in. */
  queryBrowserEngine(): string;

  /** The plug-in's build version, "major.minor.patch.build". */
  queryBuildVersion(): string;

  /** The plug-in's version, the same as queryBuildVersion. */
  queryPluginVersion(): string;

  /** The short version, "major.minor". */
  queryVersion(): string;

  /** The desktop application's version answer, or a JSON error object text. */
  queryHarluneVersion(): string;

  // --- properties ------------------------------------------------------------

  /** A name the page may keep on the object; "" until set. Only strings may be set. */
  name: string;

  /** The object whose `onDrop` hears drops in "callback" drop mode; null for none. */
  dropObserver: TarsenWebDropObserver | null;

  /** The page function for events ("transfer", "drop", "dropex", ...); null for none. */
  eventHandler: TarsenWebEventHandler | null;
}

/** What the bridge's object has beyond the plug-in's. */
interface TarsenWebBridgeLifetime {
  /** Settles once the native host has made the object: rejects when it could not. */
  readonly ready: Promise<void>;
  /** Ends the object as removing an object element would. */
  destroy(): void;
}

/**
 * The bridge's object in today's browsers: the same names as the plug-in's
 * object, every method answering a Promise of what the plug-in answers (a
 * method that answers nothing resolves to undefined); a call the plug-in
 * would refuse with a script error rejects. Methods that take a page function
 * still call it.
 */
interface TarsenWebBridgeObject extends TarsenWebBridgeLifetime {
  initSession(appId: string, domain: string, ...ignored: unknown[]): Promise<string>;
  harluneHttpRequest(method: string, path: string, body: string, ...ignored: unknown[]): Promise<string>;
  harluneHttpRequestAsync(method: string, path: string, body: string,
                          callback: TarsenWebPageFunction, ...ignored: unknown[]): Promise<string | null>;
  httpRequestImplementation(method: string, path: string, body: string,
                            callback: TarsenWebPageFunction, ...ignored: unknown[]): Promise<null>;
  startDownload(source: string): Promise<void>;
  startDownloadToPath(source: string, destination: string): Promise<void>;
  startUploadToURL(path: string, destination: string): Promise<void>;
  addToDownloadList(source: string): Promise<void>;
  addToUploadList(path: string): Promise<void>;
  clearDownloadList(): Promise<void>;
  clearUploadList(): Promise<void>;
  startListDownloadToPath(destination: string): Promise<void>;
  startListUploadToURL(destination: string): Promise<void>;
  readAsArrayBuffer(path: string): Promise<string>;
  readChunkAsArrayBuffer(path: string, offset: number, chunkSize: number): Promise<string>;
  runOpenFileDialog(allowDirectories: TarsenWebBoolean, allowMultiple: TarsenWebBoolean): Promise<string>;
  runOpenFolderDialog(allowMultiple: TarsenWebBoolean): Promise<string>;
  runSaveFileDialog(suggestedName: string): Promise<string>;
  runOpenFileDialogAsync(title: string, allowMultiple: TarsenWebBoolean, fileTypes: string,
                         callback: TarsenWebPageFunction, extended?: TarsenWebBoolean): Promise<string | null>;
  runOpenFolderDialogAsync(title: string, allowMultiple: TarsenWebBoolean,
                           callback: TarsenWebPageFunction, extended?: TarsenWebBoolean): Promise<string | null>;
  runSaveFileDialogAsync(title: string, suggestedName: string, fileTypes: string,
                         callback: TarsenWebPageFunction): Promise<string | null>;
  /** Browsers reveal no local paths of dropped files: see the reference. */
  handleDrop(names?: ArrayLike<string>): Promise<void>;
  displayAboutWindow(): Promise<void>;
  displayPreferencesWindow(): Promise<void>;
  displayTransferManager(): Promise<void>;
  queryBrowserEngine(): Promise<string>;
  queryBuildVersion(): Promise<string>;
  queryPluginVersion(): Promise<string>;
  queryVersion(): Promise<string>;
  queryHarluneVersion(): Promise<string>;

  name: string;
  dropObserver: TarsenWebDropObserver | null;
  eventHandler: TarsenWebEventHandler | null;
}

/** What the bridge's extension gives pages. */
interface TarsenWebBridge {
  /** One object per call, as one object element with these parameters would be. */
  create(parameters?: TarsenWebParameters): TarsenWebBridgeObject;
}

interface Window {
  /** Present when the bridge's extension is installed. */
  tarsenWeb?: TarsenWebBridge;
}
