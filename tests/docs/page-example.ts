/// <reference path="../../docs/tarsen-web.d.ts" />
// A page script written against the declarations: tsc must accept it, and
// must reject each call marked @ts-expect-error.

const tw = document.getElementById("tarsen") as unknown as TarsenWebPlugin;

const session: TarsenWebSession | TarsenWebError = JSON.parse(tw.initSession("^example.org", ""));
if ("error" in session) console.log(session.error.user_message);

tw.eventHandler = (type: TarsenWebEventType, data: string) => {
  if (type === "transfer") {
    const activity: TarsenWebTransferActivity = JSON.parse(data);
    console.log(activity.iteration_token);
  } else if (type === "dropex") {
    const described: TarsenWebFileDescriptions = JSON.parse(data);
    described.dataTransfer.files.forEach((f) => console.log(f.name, f.size, f.type));
  }
};
tw.dropObserver = { onDrop: (paths: string) => console.log(paths) };

const queued: string | null = tw.harluneHttpRequestAsync("POST", "/v5/harlune/x", "{}", (body) => {
  console.log(body.length);
});
if (queued !== null) console.log(JSON.parse(queued) as TarsenWebError);

const picked: string = tw.runOpenFileDialog(false, "true");
tw.runOpenFolderDialogAsync("Where to", false, (answer) => console.log(answer), true);
tw.startDownloadToPath("https://files.example.org/a.zip", picked + "/a.zip");
const url: string = tw.readChunkAsArrayBuffer(picked, 0, 1024);
console.log(url.startsWith("data:"), tw.queryVersion());
tw.handleDrop(["a.txt"]);
tw.name = "uploader";

// @ts-expect-error: startDownload takes exactly one argument
tw.startDownload("https://files.example.org/a.zip", "/tmp");
// @ts-expect-error: booleans are booleans or "true"/"false", nothing else
tw.runOpenFolderDialog("yes");
// @ts-expect-error: the callback is not optional
tw.runSaveFileDialogAsync("Save", "a.txt", "");
// @ts-expect-error: no such method
tw.StartDownload("https://files.example.org/a.zip");

// The bridge: the same names, every answer a Promise.
async function viaBridge(): Promise<void> {
  if (!window.tarsenWeb) return;
  const bridged = window.tarsenWeb.create({ "drop-mode": "callback" });
  const answer: string = await bridged.initSession("^example.org", "");
  const version: string = await bridged.queryHarluneVersion();
  await bridged.startUploadToURL("/home/me/a.txt", "https://uploads.example.org/");
  console.log(answer, version);
  // @ts-expect-error: answers are Promises, not strings
  const sync: string = bridged.queryVersion();
  console.log(sync);
}
viaBridge();
